#include "cli/saved_file.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace cablemeter::cli {

namespace {

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot write %1: %2").arg(path, reason);
}

} // namespace

bool saveBytes(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = cannotWrite(path, file.errorString());
        return false;
    }
    return true;
}

bool savePicture(const QString& path, const QImage& picture, const QString& format, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = cannotWrite(path, file.errorString());
        return false;
    }
    // The format is named, not guessed from the extension.
    QImageWriter writer(&file, format.toLatin1());
    if (!writer.write(picture)) {
        file.cancelWriting();
        error = cannotWrite(path, writer.errorString());
        return false;
    }
    if (!file.commit()) {
        error = cannotWrite(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace cablemeter::cli
