#pragma once

#include "link/page.h"

namespace cablemeter {

class ScreenPrinter;

// A level measured at a frequency rather than on a named channel (kind 4).
struct FreqRecord {
    int unitCode = 0;
    int frequency = 0; // units of 10 kHz, from page bytes 24 to 26
    int level = 0;     // tenths of a dB µV, raised to the floor
    bool levelRaised = false;
};

FreqRecord decodeFreq(const PageBuffer& firstDataPage);
void printFreq(ScreenPrinter& printer, const FreqRecord& record);

} // namespace cablemeter
