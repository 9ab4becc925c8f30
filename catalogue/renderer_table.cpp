#include "catalogue/renderer_table.h"

#include "catalogue/record_kind.h"
#include "screens/renderers.h"

namespace cablemeter {

RendererTable standardRenderers()
{
    // Kind 8 is the tilt record although the list calls it "Title"; kinds 2 and 12 have no screen.
    return {
        {kLevelKind, &DrawLevel}, {kFreqKind, &DrawFreq}, {kDigiKind, &DrawDigi},
        {kSpectKind, &DrawSpect}, {kScanKind, &DrawScan}, {kTiltKind, &DrawTilt},
        {kVoltKind, &DrawVolt},   {kCNKind, &DrawCN},     {kVAKind, &DrawVA},
    };
}

} // namespace cablemeter
