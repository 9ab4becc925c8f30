#include "catalogue/background_picture.h"

#include <QImageReader>

namespace cablemeter {

BackgroundPicture loadBackgroundPicture(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    BackgroundPicture picture;
    picture.image = reader.read();
    if (picture.image.isNull())
        picture.error = QStringLiteral("Cannot load %1: %2").arg(path, reader.errorString());
    return picture;
}

} // namespace cablemeter
