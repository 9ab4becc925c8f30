#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QImage;
class QSaveFile;

namespace cablemeter {

// Files are written under a temporary name and renamed only when complete, so a failure or an
// interruption never leaves half a file. Only a regular file (or a new name) is replaced: a
// device, a FIFO or a folder under the name is refused before anything is written, and again
// just before the rename. False with a message naming the path on failure.
bool saveBytes(const QString& path, const QByteArray& bytes, QString& error);
// format: "png" or "bmp".
bool savePicture(const QString& path, const QImage& picture, const QString& format, QString& error);

// "Cannot write PATH: why" when `path` leads to something that is not a regular file.
std::optional<QString> refusalToWrite(const QString& path);
// Renames a completely written QSaveFile into place, with the same last check.
bool commitSavedFile(QSaveFile& file, QString& error);

} // namespace cablemeter
