#pragma once

#include "link/page.h"
#include "screens/renderers.h"
#include "screens/screen_printer.h"

namespace cablemeter {

// The font size of a screen unless it says otherwise, in points.
inline constexpr double kScreenFontPoints = 26.0;

// Reads the record's k-th data page (k = 1 is the first) into the page buffer.
bool readDataPage(ScreenContext& context, int slot, int k);
// Reads the record's first data page and, when it arrived, sets the status "Page OK ".
bool readFirstDataPage(ScreenContext& context, int slot);
// Starts a screen on an empty picture: cleared to the background, font size, bold.
void resetScreen(Picture& picture, double fontPoints = kScreenFontPoints);

// The frame of the screens that show one page as text: read the first data page, set the
// status, decode, reset the screen and print the decoded record.
template <typename Record>
bool drawOnePageScreen(ScreenContext& context, int slot, Record (*decode)(const PageBuffer&),
                       void (*print)(ScreenPrinter&, const Record&),
                       double fontPoints = kScreenFontPoints)
{
    if (!readFirstDataPage(context, slot))
        return false;
    const Record record = decode(context.reader.pageBuffer());
    resetScreen(context.picture, fontPoints);
    ScreenPrinter printer(context.picture);
    print(printer, record);
    return true;
}

} // namespace cablemeter
