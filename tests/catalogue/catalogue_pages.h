#pragma once

#include "link/page.h"

#include <QByteArray>

#include <array>
#include <cstdint>

namespace cablemeter::testing {

using Stamp = std::array<std::uint8_t, 6>;

// A slot header page as the meter keeps it: kind at page byte 2, name at 3 to 8, time stamp at
// 21 to 26; every other byte carries a pattern so misplaced copies show.
inline PageBuffer makeHeader(int kind, const QByteArray& name = QByteArrayLiteral("REC001"),
                             const Stamp& stamp = {1, 2, 3, 4, 5, 6})
{
    PageBuffer page{};
    for (int n = 1; n <= kPageSize; ++n)
        page[n] = std::uint8_t(n * 7 + 3);
    page[2] = std::uint8_t(kind);
    for (int i = 0; i < 6; ++i)
        page[3 + i] = std::uint8_t(name.at(i));
    for (int i = 0; i < 6; ++i)
        page[21 + i] = stamp[i];
    return page;
}

} // namespace cablemeter::testing
