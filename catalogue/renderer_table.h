#pragma once

#include <map>

namespace cablemeter {

struct ScreenContext;

// A screen renderer: draws the record of one slot; false when a page read failed.
using Renderer = bool (*)(ScreenContext& context, int slot);

// Which renderer draws which record kind. Kinds without an entry have no screen.
using RendererTable = std::map<int, Renderer>;

// Kinds 3 to 11 and their screens.
RendererTable standardRenderers();

} // namespace cablemeter
