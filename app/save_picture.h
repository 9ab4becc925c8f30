#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QImage;

namespace cablemeter {

class FileDialog;
class WindowControls;

// The save dialog offers one file type: Windows bitmaps.
inline constexpr char kBitmapFilter[] = "bmp files(*.bmp)|*.bmp";

// Fourteen digits "20" yy MM dd hh mm ss (hour 00 to 23): names sort by time, and two saves in
// the same second propose the same name.
QString proposedPictureName(const QDateTime& now);

// Writes the image as a Windows bitmap under exactly `path`, whatever its extension. The bitmap
// goes to a temporary file beside the target first and replaces the target only once it is
// complete and on the disk, so a failed write (a full disk included) leaves an existing file as
// it was and no new one. In a folder where this user may make no file, an existing file they
// may write is written over in place after its room is reserved, so a full disk still leaves it
// as it was; should a write fail after that (an I/O error), the file is left empty rather than
// half old and half new, and the reason says so. Only a regular file (or a new name) is
// written: a device, a FIFO or a folder is refused and left as it was. Returns the system's
// reason when it fails.
std::optional<QString> writeBitmap(const QImage& image, const QString& path);

// Save As: proposes a name from the clock, asks the user where to save, and writes the picture
// there. A cancelled dialog writes nothing; a failed write is reported to the user.
class PictureSaver {
public:
    using Clock = std::function<QDateTime()>;

    PictureSaver(
        FileDialog& dialog, WindowControls& controls,
        Clock clock = [] { return QDateTime::currentDateTime(); });

    // Returns the file written, or nothing when cancelled or failed.
    std::optional<QString> save(const QImage& picture);

private:
    FileDialog& m_dialog;
    WindowControls& m_controls;
    Clock m_clock;
};

} // namespace cablemeter
