#pragma once

#include <map>
#include <optional>

namespace cablemeter {

struct ScreenContext;

// A screen renderer: draws the record of one slot; false when a page read failed.
using Renderer = bool (*)(ScreenContext& context, int slot);

// How the export and the report decode and lay out a record's values: one shape per screen.
enum class ValuesShape { Level, Freq, Digi, Spect, Scan, Tilt, Volt, CN, VA };

// The screen of a record kind and what the export makes of it.
struct KindScreen {
    Renderer renderer;
    const char* fileWord; // the screen in picture file names: "level", "spect", ...
    ValuesShape shape;
};

// A kind code (header page byte 2) that the record list names.
struct RecordKind {
    int code;
    const char* label; // as the list shows it: five characters, trailing blanks included
    std::optional<KindScreen> screen;
};

// The row of a kind code; nullptr for a code without a label of its own (a listed one shows a
// blank label and has no screen).
const RecordKind* findRecordKind(int code);

// The screen of a kind code; nullptr for a kind without one.
const KindScreen* kindScreen(int code);

// Which renderer draws which kind code. Kinds without an entry have no screen.
using RendererTable = std::map<int, Renderer>;

// The renderers of the kinds that have a screen.
RendererTable standardRenderers();

} // namespace cablemeter
