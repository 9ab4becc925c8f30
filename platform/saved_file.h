#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

class QImage;

namespace cablemeter {

// Files are written whole under a temporary name beside their place and renamed into it only
// once every byte is on the disk (ReplacementFile), so a failure, a full disk or an
// interruption never leaves a file shorter than it should be, and an earlier file stays as it
// was. Only a regular file (or a new name) is replaced: a device, a FIFO or a folder under the
// name is refused before anything is written, and again just before the rename. Failures carry
// the system's reason ("No space left on device").

// What becomes of a file that already has the name.
enum class ExistingFile {
    Replace, // replaced whole once the new file is complete
    Keep,    // never replaced: the save fails instead, also when the name is taken meanwhile
    // As Replace; where the folder takes no new file from this user, an existing file they may
    // write is written over in place (see saveFailure()).
    ReplaceOrOverwrite,
};

// Why `bytes` could not be saved under `path` (the reason, without the path); nothing when
// saved. Written over in place, a file gets its room reserved first, so a full disk leaves it
// as it was; a failure after its first byte was overwritten leaves it empty, not half old and
// half new, and the reason says so.
std::optional<QString> saveFailure(const QString& path, QByteArrayView bytes,
                                   ExistingFile existing = ExistingFile::Replace);
// The picture as the bytes of a `format` file ("png" or "bmp"); false with the encoder's reason.
bool encodePicture(const QImage& picture, const QString& format, QByteArray& encoded,
                   QString& reason);

// The same, with "Cannot write PATH: why" in `error` on failure.
bool saveBytes(const QString& path, const QByteArray& bytes, QString& error,
               ExistingFile existing = ExistingFile::Replace);
bool savePicture(const QString& path, const QImage& picture, const QString& format, QString& error,
                 ExistingFile existing = ExistingFile::Replace);

// "Cannot write PATH: why" when `path` leads to something that is not a regular file.
std::optional<QString> refusalToWrite(const QString& path);

} // namespace cablemeter
