#pragma once

#include "platform/picture.h"

#include <QFont>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QStringList>

namespace cablemeter {

// A line segment as drawn on the picture, kept so that tests can check the graphs.
struct DrawnLine {
    QPoint from;
    QPoint to;
    QColor colour;

    bool operator==(const DrawnLine&) const = default;
};

// The screen picture drawn into a persistent 320 x 240 image, the one the window shows and Save
// As writes. Text is drawn in the bundled screen font, black, sized at 96 dpi whatever the screen.
// Besides drawing, it keeps what was printed and drawn since the last clear(): the text lines
// exactly as printed (a jump to the next print zone is kept as a tab) and the line segments.
class ScreenPicture : public QObject, public Picture {
    Q_OBJECT
public:
    explicit ScreenPicture(QObject* parent = nullptr);

    // Takes effect at the next clear(); what is drawn now stays until then.
    void setBackground(const QImage& background) override;
    void clear() override;

    void setFontSize(double points) override;
    void setBold(bool bold) override;

    void print(const QString& text) override;
    void nextPrintZone() override;
    void newLine() override;

    void drawLine(QPoint from, QPoint to, QColor colour) override;

    QImage image() const override { return m_image; }

    // The text lines ended by newLine() since the last clear().
    const QStringList& printedLines() const { return m_printedLines; }
    // What was printed on the current line and not yet ended.
    const QString& openLine() const { return m_openLine; }
    const QList<DrawnLine>& drawnLines() const { return m_drawnLines; }

    // The font as text is drawn now, and the measures derived from it.
    QFont font() const { return m_font; }
    double lineHeight() const;
    double printZoneWidth() const;
    QPointF textPosition() const { return m_textPosition; }

signals:
    // The image has changed: the window repaints from image().
    void changed();

private:
    void fillWithBackground();

    QImage m_image;
    QImage m_background;
    QFont m_font;
    QPointF m_textPosition;
    QStringList m_printedLines;
    QString m_openLine;
    QList<DrawnLine> m_drawnLines;
};

} // namespace cablemeter
