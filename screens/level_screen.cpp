#include "screens/level_screen.h"

#include "screens/screen_frame.h"

namespace cablemeter {

LevelRecord decodeLevel(const PageBuffer& firstDataPage)
{
    return decodeCommonFields(firstDataPage);
}

void printLevel(ScreenPrinter& printer, const LevelRecord& record)
{
    printer.emptyLine();
    if (const std::optional<QString> label = channelLabel(record.channelTypeCode))
        printer.channelLine(*label, record.channelName);
    printer.frequencyLine(record.frequency);
    printer.levelLine(record.unitCode, record.level);
}

bool DrawLevel(ScreenContext& context, int m)
{
    return drawOnePageScreen(context, m, decodeLevel, printLevel);
}

} // namespace cablemeter
