#include "screens/background_picture.h"

#include "platform/regular_file.h"
#include "platform/user_message.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace cablemeter {

namespace {

// The installed data folder, seen from the folder that holds the installed program.
constexpr char kInstalledDataFolder[] = "../share/cablemeter";

QString reinstallAdvice()
{
    return QStringLiteral("Reinstall cablemeter, or copy %1 next to the program.")
        .arg(QLatin1String(kBackgroundPictureFileName));
}

QString cannotLoad(const QString& path, const QString& reason)
{
    return UserMessage(
               QStringLiteral("Cannot load the screen background %1: %2.").arg(path, reason),
               reinstallAdvice())
        .text();
}

} // namespace

BackgroundPicture loadBackgroundPicture(const QString& path)
{
    BackgroundPicture picture;
    // Only a plain file is read: a FIFO or a device in its place would block or never end.
    QFile file;
    QString reason;
    if (!openRegularFile(file, path, FileOpening::ReadOnly, reason)) {
        picture.error = cannotLoad(path, reason);
        return picture;
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    picture.image = reader.read();
    if (picture.image.isNull())
        picture.error = cannotLoad(path, reader.errorString());
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
    missing.error =
        UserMessage(QStringLiteral("The screen background %1 is missing.")
                        .arg(QLatin1String(kBackgroundPictureFileName)),
                    reinstallAdvice(),
                    QStringLiteral("Looked for %1.").arg(candidates.join(QStringLiteral(" and "))))
            .text();
    return missing;
}

} // namespace cablemeter
