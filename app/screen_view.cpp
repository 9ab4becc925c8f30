#include "app/screen_view.h"

#include <QPainter>

namespace cablemeter {

ScreenView::ScreenView(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorderWidth);
}

void ScreenView::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void ScreenView::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.fillRect(area, palette().color(QPalette::Window));
    if (m_image.isNull())
        return;
    // Pixel for pixel from the top-left corner; anything larger than the area is cut off.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setClipRect(area);
    painter.drawImage(area.topLeft(), m_image);
}

} // namespace cablemeter
