#pragma once

#include "screens/record_fields.h"

namespace cablemeter {

class ScreenPrinter;

// A carrier-to-noise measurement (kind 10).
struct CNRecord {
    CommonFields common;
    int carrierToNoise = 0; // tenths of a dB, signed
};

CNRecord decodeCN(const PageBuffer& firstDataPage);
void printCN(ScreenPrinter& printer, const CNRecord& record);

} // namespace cablemeter
