#include "screens/tilt_screen.h"

#include "screens/record_fields.h"
#include "screens/screen_frame.h"

#include <algorithm>

namespace cablemeter {

namespace {

constexpr double kTiltFontPoints = 13.0;

// Row r of the table page starts at page byte 16r + 1.
constexpr int kRowStride = 16;
constexpr int kNameOffset = 1;
constexpr int kKindOffset = 10;
constexpr int kLevelOffset = 13;

constexpr int kLowestLevel = 200;
constexpr int kHighestLevel = 1200;

// Row numbers of one digit get one more space, so that every name starts in the same column.
constexpr int kLastOneDigitRow = 9;

} // namespace

int decodeTiltUnitCode(const PageBuffer& firstDataPage)
{
    return decodeCommonFields(firstDataPage).unitCode;
}

TiltTable decodeTiltTable(const PageBuffer& tablePage)
{
    TiltTable table;
    for (int r = 0; r < kTiltRowCount; ++r) {
        const int rowByte = kRowStride * r + 1;
        TiltRow& row = table[r];
        row.channelName = channelName(tablePage, rowByte + kNameOffset);
        row.digital = pageByte(tablePage, rowByte + kKindOffset) != 0;
        const int storedLevel = bigEndian16(tablePage, rowByte + kLevelOffset);
        row.level = std::clamp(storedLevel, kLowestLevel, kHighestLevel);
        row.levelHeld = row.level != storedLevel;
    }
    return table;
}

void printTiltHeader(ScreenPrinter& printer)
{
    printer.line({QStringLiteral(" NO.  Chan  Type     Level")});
}

void printTiltRows(ScreenPrinter& printer, int unitCode, const TiltTable& table)
{
    const std::optional<LevelUnit> unit = levelUnit(unitCode);
    for (int r = 0; r < kTiltRowCount; ++r) {
        const TiltRow& row = table[r];
        const int rowNumber = r + 1;
        printer.number(rowNumber);
        if (rowNumber <= kLastOneDigitRow)
            printer.text(QStringLiteral(" "));
        printer.text(QStringLiteral("   "));
        printer.text(row.channelName);
        printer.text(QStringLiteral("  "));
        printer.text(row.digital ? QStringLiteral("DIGI") : QStringLiteral("ANAL"));
        if (!unit)
            continue;
        printer.text(QStringLiteral("  "));
        printer.number(convertedLevel(row.level, *unit) / kTenthsPerUnit);
        printer.nextZone();
        printer.text(unit->name);
        printer.endLine();
    }
}

bool DrawTilt(ScreenContext& context, int m)
{
    if (!readFirstDataPage(context, m))
        return false;
    const int unitCode = decodeTiltUnitCode(context.reader.pageBuffer());
    resetScreen(context.picture, kTiltFontPoints);
    ScreenPrinter printer(context.picture);
    printTiltHeader(printer);
    if (!readDataPage(context, m, kTiltTablePage))
        return false;
    printTiltRows(printer, unitCode, decodeTiltTable(context.reader.pageBuffer()));
    return true;
}

} // namespace cablemeter
