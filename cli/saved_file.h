#pragma once

#include <QByteArray>
#include <QString>

class QImage;

namespace cablemeter::cli {

// Files are written under a temporary name and renamed only when complete, so a failure or an
// interruption never leaves half a file. False with a message naming the path on failure.
bool saveBytes(const QString& path, const QByteArray& bytes, QString& error);
// format: "png" or "bmp".
bool savePicture(const QString& path, const QImage& picture, const QString& format, QString& error);

} // namespace cablemeter::cli
