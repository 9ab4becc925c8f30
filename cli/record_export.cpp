#include "cli/record_export.h"

#include "catalogue/renderer_table.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/export_tables.h"
#include "cli/interrupt_watch.h"
#include "cli/picture_file_name.h"
#include "cli/record_download.h"
#include "cli/saved_file.h"
#include "link/page_reader.h"
#include "platform/screen_picture.h"
#include "screens/renderers.h"

#include <QCoreApplication>
#include <QDir>

#include <utility>

namespace cablemeter::cli {

namespace {
const QString kRecordsCsv = QStringLiteral("records.csv");
const QString kPointsCsv = QStringLiteral("points.csv");
const QString kRecordsJson = QStringLiteral("records.json");
} // namespace

RecordExport::RecordExport(PageReader& reader, InterruptWatch& watch, Settings settings)
    : m_reader(reader), m_watch(watch), m_settings(std::move(settings))
{
}

int RecordExport::run()
{
    // Made only now that the records' source is known to be there.
    if (!QDir().mkpath(m_settings.folder))
        return writeFailed(QStringLiteral("Cannot make the folder %1").arg(m_settings.folder));
    RecordDownload catalogue(m_reader);
    catalogue.setStopRequested([this] { return m_watch.isInterrupted(); });
    if (!catalogue.readCatalogue()) {
        if (catalogue.wasStopped())
            return m_watch.exitCode();
        printProblem(catalogue.error());
        return kExitMeterFailed;
    }

    QList<ExportedRecord> records;
    for (const CatalogueEntry& entry : catalogue.listedEntries()) {
        // Reading an image never waits for events: let a pending Ctrl-C through here.
        QCoreApplication::processEvents();
        if (m_watch.isInterrupted())
            return m_watch.exitCode();
        ExportedRecord record{entry, {}, {}};
        if (const int status = exportRecord(record); status != kExitSuccess)
            return status;
        records.append(record);
    }
    return writeTables(records);
}

int RecordExport::exportRecord(ExportedRecord& record)
{
    const int slot = record.entry.slot;
    if (const auto renderer = m_renderers.find(record.entry.kind); renderer != m_renderers.end()) {
        // A fresh picture per record, as the window's is after the renderer clears it.
        ScreenPicture picture;
        picture.setBackground(m_settings.background);
        ScreenContext context{m_reader, picture, [](const QString&) {}};
        if (!renderer->second(context, slot))
            return readFailed(slot);
        const QString fileName =
            pictureFileName(slot, record.entry.kind, record.entry.name, m_settings.pictureFormat);
        QString error;
        if (!savePicture(pathOf(fileName), picture.image(), m_settings.pictureFormat, error))
            return writeFailed(error);
        printLine(pathOf(fileName));
        record.pictureFile = fileName;
    }
    if (!decodeRecordValues(m_reader, record.entry, record.values))
        return readFailed(slot);
    return kExitSuccess;
}

int RecordExport::writeTables(const QList<ExportedRecord>& records)
{
    QList<std::pair<QString, QByteArray>> tables;
    if (m_settings.json)
        tables = {{kRecordsJson, recordsJson(records)}};
    else
        tables = {{kRecordsCsv, recordsCsv(records)}, {kPointsCsv, pointsCsv(records)}};
    for (const auto& [fileName, contents] : tables) {
        QString error;
        if (!saveBytes(pathOf(fileName), contents, error))
            return writeFailed(error);
        printLine(pathOf(fileName));
    }
    return kExitSuccess;
}

int RecordExport::readFailed(int slot)
{
    if (m_watch.isInterrupted())
        return m_watch.exitCode();
    printProblem(QStringLiteral("The record in slot %1 could not be read: %2")
                     .arg(slot)
                     .arg(m_reader.lastError()));
    return kExitMeterFailed;
}

int RecordExport::writeFailed(const QString& error)
{
    printProblem(error);
    return kExitFileFailed;
}

QString RecordExport::pathOf(const QString& fileName) const
{
    return QDir(m_settings.folder).filePath(fileName);
}

} // namespace cablemeter::cli
