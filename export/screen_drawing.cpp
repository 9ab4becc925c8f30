#include "export/screen_drawing.h"

#include "platform/screen_picture.h"
#include "screens/renderers.h"

#include <utility>

namespace cablemeter {

ScreenDrawing::ScreenDrawing(QImage background, RendererTable renderers)
    : m_background(std::move(background)), m_renderers(std::move(renderers))
{
}

QImage ScreenDrawing::draw(PageReader& reader, int kind, int slot) const
{
    const auto renderer = m_renderers.find(kind);
    if (renderer == m_renderers.end())
        return {};
    ScreenPicture picture;
    picture.setBackground(m_background);
    ScreenContext context{reader, picture, [](const QString&) {}};
    if (!renderer->second(context, slot))
        return {};
    return picture.image();
}

QImage pixelScaled(const QImage& screen, int factor)
{
    return screen.scaled(screen.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace cablemeter
