#pragma once

#include "link/page.h"

#include <QString>

#include <array>

namespace cablemeter {

class ScreenPrinter;

// A tilt measurement (kind 8): a table of twelve channels on the record's fourth data page; the
// unit code comes from its first data page.
inline constexpr int kTiltRowCount = 12;
inline constexpr int kTiltTablePage = 4;

struct TiltRow {
    QString channelName;
    bool digital = false;
    int level = 0;          // tenths of a dB µV, held to 20.0 .. 120.0 dB µV
    bool levelHeld = false; // the stored level lay outside that range: its true value is unknown
};
using TiltTable = std::array<TiltRow, kTiltRowCount>;

int decodeTiltUnitCode(const PageBuffer& firstDataPage);
TiltTable decodeTiltTable(const PageBuffer& tablePage);

void printTiltHeader(ScreenPrinter& printer);
// With a unit code that has no unit the rows are not ended: they run on along one line.
void printTiltRows(ScreenPrinter& printer, int unitCode, const TiltTable& table);

} // namespace cablemeter
