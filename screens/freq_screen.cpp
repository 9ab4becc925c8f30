#include "screens/freq_screen.h"

#include "screens/record_fields.h"
#include "screens/screen_frame.h"

namespace cablemeter {

namespace {
// This record keeps its frequency three bytes after the common place.
constexpr int kFrequencyByte = 24;
} // namespace

FreqRecord decodeFreq(const PageBuffer& firstDataPage)
{
    const CommonFields common = decodeCommonFields(firstDataPage);
    return {common.unitCode, bigEndian24(firstDataPage, kFrequencyByte), common.level,
            common.levelRaised};
}

void printFreq(ScreenPrinter& printer, const FreqRecord& record)
{
    printer.emptyLine();
    printer.frequencyLine(record.frequency);
    printer.levelLine(record.unitCode, record.level);
}

bool DrawFreq(ScreenContext& context, int m)
{
    return drawOnePageScreen(context, m, decodeFreq, printFreq);
}

} // namespace cablemeter
