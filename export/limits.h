#pragma once

#include "catalogue/record_kinds.h"

#include <QList>
#include <QString>

#include <optional>

namespace cablemeter {

// What a limit bounds.
enum class LimitedValue {
    Level,
    Tilt,
    CarrierToNoise,
    VideoToAudio,
    AcVoltage,
    DcVoltage,
    Battery
};
enum class LimitBound { Minimum, Maximum };

// One limit of a limits file. Its value is in tenths: levels of a dB µV (converted from the unit
// written with the meter's own conversion), ratios and tilt of a dB, voltages of a volt.
struct Limit {
    LimitedValue value = LimitedValue::Level;
    LimitBound bound = LimitBound::Minimum;
    int tenths = 0;
    QString key;              // "level min"
    QString written;          // the value as written, e.g. "45 dBmV"
    int writtenUnitCode = -1; // a level's unit as written: the screens' unit code; -1 otherwise
    int line = 0;
};

// The limits of one [section]: one record kind and, for kinds that have one, one channel type.
struct LimitSection {
    ValuesShape shape = ValuesShape::Level; // the kind, by its screen
    std::optional<bool> digital;            // none: every channel type
    QString name;                           // as the file names it, e.g. "[level analogue]"
    int line = 0;
    QList<Limit> limits;

    // Whether the section's limits apply to a value of this channel type.
    bool covers(std::optional<bool> channelDigital) const
    {
        return !digital || digital == channelDigital;
    }
};

// A technician's limits file, read and checked.
struct Limits {
    QString file;
    QList<LimitSection> sections;
};

// Reads the plain-text limits format: "[kind]" or "[kind channel-type]" sections holding
// "key = number unit" lines; "#" starts a comment. Nothing on the way: std::nullopt with `error`
// naming the line and what is wrong with it ("line 4: ..."). An unknown key is a mistake.
std::optional<Limits> parseLimits(const QString& text, QString& error);

enum class LimitsLoading { Loaded, Unreadable, Mistaken };

// Reads and parses the limits file at `path` (a regular file of UTF-8 text). `error` names the
// file, and the line for a mistake.
LimitsLoading loadLimits(const QString& path, Limits& limits, QString& error);

} // namespace cablemeter
