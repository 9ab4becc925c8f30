#include "screens/windows1252.h"

#include <array>

namespace cablemeter {

namespace {

constexpr std::uint8_t kFirstSpecialCode = 0x80;
constexpr std::uint8_t kLastSpecialCode = 0x9F;

// 0x80 to 0x9F: the only range where Windows-1252 differs from Latin-1.
constexpr std::array<char16_t, kLastSpecialCode - kFirstSpecialCode + 1> kSpecialCharacters = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

} // namespace

QChar windows1252Char(std::uint8_t byte)
{
    if (byte >= kFirstSpecialCode && byte <= kLastSpecialCode)
        return QChar(kSpecialCharacters[byte - kFirstSpecialCode]);
    return QChar(char16_t(byte));
}

} // namespace cablemeter
