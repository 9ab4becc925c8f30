#pragma once

#include "screens/record_fields.h"

#include <QList>
#include <QString>

#include <optional>

namespace cablemeter {

// How a level relates to the one the meter measured.
enum class LevelShown {
    AsMeasured,
    RaisedToFloor, // below 25.0 dB µV: the screens show 25.0
    HeldToRange,   // outside a table's or graph's range: shown at its edge
    WithoutUnit,   // the record's unit code names no unit: the screens show no level
};

// One level of a record, in tenths of a dB µV, as its screen shows it.
struct MeasuredLevel {
    QString where; // what the report calls it: "level", "video carrier", "row 3 C30", ...
    int level = 0;
    LevelShown shown = LevelShown::AsMeasured;
    std::optional<bool> digital; // the channel's type, where it has one

    bool trueValueKnown() const { return shown == LevelShown::AsMeasured; }
};

// What limits are checked against: a record's values in whole units of tenths.
struct RecordMeasurements {
    std::optional<LevelUnit> unit; // the unit the record shows its levels in
    std::optional<bool> digital;   // the record's channel type, where it has one
    QList<MeasuredLevel> levels;
    std::optional<int> carrierToNoise; // tenths of a dB
    std::optional<int> videoToAudio;   // tenths of a dB
    std::optional<int> ac;             // tenths of a volt
    std::optional<int> dc;
    std::optional<int> battery;
};

// The channel type of a channel type code: 0 and 1 analogue, 2 digital, others none.
std::optional<bool> digitalChannel(int channelTypeCode);

} // namespace cablemeter
