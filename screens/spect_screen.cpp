#include "screens/spect_screen.h"

#include "screens/graph_values.h"
#include "screens/screen_frame.h"

#include <algorithm>

namespace cablemeter {

namespace {

constexpr double kSpectrumFontPoints = 13.0;

constexpr int kLowestLevel = 20;
constexpr int kHighestLevel = 120;

// The trace stands on y = 196, one pixel per dB; pages are 128 pixels apart from x = 5 on, and
// the trace ends before x = 310.
constexpr int kBaseline = 196;
constexpr int kPagePitch = 128;
constexpr int kFirstX = 5;
constexpr int kEndX = 310;

} // namespace

SpectrumPage decodeSpectrumPage(const PageBuffer& spectrumPage)
{
    SpectrumPage points;
    for (int p = 0; p < kSpectrumPointsPerPage; ++p)
        points[p] = graphPointValue(spectrumPage, p);
    return points;
}

int spectrumHeight(int value)
{
    return std::clamp(roundedDecibels(value), kLowestLevel, kHighestLevel) - kLowestLevel;
}

void SpectrumTrace::drawPage(int page, const SpectrumPage& points)
{
    for (int p = 0; p < kSpectrumPointsPerPage; ++p) {
        const int height = spectrumHeight(points[p]);
        const int x = (page - 1) * kPagePitch + p + kFirstX;
        if (x < kEndX)
            m_picture.drawLine(QPoint(x - 1, kBaseline - m_previousHeight),
                               QPoint(x, kBaseline - height), kGraphColour);
        m_previousHeight = height;
    }
}

bool DrawSpect(ScreenContext& context, int m)
{
    if (!readFirstDataPage(context, m))
        return false;
    resetScreen(context.picture, kSpectrumFontPoints);
    SpectrumTrace trace(context.picture);
    for (int page = 1; page <= kSpectrumPageCount; ++page) {
        if (!readDataPage(context, m, kFirstSpectrumPage + page - 1))
            return false;
        context.setStatus(QStringLiteral("Page OK %1").arg(page));
        trace.drawPage(page, decodeSpectrumPage(context.reader.pageBuffer()));
    }
    return true;
}

} // namespace cablemeter
