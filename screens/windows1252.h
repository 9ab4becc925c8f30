#pragma once

#include <QChar>

#include <cstdint>

namespace cablemeter {

// The character that a byte stands for in the Windows-1252 code page, the one the meter's names
// were typed for. Codes the code page leaves undefined map to the Latin-1 character of that code.
QChar windows1252Char(std::uint8_t byte);

} // namespace cablemeter
