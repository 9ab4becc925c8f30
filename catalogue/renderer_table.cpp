#include "catalogue/renderer_table.h"

#include "screens/renderers.h"

namespace cablemeter {

RendererTable standardRenderers()
{
    // Kind 8 is the tilt record although the list calls it "Title"; kinds 2 and 12 have no screen.
    return {
        {3, &DrawLevel}, {4, &DrawFreq}, {5, &DrawDigi}, {6, &DrawSpect}, {7, &DrawScan},
        {8, &DrawTilt},  {9, &DrawVolt}, {10, &DrawCN},  {11, &DrawVA},
    };
}

} // namespace cablemeter
