#include "catalogue/background_picture.h"

#include "platform/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace cablemeter {

namespace {

// The installed data folder, seen from the folder that holds the installed program.
constexpr char kInstalledDataFolder[] = "../share/cablemeter";

} // namespace

BackgroundPicture loadBackgroundPicture(const QString& path)
{
    BackgroundPicture picture;
    // Only a plain file is read: a FIFO or a device in its place would block or never end.
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, FileOpening::ReadOnly, reason)) {
        picture.error = QStringLiteral("Cannot load %1: %2").arg(path, reason);
        return picture;
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    picture.image = reader.read();
    if (picture.image.isNull())
        picture.error = QStringLiteral("Cannot load %1: %2").arg(path, reader.errorString());
    return picture;
}

QStringList backgroundPictureCandidates(const QString& programFolder)
{
    const QDir program(programFolder);
    const QString fileName = QLatin1String(kBackgroundPictureFileName);
    return {program.filePath(fileName),
            QDir::cleanPath(program.filePath(QLatin1String(kInstalledDataFolder) +
                                             QLatin1Char('/') + fileName))};
}

BackgroundPicture findBackgroundPicture(const QString& programFolder)
{
    const QStringList candidates = backgroundPictureCandidates(programFolder);
    for (const QString& path : candidates) {
        // A file that exists but is no picture is reported, not passed over for the next place.
        if (QFileInfo::exists(path))
            return loadBackgroundPicture(path);
    }
    BackgroundPicture missing;
    missing.error = QStringLiteral("The screen background %1 is missing: looked for %2.\n"
                                   "Reinstall cablemeter, or copy %1 next to the program.")
                        .arg(QLatin1String(kBackgroundPictureFileName),
                             candidates.join(QStringLiteral(" and ")));
    return missing;
}

} // namespace cablemeter
