#pragma once

#include "link/page.h"

#include <array>

namespace cablemeter {

class Picture;

// A channel scan (kind 7): 100 channel levels on the record's fourth data page, shown as bars.
inline constexpr int kScanChannelCount = 100;
inline constexpr int kScanPage = 4;

struct ScanRecord {
    std::array<int, kScanChannelCount> values{}; // tenths of a dB µV, 0 .. 1535
};

ScanRecord decodeScan(const PageBuffer& scanPage);
// The level a bar shows, in dB µV: 20 .. 120, a level above 120 shown as 25.
int scanBarLevel(int value);
// Whether the bar shows another level than the value's own (it lies outside the graph's range).
bool scanBarHeld(int value);
void drawScan(Picture& picture, const ScanRecord& record);

} // namespace cablemeter
