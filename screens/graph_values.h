#pragma once

#include "link/page.h"

#include <QColor>

namespace cablemeter {

// The colour of the scan bars and the spectrum trace.
inline const QColor kGraphColour(80, 255, 80);

// Value of point p of a scan or spectrum page, in tenths of a dB µV: page bytes 2p + 1 (high)
// and 2p + 2 (low). A high byte above 5 is not a level the meter measures and counts as 0.
int graphPointValue(const PageBuffer& page, int point);

// Tenths of a dB to whole dB, a value exactly halfway going to the even neighbour (84.5 -> 84,
// 85.5 -> 86). tenths >= 0.
int roundedDecibels(int tenths);

} // namespace cablemeter
