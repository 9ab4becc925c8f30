#pragma once

#include "link/page.h"

#include <array>

namespace cablemeter {

class Picture;

// A spectrum (kind 6): 127 points on each of the record's fourth, fifth and sixth data pages,
// drawn as one trace; the points from x = 310 on fall outside the trace and are not drawn.
inline constexpr int kSpectrumPageCount = 3;
inline constexpr int kSpectrumPointsPerPage = 127;
inline constexpr int kFirstSpectrumPage = 4;

// Point values of one spectrum page, in tenths of a dB µV, 0 .. 1535.
using SpectrumPage = std::array<int, kSpectrumPointsPerPage>;

SpectrumPage decodeSpectrumPage(const PageBuffer& spectrumPage);
// The trace's height above its baseline, in dB: the level held to 20 .. 120 dB µV, less 20.
int spectrumHeight(int value);

// Draws the trace page by page, carrying the height of the last point to the next page.
class SpectrumTrace {
public:
    explicit SpectrumTrace(Picture& picture) : m_picture(picture) {}

    // page: 1, 2 or 3.
    void drawPage(int page, const SpectrumPage& points);

private:
    Picture& m_picture;
    int m_previousHeight = 0;
};

} // namespace cablemeter
