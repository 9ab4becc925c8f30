#pragma once

#include "link/page_reader.h"
#include "platform/picture.h"

#include <functional>

namespace cablemeter {

// What a renderer works with: the meter's pages, the screen picture and the status line.
struct ScreenContext {
    PageReader& reader;
    Picture& picture;
    std::function<void(const QString&)> setStatus;
};

// One renderer per record kind. Each reads the record of slot m from the meter and draws it.
// Returns false when a page read failed: the drawing stops there, reader.lastError() says why.
bool DrawLevel(ScreenContext& context, int m);
bool DrawFreq(ScreenContext& context, int m);
bool DrawDigi(ScreenContext& context, int m);
bool DrawSpect(ScreenContext& context, int m);
bool DrawScan(ScreenContext& context, int m);
bool DrawTilt(ScreenContext& context, int m);
bool DrawVolt(ScreenContext& context, int m);
bool DrawCN(ScreenContext& context, int m);
bool DrawVA(ScreenContext& context, int m);

} // namespace cablemeter
