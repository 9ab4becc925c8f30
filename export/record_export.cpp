#include "export/record_export.h"

#include "export/export_tables.h"
#include "export/picture_file_name.h"
#include "platform/saved_file.h"
#include "platform/system_file.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace cablemeter {

RecordExport::RecordExport(PageReader& reader, Settings settings)
    : m_settings(std::move(settings)), m_reading(reader, m_settings.background),
      m_manifest(m_settings.folder)
{
}

ExportResult RecordExport::run()
{
    m_result = {};
    // Made only now that the records' source is known to be there.
    m_madeFolder = !QFileInfo::exists(m_settings.folder);
    if (QString reason; !makeFolders(m_settings.folder, reason)) {
        m_madeFolder = false;
        failed(ExportOutcome::WriteFailed,
               UserMessage(
                   QStringLiteral("Cannot make the folder %1: %2.").arg(m_settings.folder, reason),
                   {}));
        return m_result;
    }
    if (m_manifest.earlierExportPresent() && !m_settings.replaceEarlierExport) {
        failed(ExportOutcome::EarlierExport,
               UserMessage(QStringLiteral("%1 already holds an export.").arg(m_settings.folder), {},
                           QStringLiteral("Its files are listed in %1.").arg(m_manifest.path())));
        return m_result;
    }
    if (!m_reading.readCatalogue()) {
        readingFailed();
        return stopped();
    }
    // Every name is known once the catalogue is: all are checked before anything is written,
    // and the earlier export goes only once this one can be written in its place.
    if (!namesAreFree(fileNames(m_reading.listedEntries())))
        return stopped();
    if (m_manifest.earlierExportPresent()) {
        int removed = 0;
        if (QString error; !m_manifest.removeEarlierExport(removed, error)) {
            failed(ExportOutcome::WriteFailed, error);
            return stopped();
        }
        m_result.removedEarlierFiles = removed;
    }

    QList<ExportedRecord> records;
    const bool complete = m_reading.readRecords(
        [&](const CatalogueEntry& entry, const QImage& screen, const RecordValues& values) {
            ExportedRecord record{entry, {}, values};
            if (!screen.isNull() && !writePicture(screen, record))
                return false;
            records.append(record);
            return true;
        });
    if (!complete) {
        if (m_result.outcome != ExportOutcome::WriteFailed)
            readingFailed();
        return stopped();
    }
    if (!writeTables(records))
        return stopped();
    if (QString error; !m_manifest.write(error)) {
        failed(ExportOutcome::WriteFailed, error);
        return stopped();
    }
    for (const QString& fileName : m_manifest.written())
        m_result.writtenFiles << pathOf(fileName);
    return m_result;
}

bool RecordExport::writePicture(const QImage& screen, ExportedRecord& record)
{
    const CatalogueEntry& entry = record.entry;
    const QString fileName =
        pictureFileName(entry.slot, entry.kind, entry.name, m_settings.pictureFormat);
    QString error;
    if (!savePicture(pathOf(fileName), screen, m_settings.pictureFormat, error,
                     ExistingFile::Keep)) {
        failed(ExportOutcome::WriteFailed, error);
        return false;
    }
    m_manifest.add(fileName);
    record.pictureFile = fileName;
    return true;
}

bool RecordExport::writeTables(const QList<ExportedRecord>& records)
{
    for (const auto& [fileName, contents] : tables(records)) {
        QString error;
        if (!saveBytes(pathOf(fileName), contents, error, ExistingFile::Keep)) {
            failed(ExportOutcome::WriteFailed, error);
            return false;
        }
        m_manifest.add(fileName);
    }
    return true;
}

QStringList RecordExport::fileNames(const QList<CatalogueEntry>& entries) const
{
    QStringList names;
    for (const CatalogueEntry& entry : entries) {
        if (m_reading.hasScreen(entry.kind))
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
            failed(ExportOutcome::WriteFailed, error);
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
        failed(ExportOutcome::NamesTaken,
               UserMessage(QStringLiteral("%1 is already there and was not written by an earlier "
                                          "export into this folder, so nothing was written.")
                               .arg(taken.constFirst()),
                           QStringLiteral("Move it away, or export into another folder.")));
    else
        failed(ExportOutcome::NamesTaken,
               UserMessage(QStringLiteral("%1 files this export writes are already in %2 and were "
                                          "not written by an earlier export into it, so nothing "
                                          "was written.")
                               .arg(taken.size())
                               .arg(m_settings.folder),
                           QStringLiteral("Move them away, or export into another folder."),
                           taken.join(QLatin1Char('\n'))));
    return false;
}

void RecordExport::readingFailed()
{
    if (m_reading.wasStopped())
        failed(ExportOutcome::Stopped, QString());
    else
        failed(ExportOutcome::MeterFailed, m_reading.error());
}

void RecordExport::failed(ExportOutcome outcome, const UserMessage& problem)
{
    m_result.outcome = outcome;
    m_result.problem = problem;
}

ExportResult RecordExport::stopped()
{
    // Nothing of an export that does not complete is kept, so nothing is left to replace later.
    m_result.unfinishedFiles = int(m_manifest.written().size());
    m_manifest.removeWritten();
    if (m_madeFolder)
        QDir().rmdir(m_settings.folder); // only when empty
    for (const QString& fileName : m_manifest.written())
        m_result.leftFiles << pathOf(fileName);
    return m_result;
}

QString RecordExport::pathOf(const QString& fileName) const
{
    return QDir(m_settings.folder).filePath(fileName);
}

} // namespace cablemeter
