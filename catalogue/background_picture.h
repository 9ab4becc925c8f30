#pragma once

#include <QImage>
#include <QString>

namespace cablemeter {

// The screen's background picture as loaded from its file; a null image with the reason when the
// file is missing or unreadable.
struct BackgroundPicture {
    QImage image;
    QString error;
};

// Loads a picture file whose format is recognised from its content, whatever its extension.
BackgroundPicture loadBackgroundPicture(const QString& path);

} // namespace cablemeter
