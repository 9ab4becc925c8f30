#include "app/save_picture.h"

#include "app/file_dialog.h"
#include "platform/regular_file.h"
#include "platform/saved_file.h"
#include "platform/window_controls.h"

#include <QDir>
#include <QImage>

namespace cablemeter {

namespace {

constexpr char kBitmapFormat[] = "bmp";
constexpr int kYearsPerCentury = 100;

} // namespace

QString proposedPictureName(const QDateTime& now)
{
    // The century is always written as "20"; only the last two digits of the year vary.
    const int year = (now.date().year() % kYearsPerCentury + kYearsPerCentury) % kYearsPerCentury;
    const QTime time = now.time();
    return QString::asprintf("20%02d%02d%02d%02d%02d%02d", year, now.date().month(),
                             now.date().day(), time.hour(), time.minute(), time.second());
}

std::optional<QString> writeBitmap(const QImage& image, const QString& path)
{
    if (std::optional<QString> refusal = refusalToReplace(path))
        return refusal;
    QByteArray bitmap;
    QString reason;
    // The format is named, not guessed from the extension: the user may pick any name.
    if (!encodePicture(image, QString::fromLatin1(kBitmapFormat), bitmap, reason))
        return reason;
    // In a folder the user may not write, an existing file the user may write is still
    // replaced, written over in place once its room is reserved; the check above keeps that to
    // regular files.
    return saveFailure(path, bitmap, ExistingFile::ReplaceOrOverwrite);
}

PictureSaver::PictureSaver(FileDialog& dialog, WindowControls& controls, Clock clock)
    : m_dialog(dialog), m_controls(controls), m_clock(std::move(clock))
{
}

std::optional<QString> PictureSaver::save(const QImage& picture)
{
    // The clock is read once, so date and time cannot straddle midnight.
    const QString proposed = proposedPictureName(m_clock());
    const std::optional<QString> accepted =
        m_dialog.askSaveFileName(QString::fromLatin1(kBitmapFilter), proposed);
    if (!accepted)
        return std::nullopt;

    if (const std::optional<QString> reason = writeBitmap(picture, *accepted)) {
        m_controls.reportError(
            QStringLiteral("Save As"),
            {QStringLiteral("The picture could not be saved as %1: %2.")
                 .arg(QDir::toNativeSeparators(*accepted), *reason),
             QStringLiteral("Choose a folder you may write that has room (or another name), then "
                            "press Save As again.")});
        return std::nullopt;
    }
    return accepted;
}

} // namespace cablemeter
