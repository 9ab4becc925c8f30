#pragma once

#include "link/page.h"

#include <QString>

namespace cablemeter {

class ScreenPrinter;

// A video/audio carrier measurement of an analogue channel (kind 11).
struct VARecord {
    int unitCode = 0;
    QString channelName;
    int videoFrequency = 0; // units of 10 kHz
    int audioOffset = 0;    // units of 10 kHz above the video carrier
    int videoLevel = 0;     // tenths of a dB µV, raised to the floor
    int audioLevel = 0;     // tenths of a dB µV, raised to the floor
    int ratio = 0;          // video to audio, tenths of a dB
    bool videoLevelRaised = false;
    bool audioLevelRaised = false;
};

VARecord decodeVA(const PageBuffer& firstDataPage);
void printVA(ScreenPrinter& printer, const VARecord& record);

} // namespace cablemeter
