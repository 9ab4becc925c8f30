#include "screens/scan_screen.h"

#include "screens/graph_values.h"
#include "screens/screen_frame.h"

namespace cablemeter {

namespace {

constexpr double kScanFontPoints = 13.0;

constexpr int kHighestLevel = 120;
// The meter shows an overflowing channel as a low bar, not a full one.
constexpr int kOverflowLevel = 25;
constexpr int kLowestLevel = 20;

// Bars stand on y = 232, two pixels per dB above 17 dB µV, two pixels wide, three apart.
constexpr int kBaseline = 232;
constexpr int kPixelsPerDecibel = 2;
constexpr int kBarZeroLevel = 17;
constexpr int kFirstBarX = 10;
constexpr int kBarPitch = 3;

} // namespace

ScanRecord decodeScan(const PageBuffer& scanPage)
{
    ScanRecord record;
    for (int p = 0; p < kScanChannelCount; ++p)
        record.values[p] = graphPointValue(scanPage, p);
    return record;
}

int scanBarLevel(int value)
{
    int level = roundedDecibels(value);
    if (level > kHighestLevel)
        level = kOverflowLevel;
    if (level < kLowestLevel)
        level = kLowestLevel;
    return level;
}

bool scanBarHeld(int value)
{
    return scanBarLevel(value) != roundedDecibels(value);
}

void drawScan(Picture& picture, const ScanRecord& record)
{
    for (int p = 0; p < kScanChannelCount; ++p) {
        const int height = kPixelsPerDecibel * (scanBarLevel(record.values[p]) - kBarZeroLevel);
        const int left = kFirstBarX + kBarPitch * p;
        for (const int x : {left, left + 1})
            picture.drawLine(QPoint(x, kBaseline), QPoint(x, kBaseline - height), kGraphColour);
    }
}

bool DrawScan(ScreenContext& context, int m)
{
    if (!readFirstDataPage(context, m))
        return false;
    resetScreen(context.picture, kScanFontPoints);
    if (!readDataPage(context, m, kScanPage))
        return false;
    drawScan(context.picture, decodeScan(context.reader.pageBuffer()));
    return true;
}

} // namespace cablemeter
