#pragma once

#include "catalogue/renderer_table.h"
#include "cli/export_manifest.h"
#include "export/exported_record.h"

#include <QImage>
#include <QList>
#include <QString>

#include <utility>

namespace cablemeter {
class PageReader;
}

namespace cablemeter::cli {

class InterruptWatch;

// Draws every listed record that has a screen into a picture file, exactly as the window draws
// it (the same renderers, background and font), and writes the records' values as tables.
class RecordExport {
public:
    struct Settings {
        QString folder;
        QString pictureFormat = QStringLiteral("png"); // "png" or "bmp"
        bool json = false;  // records.json instead of records.csv and points.csv
        QImage background;  // the screens' background; null: a plain picture, as in the window
        bool force = false; // remove an earlier export's files from the folder first
    };

    RecordExport(PageReader& reader, InterruptWatch& watch, Settings settings);

    // Reads the catalogue and the records through the reader and writes the files, then the list
    // of them (ExportManifest). A folder that holds an earlier export is refused unless
    // `force`; a file of ours that is already there but not listed is never replaced. Returns
    // the exit status; what went wrong (and what was written before it) is on stderr, each file
    // written is named on stdout.
    int run();

private:
    // Draws the record (when its kind has a screen) and decodes its values.
    int exportRecord(ExportedRecord& record);
    int writeTables(const QList<ExportedRecord>& records);
    // The tables' file names (records.csv and points.csv, or records.json).
    QStringList tableNames() const;
    // The same tables with their contents.
    QList<std::pair<QString, QByteArray>> tables(const QList<ExportedRecord>& records) const;
    // False (and explained) when a file of that name is there already.
    bool claimName(const QString& fileName);
    // Says what an export that ends early has written, lists it, and passes the status on.
    int stopped(int status);
    // The status for a page that did not arrive: an interruption, or the meter's fault.
    int readFailed(int slot);
    int writeFailed(const QString& error);
    QString pathOf(const QString& fileName) const;

    PageReader& m_reader;
    InterruptWatch& m_watch;
    Settings m_settings;
    RendererTable m_renderers = standardRenderers();
    ExportManifest m_manifest;
};

} // namespace cablemeter::cli
