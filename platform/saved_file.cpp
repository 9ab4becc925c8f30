#include "platform/saved_file.h"

#include "platform/regular_file.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace cablemeter {

namespace {

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot write %1: %2").arg(path, reason);
}

// Puts the finished file in place, unless something other than a file took its name meanwhile.
bool commitChecked(QSaveFile& file, const QString& path, QString& error)
{
    if (const std::optional<QString> reason = commitUnlessReplaced(file)) {
        error = cannotWrite(path, *reason);
        return false;
    }
    return true;
}

} // namespace

std::optional<QString> refusalToWrite(const QString& path)
{
    if (const std::optional<QString> refusal = refusalToReplace(path))
        return cannotWrite(path, *refusal);
    return std::nullopt;
}

bool saveBytes(const QString& path, const QByteArray& bytes, QString& error)
{
    if (const std::optional<QString> refusal = refusalToWrite(path)) {
        error = *refusal;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        error = cannotWrite(path, file.errorString());
        return false;
    }
    return commitChecked(file, path, error);
}

bool savePicture(const QString& path, const QImage& picture, const QString& format, QString& error)
{
    if (const std::optional<QString> refusal = refusalToWrite(path)) {
        error = *refusal;
        return false;
    }
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
    return commitChecked(file, path, error);
}

bool commitSavedFile(QSaveFile& file, QString& error)
{
    return commitChecked(file, file.fileName(), error);
}

} // namespace cablemeter
