#pragma once

#include "catalogue/renderer_table.h"
#include "export/export_manifest.h"
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
    // `force`. Every name is checked before the first file is written: a file already there that
    // no export listed is never replaced, and the export stops with nothing written. An export
    // that fails or is interrupted removes what it wrote. Returns the exit status; what went
    // wrong is on stderr, the files written are named on stdout once all are in place.
    int run();

private:
    // Draws the record (when its kind has a screen) and decodes its values.
    int exportRecord(ExportedRecord& record);
    int writeTables(const QList<ExportedRecord>& records);
    // The names of every file this export writes for these records, the list of them aside.
    QStringList fileNames(const QList<CatalogueEntry>& entries) const;
    // The tables' file names (records.csv and points.csv, or records.json).
    QStringList tableNames() const;
    // The same tables with their contents.
    QList<std::pair<QString, QByteArray>> tables(const QList<ExportedRecord>& records) const;
    // False (and explained) when one of the names is taken by a file that is not among those
    // of the earlier export that --force removes.
    bool namesAreFree(const QStringList& fileNames);
    // Removes what this export wrote (and the folder, when it made it), says so, and passes
    // the status on.
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
    bool m_madeFolder = false;
};

} // namespace cablemeter::cli
