#pragma once

namespace cablemeter {

// The record kind codes (header page byte 2) that have a screen.
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

} // namespace cablemeter
