#include "platform/saved_file.h"

#include "platform/regular_file.h"
#include "platform/replacement_file.h"
#include "platform/system_file.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

namespace cablemeter {

namespace {

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot write %1: %2").arg(path, reason);
}

// For a folder that takes no new file: the existing file is written over where it is.
std::optional<QString> overwriteInPlace(const QString& path, QByteArrayView bytes)
{
    SystemFile file;
    QString reason;
    // Nothing has changed until the room is reserved.
    if (!file.openExisting(path, reason) || !file.reserve(bytes.size(), reason))
        return reason;
    if (file.write(bytes, reason) && file.truncate(bytes.size(), reason) && file.sync(reason) &&
        file.close(reason))
        return std::nullopt;
    // Its earlier bytes are partly gone: an empty file says so, a mix of two would not.
    QString ignored;
    const bool emptied = file.isOpen() ? file.truncate(0, ignored) : QFile::resize(path, 0);
    return reason + (emptied ? QStringLiteral("; the file there was partly overwritten, so it "
                                              "was left empty")
                             : QStringLiteral("; the file there was partly overwritten"));
}

} // namespace

std::optional<QString> saveFailure(const QString& path, QByteArrayView bytes, ExistingFile existing)
{
    ReplacementFile file(path, existing == ExistingFile::Keep ? ReplacementFile::Existing::Keep
                                                              : ReplacementFile::Existing::Replace);
    QString reason;
    if (!file.open(reason)) {
        if (existing == ExistingFile::ReplaceOrOverwrite && file.folderTakesNoNewFile() &&
            QFileInfo(path).isFile())
            return overwriteInPlace(path, bytes);
        return reason;
    }
    if (!file.write(bytes, reason) || !file.commit(reason))
        return reason;
    return std::nullopt;
}

bool encodePicture(const QImage& picture, const QString& format, QByteArray& encoded,
                   QString& reason)
{
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    // The format is named, not guessed from the extension.
    QImageWriter writer(&buffer, format.toLatin1());
    if (!writer.write(picture)) {
        reason = writer.errorString();
        return false;
    }
    return true;
}

bool saveBytes(const QString& path, const QByteArray& bytes, QString& error, ExistingFile existing)
{
    if (const std::optional<QString> reason = saveFailure(path, bytes, existing)) {
        error = cannotWrite(path, *reason);
        return false;
    }
    return true;
}

bool savePicture(const QString& path, const QImage& picture, const QString& format, QString& error,
                 ExistingFile existing)
{
    // Refused before the picture is encoded.
    if (const std::optional<QString> refusal = refusalToWrite(path)) {
        error = *refusal;
        return false;
    }
    QByteArray encoded;
    QString reason;
    if (!encodePicture(picture, format, encoded, reason)) {
        error = cannotWrite(path, reason);
        return false;
    }
    return saveBytes(path, encoded, error, existing);
}

std::optional<QString> refusalToWrite(const QString& path)
{
    if (const std::optional<QString> refusal = refusalToReplace(path))
        return cannotWrite(path, *refusal);
    return std::nullopt;
}

} // namespace cablemeter
