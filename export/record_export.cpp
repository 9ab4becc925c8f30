#include "export/record_export.h"

#include "catalogue/renderer_table.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "export/export_tables.h"
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
    m_madeFolder = !QFileInfo::exists(m_settings.folder);
    if (!QDir().mkpath(m_settings.folder)) {
        m_madeFolder = false;
        return writeFailed(QStringLiteral("Cannot make the folder %1").arg(m_settings.folder));
    }
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
            return stopped(m_watch.exitCode());
        printProblem(catalogue.error());
        return stopped(kExitMeterFailed);
    }
    // Every name is known once the catalogue is: all are checked before anything is written,
    // and the earlier export goes only once this one can be written in its place.
    if (!namesAreFree(fileNames(catalogue.listedEntries())))
        return stopped(kExitFileFailed);
    if (m_manifest.earlierExportPresent()) {
        int removed = 0;
        QString error;
        if (!m_manifest.removeEarlierExport(removed, error))
            return stopped(writeFailed(error));
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
        return stopped(writeFailed(error));
    for (const QString& fileName : m_manifest.written())
        printLine(pathOf(fileName));
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
        QString error;
        if (!savePicture(pathOf(fileName), picture.image(), m_settings.pictureFormat, error,
                         ExistingFile::Keep))
            return writeFailed(error);
        m_manifest.add(fileName);
        record.pictureFile = fileName;
    }
    if (!decodeRecordValues(m_reader, record.entry, record.values))
        return readFailed(slot);
    return kExitSuccess;
}

int RecordExport::writeTables(const QList<ExportedRecord>& records)
{
    for (const auto& [fileName, contents] : tables(records)) {
        QString error;
        if (!saveBytes(pathOf(fileName), contents, error, ExistingFile::Keep))
            return writeFailed(error);
        m_manifest.add(fileName);
    }
    return kExitSuccess;
}

QStringList RecordExport::fileNames(const QList<CatalogueEntry>& entries) const
{
    QStringList names;
    for (const CatalogueEntry& entry : entries) {
        if (m_renderers.contains(entry.kind))
            names << pictureFileName(entry.slot, entry.kind, entry.name, m_settings.pictureFormat);
    }
    return names + tableNames();
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

bool RecordExport::namesAreFree(const QStringList& fileNames)
{
    QStringList earlierFiles;
    if (m_manifest.earlierExportPresent()) {
        if (QString error; !m_manifest.earlierExportFiles(earlierFiles, error)) {
            printProblem(error);
            return false;
        }
    }
    // A file of one of these names that no export of ours listed is the user's.
    QStringList taken;
    for (const QString& fileName : fileNames) {
        const QFileInfo existing(pathOf(fileName));
        if ((existing.exists() || existing.isSymLink()) && !earlierFiles.contains(fileName))
            taken << pathOf(fileName);
    }
    if (taken.isEmpty())
        return true;
    if (taken.size() == 1)
        printProblem(QStringLiteral("%1 is already there and was not written by an earlier export "
                                    "into this folder; nothing was written. Move it away, or "
                                    "export into another folder.")
                         .arg(taken.constFirst()));
    else
        printProblem(QStringLiteral("%1 files this export writes are already in %2 and were not "
                                    "written by an earlier export into it; nothing was written. "
                                    "Move them away, or export into another folder.\n  %3")
                         .arg(taken.size())
                         .arg(m_settings.folder, taken.join(QStringLiteral("\n  "))));
    return false;
}

int RecordExport::stopped(int status)
{
    // Nothing of an export that does not complete is kept, so nothing is left for --force.
    const qsizetype written = m_manifest.written().size();
    m_manifest.removeWritten();
    if (m_madeFolder)
        QDir().rmdir(m_settings.folder); // only when empty
    const QString interrupted =
        m_watch.isInterrupted() ? QStringLiteral("interrupted; ") : QString();
    if (!m_manifest.written().isEmpty()) {
        QStringList left;
        for (const QString& fileName : m_manifest.written())
            left << pathOf(fileName);
        printProblem(interrupted +
                     QStringLiteral("the export into %1 stopped, and %2 of the files it wrote "
                                    "could not be removed; remove them yourself:\n  %3")
                         .arg(m_settings.folder)
                         .arg(left.size())
                         .arg(left.join(QStringLiteral("\n  "))));
    } else if (written > 0) {
        printProblem(interrupted +
                     QStringLiteral("the export into %1 stopped; the %2 files it had written "
                                    "were removed.")
                         .arg(m_settings.folder)
                         .arg(written));
    } else if (m_watch.isInterrupted()) {
        printProblem(interrupted +
                     QStringLiteral("nothing was written into %1.").arg(m_settings.folder));
    }
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
