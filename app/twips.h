#pragma once

#include <QRect>

namespace cablemeter {

// The window's layout is given in twips; at 96 dots per inch 15 twips make one pixel.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}

// A control's rectangle inside its container, from left, top, width and height in twips.
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

} // namespace cablemeter
