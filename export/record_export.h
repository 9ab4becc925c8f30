#pragma once

#include "export/export_manifest.h"
#include "export/exported_record.h"
#include "export/record_reading.h"
#include "platform/user_message.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace cablemeter {

class PageReader;

// How an export ended.
enum class ExportOutcome {
    Written,       // every file is in place, and their list last
    EarlierExport, // the folder holds an earlier export that was not to be replaced
    NamesTaken,    // files no export listed carry names this one writes; nothing was written
    MeterFailed,   // a page did not arrive, or the last one proved wrong
    WriteFailed,   // the folder or a file could not be written
    Stopped,       // the user asked it to stop
};

// What an export did, for the window or the command line to tell the user in their own words.
struct ExportResult {
    ExportOutcome outcome = ExportOutcome::Written;
    // What went wrong, naming the folder, the file or the record; empty when written or stopped.
    // What to do is left to the front end when it depends on it (a window's button or a
    // command-line option).
    UserMessage problem;
    // Once all are in place: the pictures and tables written, by their paths (their list aside).
    QStringList writtenFiles;
    // How many files of the earlier export were removed, when this one replaced it.
    std::optional<int> removedEarlierFiles;
    // An export that did not complete: how many files it had written. All were removed but
    // `leftFiles`, the paths of those that could not be.
    int unfinishedFiles = 0;
    QStringList leftFiles;
};

// Draws every listed record that has a screen into a picture file, exactly as the window draws
// it (the same renderers, background and font), and writes the records' values as tables, then
// the list of the files it wrote (ExportManifest).
class RecordExport {
public:
    struct Settings {
        QString folder;
        QString pictureFormat = QStringLiteral("png"); // "png" or "bmp"
        bool json = false; // records.json instead of records.csv and points.csv
        QImage background; // the screens' background; null: a plain picture, as in the window
        bool replaceEarlierExport = false; // remove an earlier export's files from the folder
    };

    // Give it a reader that keeps the pages it fetched (RecordingPageReader) when it reads the
    // meter, so that drawing and decoding a record ask for each page once.
    RecordExport(PageReader& reader, Settings settings);

    // Called after every header page and every record (see RecordReading).
    void setProgress(RecordReading::Progress progress)
    {
        m_reading.setProgress(std::move(progress));
    }
    // Asked before and after every page and record; true stops the export.
    void setStopRequested(RecordReading::StopRequested stopRequested)
    {
        m_reading.setStopRequested(std::move(stopRequested));
    }

    // Reads the catalogue and the records and writes the files. A folder that holds an earlier
    // export is refused unless it is to be replaced. Every name is checked before the first file
    // is written: a file already there that no export listed is never replaced, and the export
    // stops with nothing written. An export that does not complete removes what it wrote (and
    // the folder, when it made it).
    ExportResult run();

private:
    // Writes the record's picture; false (and the result says why) when it could not.
    bool writePicture(const QImage& screen, ExportedRecord& record);
    bool writeTables(const QList<ExportedRecord>& records);
    // The names of every file this export writes for these records, the list of them aside.
    QStringList fileNames(const QList<CatalogueEntry>& entries) const;
    // The tables' file names (records.csv and points.csv, or records.json).
    QStringList tableNames() const;
    // The same tables with their contents.
    QList<std::pair<QString, QByteArray>> tables(const QList<ExportedRecord>& records) const;
    // False (and the result says why) when one of the names is taken by a file that is not
    // among those of an earlier export that is being replaced.
    bool namesAreFree(const QStringList& fileNames);
    // Records why the reading ended: a stop, or the meter's fault.
    void readingFailed();
    void failed(ExportOutcome outcome, const UserMessage& problem);
    // Removes what this export wrote (and the folder, when it made it) and tells how that went.
    ExportResult stopped();
    QString pathOf(const QString& fileName) const;

    Settings m_settings;
    RecordReading m_reading;
    ExportManifest m_manifest;
    ExportResult m_result;
    bool m_madeFolder = false;
};

} // namespace cablemeter
