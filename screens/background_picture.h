#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace cablemeter {

// The screens' background picture file.
inline constexpr char kBackgroundPictureFileName[] = "ZNull.ovl";

// The screen's background picture as loaded from its file; a null image with the reason when the
// file is missing or unreadable, laid out as UserMessage::text() lays out a message.
struct BackgroundPicture {
    QImage image;
    QString error;
};

// Loads a picture file whose format is recognised from its content, whatever its extension.
BackgroundPicture loadBackgroundPicture(const QString& path);

// The places "ZNull.ovl" is looked for, in order: the program's own folder, then the data folder
// of an installed program (<prefix>/bin/../share/cablemeter).
QStringList backgroundPictureCandidates(const QString& programFolder);

// Loads the first of the candidates that exists; when none does, the error names every place.
BackgroundPicture findBackgroundPicture(const QString& programFolder);

} // namespace cablemeter
