#pragma once

#include "link/page.h"

#include <QString>

#include <optional>

namespace cablemeter {

// Reading values out of a page: page byte N is pageBuffer[N]; several bytes are big-endian.
int pageByte(const PageBuffer& page, int n);
int bigEndian16(const PageBuffer& page, int firstByte);
int bigEndian24(const PageBuffer& page, int firstByte);
// Three page bytes from firstByte on as three Windows-1252 characters, nothing trimmed.
QString channelName(const PageBuffer& page, int firstByte);

// Levels are kept in tenths of a dB µV; a single-value screen never shows less than 25.0 dB µV.
inline constexpr int kLevelFloor = 250;
int flooredLevel(int level);
// Whether a stored level is shown raised to the floor.
bool raisedToFloor(int level);

// The unit a level is shown in, chosen by the record's unit code.
struct LevelUnit {
    int zeroLevel = 0; // the level, in tenths of a dB µV, that is 0 in this unit
    QString name;      // "dBuv", "dBmv" or "dBm"
};
// 0: dB µV, 1: dB mV, 2: dBm; any other code shows no level.
std::optional<LevelUnit> levelUnit(int unitCode);
// The level in tenths of the unit.
int convertedLevel(int level, const LevelUnit& unit);

// The text in front of a channel name, chosen by the channel type code; no channel line for a
// code other than 0, 1 or 2.
std::optional<QString> channelLabel(int channelTypeCode);
inline const QString kAnalogueVideoLabel = QStringLiteral("  CHV ");
inline const QString kDigitalLabel = QStringLiteral("  CHD ");

// The fields that the level-like records keep at the same place of their first data page.
struct CommonFields {
    int unitCode = 0;
    int channelTypeCode = 0;
    QString channelName;
    int frequency = 0;        // units of 10 kHz
    int level = kLevelFloor;  // tenths of a dB µV, already raised to the floor
    bool levelRaised = false; // the stored level lay below the floor: its true value is unknown
};
CommonFields decodeCommonFields(const PageBuffer& firstDataPage);

} // namespace cablemeter
