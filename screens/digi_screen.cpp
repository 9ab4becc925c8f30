#include "screens/digi_screen.h"

#include "screens/screen_frame.h"

namespace cablemeter {

DigiRecord decodeDigi(const PageBuffer& firstDataPage)
{
    return decodeCommonFields(firstDataPage);
}

void printDigi(ScreenPrinter& printer, const DigiRecord& record)
{
    // No empty line on top, and always the digital label.
    printer.channelLine(kDigitalLabel, record.channelName);
    printer.frequencyLine(record.frequency);
    printer.levelLine(record.unitCode, record.level);
}

bool DrawDigi(ScreenContext& context, int m)
{
    return drawOnePageScreen(context, m, decodeDigi, printDigi);
}

} // namespace cablemeter
