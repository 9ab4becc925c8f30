#include "screens/graph_values.h"

#include "screens/record_fields.h"

namespace cablemeter {

namespace {
constexpr int kHighestHighByte = 5;
constexpr int kBitsPerByte = 8;
constexpr int kTenthsPerDecibel = 10;
constexpr int kHalfDecibel = 5;
} // namespace

int graphPointValue(const PageBuffer& page, int point)
{
    const int high = pageByte(page, 2 * point + 1);
    const int low = pageByte(page, 2 * point + 2);
    return (high <= kHighestHighByte ? high : 0) << kBitsPerByte | low;
}

int roundedDecibels(int tenths)
{
    const int whole = tenths / kTenthsPerDecibel;
    const int rest = tenths % kTenthsPerDecibel;
    const bool up = rest > kHalfDecibel || (rest == kHalfDecibel && whole % 2 == 1);
    return up ? whole + 1 : whole;
}

} // namespace cablemeter
