#pragma once

#include <QByteArray>
#include <QList>

#include <array>

namespace cablemeter::sim {

// The demo meter's stored records, described plainly so tests can check what the program shows
// against them without decoding the flash image with the program's own code.

inline constexpr int kDemoImagePages = 1024;
inline constexpr int kDemoScanChannels = 100;
inline constexpr int kDemoSpectrumPoints = 3 * 127;
inline constexpr int kDemoTiltRows = 12;

struct DemoTiltRow {
    QByteArray channel; // 3 characters
    bool digital = false;
    int level = 0; // tenths of a dB uV
};

// One record slot of the demo image. Fields that a kind does not use stay 0 / empty.
struct DemoRecord {
    int slot = 0;
    int kind = 0;                  // header page byte 2; 255 = empty slot
    QByteArray name;               // header page bytes 3 to 8, 6 characters
    std::array<int, 6> stamp = {}; // header page bytes 21 to 26: day, month, year, hour, min, sec

    // First data page.
    int unit = 0;        // byte 1: 0 dB uV, 1 dB mV, 2 dBm
    int channelType = 0; // byte 4: 0, 1 or 2
    QByteArray channel;  // bytes 18 to 20, 3 characters
    int frequency = 0;   // 10 kHz units: bytes 21 to 23 (kind 4: bytes 24 to 26)
    int level = 0;       // tenths of a dB uV, bytes 33 and 34
    int audioOffset = 0; // V/A: byte 32, 10 kHz units
    int audioLevel = 0;  // V/A: bytes 35 and 36, tenths of a dB uV
    int ratio = 0;       // V/A: bytes 37 and 38, tenths of a dB
    // C/N: bytes 37 (high) and 38 (low), 16-bit two's complement, tenths of a dB. The meter keeps
    // it where the V/A record keeps its ratio, so the program reads it from there.
    int carrierToNoise = 0;
    int acVoltage = 0;      // Volt: bytes 17 and 18, tenths of a volt
    int dcVoltage = 0;      // Volt: bytes 19 and 20
    int batteryVoltage = 0; // Volt: bytes 21 and 22

    QList<DemoTiltRow> tilt; // Tilt: 12 rows on the 4th data page
    QList<int> scan;         // Scan: 100 channel values on the 4th data page, tenths of a dB uV
    QList<int> spectrum;     // Spectrum: 381 points on data pages 4, 5, 6, tenths of a dB uV
};

// Every slot that holds something (records, plus one slot whose kind code has a blank label and
// one deleted record with kind 255), in slot order. Slots not listed are erased flash.
QList<DemoRecord> demoRecords();

// The demo flash image: 1024 pages of 256 bytes, erased (0xFF) where nothing is stored.
QByteArray makeDemoImage();

} // namespace cablemeter::sim
