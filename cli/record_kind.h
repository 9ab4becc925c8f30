#pragma once

namespace cablemeter::cli {

// The record kind codes that have a screen in the window.
enum RecordKind : int {
    kLevelKind = 3,
    kFreqKind = 4,
    kDigiKind = 5,
    kSpectKind = 6,
    kScanKind = 7,
    kTiltKind = 8,
    kVoltKind = 9,
    kCNKind = 10,
    kVAKind = 11,
};

} // namespace cablemeter::cli
