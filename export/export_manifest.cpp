#include "export/export_manifest.h"

#include "export/export_tables.h"
#include "platform/regular_file.h"
#include "platform/saved_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <utility>

namespace cablemeter {

namespace {

// Some 35 names at most; a larger file is not one of our lists.
constexpr qint64 kLargestManifest = 64 * 1024;
const QString kHeading = QStringLiteral("# Files written by a cablemeter export; an export that "
                                        "replaces it removes exactly these.");

} // namespace

ExportManifest::ExportManifest(QString folder) : m_folder(std::move(folder)) {}

QString ExportManifest::path() const
{
    return QDir(m_folder).filePath(QLatin1String(kFileName));
}

bool ExportManifest::earlierExportPresent() const
{
    const QFileInfo list(path());
    return list.exists() || list.isSymLink();
}

bool ExportManifest::earlierExportFiles(QStringList& fileNames, QString& error) const
{
    fileNames.clear();
    QFile list;
    QString reason;
    if (!openRegularFile(list, path(), FileOpening::ReadOnly, reason) ||
        list.size() > kLargestManifest) {
        error = QStringLiteral("Cannot read %1: %2")
                    .arg(path(), reason.isEmpty() ? QStringLiteral("it is too large to be the "
                                                                   "list of an export")
                                                  : reason);
        return false;
    }
    const QStringList lines =
        QString::fromUtf8(list.read(kLargestManifest)).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString name = line.trimmed();
        if (!isExportFileName(name))
            continue;
        const QFileInfo info(QDir(m_folder).filePath(name));
        // Only a regular file of that name is what the export wrote; a link or a folder is not.
        if (!info.isSymLink() && info.isFile())
            fileNames << name;
    }
    return true;
}

bool ExportManifest::removeEarlierExport(int& removedFiles, QString& error) const
{
    removedFiles = 0;
    QStringList fileNames;
    if (!earlierExportFiles(fileNames, error))
        return false;
    for (const QString& name : fileNames) {
        const QString file = QDir(m_folder).filePath(name);
        if (!QFile::remove(file)) {
            error = QStringLiteral("Cannot remove %1 of the earlier export").arg(file);
            return false;
        }
        ++removedFiles;
    }
    if (!QFile::remove(path())) {
        error = QStringLiteral("Cannot remove %1").arg(path());
        return false;
    }
    return true;
}

bool ExportManifest::write(QString& error) const
{
    const QString text =
        kHeading + QLatin1Char('\n') + m_written.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return saveBytes(path(), text.toUtf8(), error, ExistingFile::Keep);
}

void ExportManifest::removeWritten()
{
    m_written.removeIf([this](const QString& fileName) {
        return QFile::remove(QDir(m_folder).filePath(fileName));
    });
}

bool ExportManifest::isExportFileName(const QString& fileName)
{
    // The picture names of pictureFileName(), and the tables.
    static const QRegularExpression picture(
        QStringLiteral("^slot[0-9]{2}-[a-z]+(-[A-Za-z0-9_-]+)?\\.(png|bmp)$"));
    static const QStringList tables = {QLatin1String(kRecordsCsvName),
                                       QLatin1String(kPointsCsvName),
                                       QLatin1String(kRecordsJsonName)};
    return tables.contains(fileName) || picture.match(fileName).hasMatch();
}

} // namespace cablemeter
