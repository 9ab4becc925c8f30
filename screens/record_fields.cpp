#include "screens/record_fields.h"

#include "screens/windows1252.h"

#include <algorithm>

namespace cablemeter {

namespace {

constexpr int kBitsPerByte = 8;
constexpr int kNameLength = 3;

constexpr int kUnitCodeByte = 1;
constexpr int kChannelTypeByte = 4;
constexpr int kChannelNameByte = 18;
constexpr int kFrequencyByte = 21;
constexpr int kLevelByte = 33;

// The level that reads 0 in dB mV and in dBm: 60.0 and 107.0 dB µV.
constexpr int kZeroDbmV = 600;
constexpr int kZeroDbm = 1070;

} // namespace

int pageByte(const PageBuffer& page, int n)
{
    return page.at(n);
}

int bigEndian16(const PageBuffer& page, int firstByte)
{
    return pageByte(page, firstByte) << kBitsPerByte | pageByte(page, firstByte + 1);
}

int bigEndian24(const PageBuffer& page, int firstByte)
{
    return pageByte(page, firstByte) << 2 * kBitsPerByte | bigEndian16(page, firstByte + 1);
}

QString channelName(const PageBuffer& page, int firstByte)
{
    QString name;
    for (int i = 0; i < kNameLength; ++i)
        name += windows1252Char(page.at(firstByte + i));
    return name;
}

int flooredLevel(int level)
{
    return std::max(level, kLevelFloor);
}

std::optional<LevelUnit> levelUnit(int unitCode)
{
    switch (unitCode) {
    case 0:
        return LevelUnit{0, QStringLiteral("dBuv")};
    case 1:
        return LevelUnit{kZeroDbmV, QStringLiteral("dBmv")};
    case 2:
        return LevelUnit{kZeroDbm, QStringLiteral("dBm")};
    default:
        return std::nullopt;
    }
}

int convertedLevel(int level, const LevelUnit& unit)
{
    return level - unit.zeroLevel;
}

std::optional<QString> channelLabel(int channelTypeCode)
{
    switch (channelTypeCode) {
    case 0:
        return QStringLiteral("  CHA ");
    case 1:
        return kAnalogueVideoLabel;
    case 2:
        return kDigitalLabel;
    default:
        return std::nullopt;
    }
}

bool raisedToFloor(int level)
{
    return level < kLevelFloor;
}

CommonFields decodeCommonFields(const PageBuffer& firstDataPage)
{
    CommonFields fields;
    fields.unitCode = pageByte(firstDataPage, kUnitCodeByte);
    fields.channelTypeCode = pageByte(firstDataPage, kChannelTypeByte);
    fields.channelName = channelName(firstDataPage, kChannelNameByte);
    fields.frequency = bigEndian24(firstDataPage, kFrequencyByte);
    const int storedLevel = bigEndian16(firstDataPage, kLevelByte);
    fields.level = flooredLevel(storedLevel);
    fields.levelRaised = raisedToFloor(storedLevel);
    return fields;
}

} // namespace cablemeter
