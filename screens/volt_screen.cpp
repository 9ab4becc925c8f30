#include "screens/volt_screen.h"

#include "screens/record_fields.h"
#include "screens/screen_frame.h"

namespace cablemeter {

namespace {

constexpr int kAcByte = 17;
constexpr int kDcByte = 19;
constexpr int kBatteryByte = 21;

void voltageLine(ScreenPrinter& printer, const QString& label, int tenths)
{
    printer.text(label);
    printer.number(tenths / kTenthsPerUnit);
    printer.text(QStringLiteral("V"));
    printer.endLine();
}

} // namespace

VoltRecord decodeVolt(const PageBuffer& firstDataPage)
{
    return {bigEndian16(firstDataPage, kAcByte), bigEndian16(firstDataPage, kDcByte),
            bigEndian16(firstDataPage, kBatteryByte)};
}

void printVolt(ScreenPrinter& printer, const VoltRecord& record)
{
    printer.emptyLine();
    printer.line({QStringLiteral(" VOLT")});
    // Only the smaller reading is shown: DC when AC is larger, AC otherwise (also on a tie).
    if (record.ac > record.dc)
        voltageLine(printer, QStringLiteral(" DC   :"), record.dc);
    else
        voltageLine(printer, QStringLiteral(" AC    :"), record.ac);
    voltageLine(printer, QStringLiteral(" Batter:"), record.battery);
}

bool DrawVolt(ScreenContext& context, int m)
{
    return drawOnePageScreen(context, m, decodeVolt, printVolt);
}

} // namespace cablemeter
