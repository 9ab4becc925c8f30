#pragma once

#include "link/page.h"

namespace cablemeter {

// "MeterDat.dat": block n (offset 256 * n) is slot n's header page as read (page byte N at offset
// 256 * n + N - 1), and one 0 byte follows the last block.
inline constexpr char kCatalogueFileName[] = "MeterDat.dat";
inline constexpr int kCatalogueBlockSize = kPageSize;
inline constexpr int kCatalogueBlocksSize = kSlotCount * kCatalogueBlockSize;
inline constexpr int kCatalogueFileSize = kCatalogueBlocksSize + 1;

// Where the catalogue entry's fields lie inside a block (page byte N is at offset N - 1).
inline constexpr int kKindOffset = 1;
inline constexpr int kNameOffset = 2;
inline constexpr int kNameLength = 6;
inline constexpr int kStampOffset = 20;
inline constexpr int kStampLength = 6;

// Kind codes above this one mark a slot that holds no record.
inline constexpr int kLastListedKind = 48;

} // namespace cablemeter
