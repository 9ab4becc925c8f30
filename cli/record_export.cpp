#include "cli/record_export.h"

#include "catalogue/renderer_table.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "export/export_tables.h"
#include "cli/interrupt_watch.h"
#include "export/picture_file_name.h"
#include "export/record_download.h"
#include "link/page_reader.h"
#include "platform/saved_file.h"
#include "platform/screen_picture.h"
#include "screens/renderers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <utility>

namespace cablemeter::cli {

RecordExport::RecordExport(PageReader& reader, InterruptWatch& watch, Settings settings)
    : m_reader(reader), m_watch(watch), m_settings(std::move(settings)),
      m_manifest(m_settings.folder)
{
}

int RecordExport::run()
{
    // Made only now that the records' source is known to be there.
    if (!QDir().mkpath(m_settings.folder))
        return writeFailed(QStringLiteral("Cannot make the folder %1").arg(m_settings.folder));
    if (m_manifest.earlierExportPresent() && !m_settings.force) {
        printProblem(QStringLiteral("%1 already holds an export (its files are listed in %2). "
                                    "Export into another folder, or add --force to remove the "
                                    "files that export wrote first.")
                         .arg(m_settings.folder, m_manifest.path()));
        return kExitEarlierExport;
    }
    m_reader.beginOperation();
    RecordDownload catalogue(m_reader);
    catalogue.setStopRequested([this] { return m_watch.isInterrupted(); });
    if (!catalogue.readCatalogue()) {
        if (catalogue.wasStopped())
            return m_watch.exitCode();
        printProblem(catalogue.error());
        return kExitMeterFailed;
    }
    // The earlier export goes only once this one has its records to write.
    if (m_manifest.earlierExportPresent()) {
        int removed = 0;
        QString error;
        if (!m_manifest.removeEarlierExport(removed, error))
            return writeFailed(error);
        printMessage(QStringLiteral("Removed the %1 files of the earlier export in %2.")
                         .arg(removed)
                         .arg(m_settings.folder));
    }

    QList<ExportedRecord> records;
    for (const CatalogueEntry& entry : catalogue.listedEntries()) {
        // Reading an image never waits for events: let a pending Ctrl-C through here.
        QCoreApplication::processEvents();
        if (m_watch.isInterrupted())
            return stopped(m_watch.exitCode());
        ExportedRecord record{entry, {}, {}};
        if (const int status = exportRecord(record); status != kExitSuccess)
            return stopped(status);
        records.append(record);
    }
    // The last page is checked like the others before the tables are written.
    if (!m_reader.endOperation()) {
        printProblem(m_reader.lastError());
        return stopped(kExitMeterFailed);
    }
    if (const int status = writeTables(records); status != kExitSuccess)
        return stopped(status);
    QString error;
    if (!m_manifest.write(error))
        return writeFailed(error);
    return kExitSuccess;
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
        if (!claimName(fileName))
            return kExitFileFailed;
        QString error;
        if (!savePicture(pathOf(fileName), picture.image(), m_settings.pictureFormat, error))
            return writeFailed(error);
        m_manifest.add(fileName);
        printLine(pathOf(fileName));
        record.pictureFile = fileName;
    }
    if (!decodeRecordValues(m_reader, record.entry, record.values))
        return readFailed(slot);
    return kExitSuccess;
}

int RecordExport::writeTables(const QList<ExportedRecord>& records)
{
    for (const auto& [fileName, contents] : tables(records)) {
        if (!claimName(fileName))
            return kExitFileFailed;
        QString error;
        if (!saveBytes(pathOf(fileName), contents, error))
            return writeFailed(error);
        m_manifest.add(fileName);
        printLine(pathOf(fileName));
    }
    return kExitSuccess;
}

QStringList RecordExport::tableNames() const
{
    if (m_settings.json)
        return {QLatin1String(kRecordsJsonName)};
    return {QLatin1String(kRecordsCsvName), QLatin1String(kPointsCsvName)};
}

QList<std::pair<QString, QByteArray>>
RecordExport::tables(const QList<ExportedRecord>& records) const
{
    if (m_settings.json)
        return {{QLatin1String(kRecordsJsonName), recordsJson(records)}};
    return {{QLatin1String(kRecordsCsvName), recordsCsv(records)},
            {QLatin1String(kPointsCsvName), pointsCsv(records)}};
}

bool RecordExport::claimName(const QString& fileName)
{
    // A file of that name that no export of ours listed is the user's: it is not replaced.
    const QFileInfo existing(pathOf(fileName));
    if (!existing.exists() && !existing.isSymLink())
        return true;
    printProblem(QStringLiteral("%1 is already there and was not written by an earlier export "
                                "into this folder; it was left as it was. Move it away, or "
                                "export into another folder.")
                     .arg(pathOf(fileName)));
    return false;
}

int RecordExport::stopped(int status)
{
    // Whatever was written is listed, so that `export --force` can clear it away later.
    QStringList tablesWritten;
    QStringList tablesMissing;
    for (const QString& table : tableNames()) {
        if (m_manifest.written().contains(table))
            tablesWritten << table;
        else
            tablesMissing << table;
    }
    const qsizetype pictures = m_manifest.written().size() - tablesWritten.size();
    QString summary = QStringLiteral("The export into %1 is incomplete: %2 pictures")
                          .arg(m_settings.folder)
                          .arg(pictures);
    if (!tablesWritten.isEmpty())
        summary += QStringLiteral(" and %1").arg(tablesWritten.join(QStringLiteral(", ")));
    summary +=
        QStringLiteral(" were written; %1 not.").arg(tablesMissing.join(QStringLiteral(", ")));
    if (!m_manifest.written().isEmpty()) {
        QString error;
        if (m_manifest.write(error))
            summary += QStringLiteral(" They are listed in %1; export --force into the same "
                                      "folder removes them.")
                           .arg(m_manifest.path());
        else
            summary += QLatin1Char('\n') + error;
    }
    printProblem(summary);
    return status;
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
