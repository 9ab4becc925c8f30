#include "platform/screen_picture.h"

#include "platform/screen_font.h"

#include <QFontMetricsF>
#include <QPainter>

namespace cablemeter {

namespace {

// Font sizes are in points at 96 dots per inch (a point is 1/72 inch), as on the meter's PC
// program, so a 13-point line is 17.33 pixels high on every screen. The image carries this
// resolution and QPainter sizes fonts by the resolution of the device it paints on.
constexpr double kDotsPerInch = 96.0;
constexpr double kMetresPerInch = 0.0254;
constexpr int kDotsPerMetre = int(kDotsPerInch / kMetresPerInch + 0.5);

constexpr double kStartFontPoints = 8.25; // a picture box's font size before a screen sets one

// A plain picture, before any background is given: the light grey of a picture box.
const QColor kPlainGround(240, 240, 240);
const QColor kTextColour(Qt::black);

// A print zone is 14 columns wide.
constexpr int kColumnsPerZone = 14;
const QString kPrintZoneMark = QStringLiteral("\t");

QFont startFont()
{
    QFont font(screenFontFamily());
    font.setPointSizeF(kStartFontPoints);
    // No hinting and grey (not sub-pixel) antialiasing: glyph shapes and advances then do not
    // depend on the desktop's font settings, and the saved pictures are the same everywhere.
    font.setHintingPreference(QFont::PreferNoHinting);
    // No merging: a character the face lacks is drawn as the face's own missing-glyph box, never
    // borrowed from whatever fonts the machine happens to have.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias |
                                               QFont::NoFontMerging));
    return font;
}

} // namespace

ScreenPicture::ScreenPicture(QObject* parent)
    : QObject(parent), m_image(kWidth, kHeight, QImage::Format_RGB32), m_font(startFont())
{
    m_image.setDotsPerMeterX(kDotsPerMetre);
    m_image.setDotsPerMeterY(kDotsPerMetre);
    fillWithBackground();
}

void ScreenPicture::setBackground(const QImage& background)
{
    m_background = background;
}

void ScreenPicture::clear()
{
    fillWithBackground();
    m_textPosition = QPointF(0, 0);
    m_printedLines.clear();
    m_openLine.clear();
    m_drawnLines.clear();
    emit changed();
}

void ScreenPicture::fillWithBackground()
{
    m_image.fill(kPlainGround);
    if (!m_background.isNull()) {
        // A background of another size is not stretched: it sits at the top-left corner.
        QPainter painter(&m_image);
        painter.drawImage(QPoint(0, 0), m_background);
    }
}

void ScreenPicture::setFontSize(double points)
{
    m_font.setPointSizeF(points);
}

void ScreenPicture::setBold(bool bold)
{
    m_font.setBold(bold);
}

double ScreenPicture::lineHeight() const
{
    // The height of the font's ascent and descent, without extra leading between lines.
    return QFontMetricsF(m_font, &m_image).height();
}

double ScreenPicture::printZoneWidth() const
{
    // A column is the mean advance of the lowercase letters. The face's own average width counts
    // every glyph it has, Greek and Cyrillic included, and is far wider than its Latin text.
    const QFontMetricsF metrics(m_font, &m_image);
    double letters = 0;
    for (char letter = 'a'; letter <= 'z'; ++letter)
        letters += metrics.horizontalAdvance(QLatin1Char(letter));
    constexpr int kLetterCount = 'z' - 'a' + 1;
    return kColumnsPerZone * letters / kLetterCount;
}

void ScreenPicture::print(const QString& text)
{
    const QFontMetricsF metrics(m_font, &m_image);
    {
        QPainter painter(&m_image);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setFont(m_font);
        painter.setPen(kTextColour);
        painter.drawText(m_textPosition + QPointF(0, metrics.ascent()), text);
    }
    m_textPosition.rx() += metrics.horizontalAdvance(text);
    m_openLine += text;
    emit changed();
}

void ScreenPicture::nextPrintZone()
{
    const double zone = printZoneWidth();
    const int zonesPassed = int(m_textPosition.x() / zone);
    m_textPosition.setX((zonesPassed + 1) * zone);
    m_openLine += kPrintZoneMark;
}

void ScreenPicture::newLine()
{
    m_textPosition = QPointF(0, m_textPosition.y() + lineHeight());
    m_printedLines.append(m_openLine);
    m_openLine.clear();
}

void ScreenPicture::drawLine(QPoint from, QPoint to, QColor colour)
{
    {
        QPainter painter(&m_image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(colour, 1));
        painter.drawLine(from, to);
    }
    m_drawnLines.append({from, to, colour});
    emit changed();
}

} // namespace cablemeter
