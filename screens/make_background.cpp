// Writes the screen's background picture "ZNull.ovl": a muted grey-green like the meter's
// display, with a faint grid. Its tone sits midway in brightness, so both the black text and the
// bright green graph lines stand out on it. Usage: make_background <output file>
#include <QColor>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kGridStep = 20;

const QColor kGround(112, 128, 118);
const QColor kGridLine(102, 117, 108);

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(kGround);
    QPainter painter(&picture);
    painter.setPen(kGridLine);
    for (int x = kGridStep; x < kWidth; x += kGridStep)
        painter.drawLine(x, 0, x, kHeight - 1);
    for (int y = kGridStep; y < kHeight; y += kGridStep)
        painter.drawLine(0, y, kWidth - 1, y);
    painter.end();
    // A BMP file: the name ends in ".ovl", so readers recognise the format from the content.
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "BMP")) {
        std::fprintf(stderr, "make_background: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
