#pragma once

#include "catalogue/renderer_table.h"
#include "cli/exported_record.h"

#include <QImage>
#include <QList>
#include <QString>

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
        bool json = false; // records.json instead of records.csv and points.csv
        QImage background; // the screens' background; null: a plain picture, as in the window
    };

    RecordExport(PageReader& reader, InterruptWatch& watch, Settings settings);

    // Reads the catalogue and the records through the reader and writes the files. Returns the
    // exit status; what went wrong is on stderr, each file written is named on stdout.
    int run();

private:
    // Draws the record (when its kind has a screen) and decodes its values.
    int exportRecord(ExportedRecord& record);
    int writeTables(const QList<ExportedRecord>& records);
    // The status for a page that did not arrive: an interruption, or the meter's fault.
    int readFailed(int slot);
    int writeFailed(const QString& error);
    QString pathOf(const QString& fileName) const;

    PageReader& m_reader;
    InterruptWatch& m_watch;
    Settings m_settings;
    RendererTable m_renderers = standardRenderers();
};

} // namespace cablemeter::cli
