#include "screens/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace cablemeter {

namespace {

constexpr int kSignificantDigits = 15;

// The decimals that leave 15 significant digits for this magnitude.
int decimalsFor(double magnitude)
{
    if (magnitude == 0)
        return kSignificantDigits - 1;
    const int integerDigits = int(std::floor(std::log10(magnitude))) + 1;
    return std::max(0, kSignificantDigits - integerDigits);
}

} // namespace

QString numberText(double value)
{
    if (value == 0)
        value = 0; // no "-0" for a negative zero
    const double magnitude = std::fabs(value);

    // std::to_chars never consults the locale, unlike printf and QString::number's callers.
    std::array<char, 400> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude,
                                            std::chars_format::fixed, decimalsFor(magnitude));
    QString text =
        QString::fromLatin1(digits.data(), error == std::errc() ? end - digits.data() : 0);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    const QChar sign = value < 0 ? QLatin1Char('-') : QLatin1Char(' ');
    return sign + text + QLatin1Char(' ');
}

} // namespace cablemeter
