#include "screens/screen_frame.h"

namespace cablemeter {

bool readDataPage(ScreenContext& context, int slot, int k)
{
    return context.reader.ReadFlash(dataPage(slot, k));
}

bool readFirstDataPage(ScreenContext& context, int slot)
{
    if (!readDataPage(context, slot, 1))
        return false;
    context.setStatus(QStringLiteral("Page OK "));
    return true;
}

void resetScreen(Picture& picture, double fontPoints)
{
    picture.clear();
    picture.setFontSize(fontPoints);
    picture.setBold(true);
}

} // namespace cablemeter
