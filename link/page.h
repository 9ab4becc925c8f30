#pragma once

#include <array>
#include <cstdint>

namespace cablemeter {

// The meter's flash is read in pages of 256 bytes.
inline constexpr int kPageSize = 256;

// Record slots: 32 of them, 16 pages each, from page 512 on; the first page of a slot is its
// header (the catalogue entry), the pages after it hold the measurement.
inline constexpr int kSlotCount = 32;
inline constexpr int kPagesPerSlot = 16;
inline constexpr int kFirstSlotPage = 512;

constexpr int headerPage(int slot)
{
    return kFirstSlotPage + kPagesPerSlot * slot;
}
// The k-th data page of a slot (k = 1 is the record's first data page).
constexpr int dataPage(int slot, int k)
{
    return headerPage(slot) + k;
}

// The page buffer: page byte N (1..256) is element N. Element 0 is never written.
using PageBuffer = std::array<std::uint8_t, kPageSize + 1>;

} // namespace cablemeter
