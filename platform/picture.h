#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>

namespace cablemeter {

// The meter's 320 x 240 screen as the renderers draw on it. Coordinates are pixels, (0, 0) at the
// top-left corner, y growing downwards. Text is printed at a current text position.
class Picture {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    virtual ~Picture() = default;

    // The ground every clear() returns to; a null image means a plain picture.
    virtual void setBackground(const QImage& background) = 0;
    // Removes all text and lines, keeps the background, text position back to the top-left.
    virtual void clear() = 0;

    virtual void setFontSize(double points) = 0;
    virtual void setBold(bool bold) = 0;

    // Prints text at the text position; the position moves to just after it (same line).
    virtual void print(const QString& text) = 0;
    // Moves the text position to the start of the next print zone (14 average character widths).
    virtual void nextPrintZone() = 0;
    // Ends the line: the text position moves to the left edge, one line lower.
    virtual void newLine() = 0;

    // A straight line one pixel wide.
    virtual void drawLine(QPoint from, QPoint to, QColor colour) = 0;

    // The persistent image: background plus everything drawn since the last clear().
    virtual QImage image() const = 0;
};

} // namespace cablemeter
