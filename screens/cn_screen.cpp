#include "screens/cn_screen.h"

#include "screens/screen_frame.h"

#include <cstdint>

namespace cablemeter {

namespace {
// The meter keeps C/N right after the level, in page bytes 37 (high) and 38 (low), as a signed
// 16-bit number of tenths of a dB: the place the V/A record uses for its ratio, and the first
// bytes free after the common fields.
constexpr int kCarrierToNoiseByte = 37;
} // namespace

CNRecord decodeCN(const PageBuffer& firstDataPage)
{
    const auto raw = std::uint16_t(bigEndian16(firstDataPage, kCarrierToNoiseByte));
    return {decodeCommonFields(firstDataPage), std::int16_t(raw)};
}

void printCN(ScreenPrinter& printer, const CNRecord& record)
{
    const CommonFields& common = record.common;
    printer.emptyLine();
    if (const std::optional<QString> label = channelLabel(common.channelTypeCode))
        printer.channelLine(*label, common.channelName);
    printer.frequencyLine(common.frequency);
    printer.levelLine(common.unitCode, common.level);
    printer.ratioLine(QStringLiteral("  C/N:"), record.carrierToNoise);
}

bool DrawCN(ScreenContext& context, int m)
{
    return drawOnePageScreen(context, m, decodeCN, printCN);
}

} // namespace cablemeter
