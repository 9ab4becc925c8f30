#pragma once

#include "link/page.h"

namespace cablemeter {

class ScreenPrinter;

// A voltage measurement (kind 9); all readings in tenths of a volt.
struct VoltRecord {
    int ac = 0;
    int dc = 0;
    int battery = 0;
};

VoltRecord decodeVolt(const PageBuffer& firstDataPage);
void printVolt(ScreenPrinter& printer, const VoltRecord& record);

} // namespace cablemeter
