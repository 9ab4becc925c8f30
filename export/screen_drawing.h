#pragma once

#include "catalogue/record_kinds.h"

#include <QImage>

namespace cablemeter {

class PageReader;

// Draws records offscreen exactly as the window draws them: the same renderers, background and
// font, on a fresh picture per record as the window's is after its renderer clears it.
class ScreenDrawing {
public:
    // background: the screens' background; a null image draws on a plain picture, as the window.
    explicit ScreenDrawing(QImage background, RendererTable renderers = standardRenderers());

    bool hasScreen(int kind) const { return m_renderers.count(kind) != 0; }
    // The record of `slot` drawn by the renderer of `kind`: a null image when a page did not
    // arrive (reader.lastError() says why) or the kind has no screen.
    QImage draw(PageReader& reader, int kind, int slot) const;

private:
    QImage m_background;
    RendererTable m_renderers;
};

// A screen enlarged by a whole factor, every pixel a square block of the same colour (nearest
// neighbour), so that it stays sharp wherever it is shown.
QImage pixelScaled(const QImage& screen, int factor);

} // namespace cablemeter
