#include "catalogue/record_kinds.h"

#include "screens/renderers.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace cablemeter {

namespace {

constexpr std::size_t kLabelLength = 5;

// Every kind code with a label of its own, in code order. Kind 2 is listed as "Level" but only kind
// 3 has the level screen; kind 8 is the tilt record although the list calls it "Title".
constexpr std::array<RecordKind, 11> kRecordKinds = {{
    {2, "Level", std::nullopt},
    {3, "Level", KindScreen{&DrawLevel, "level", ValuesShape::Level}},
    {4, "Freq ", KindScreen{&DrawFreq, "freq", ValuesShape::Freq}},
    {5, "Digi ", KindScreen{&DrawDigi, "digi", ValuesShape::Digi}},
    {6, "Spect", KindScreen{&DrawSpect, "spect", ValuesShape::Spect}},
    {7, "Scan ", KindScreen{&DrawScan, "scan", ValuesShape::Scan}},
    {8, "Title", KindScreen{&DrawTilt, "tilt", ValuesShape::Tilt}},
    {9, "Volt ", KindScreen{&DrawVolt, "volt", ValuesShape::Volt}},
    {10, "C/N  ", KindScreen{&DrawCN, "cn", ValuesShape::CN}},
    {11, "V/A  ", KindScreen{&DrawVA, "va", ValuesShape::VA}},
    {12, "Auto ", std::nullopt},
}};

static_assert(std::all_of(kRecordKinds.begin(), kRecordKinds.end(),
                          [](const RecordKind& kind) {
                              return std::string_view(kind.label).size() == kLabelLength;
                          }),
              "the record list's columns need every label five characters long");

} // namespace

const RecordKind* findRecordKind(int code)
{
    const auto found = std::find_if(kRecordKinds.begin(), kRecordKinds.end(),
                                    [code](const RecordKind& kind) { return kind.code == code; });
    return found == kRecordKinds.end() ? nullptr : &*found;
}

const KindScreen* kindScreen(int code)
{
    const RecordKind* kind = findRecordKind(code);
    return kind && kind->screen ? &*kind->screen : nullptr;
}

RendererTable standardRenderers()
{
    RendererTable renderers;
    for (const RecordKind& kind : kRecordKinds) {
        if (kind.screen)
            renderers.emplace(kind.code, kind.screen->renderer);
    }
    return renderers;
}

} // namespace cablemeter
