#pragma once

#include <QString>

namespace cablemeter {

// A number as the screens print it: rounded to 15 significant digits, plain decimals without
// trailing zeros, "." as the decimal separator whatever the locale, a leading space for a value of
// zero or more or "-" for a negative one, and one space after. So 80.5 gives " 80.5 ", -35 gives
// "-35 " and 0.5 gives " 0.5 ".
QString numberText(double value);

} // namespace cablemeter
