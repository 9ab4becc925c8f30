#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace cablemeter::sim {

// How a sound meter and its adapter may differ from the simulator's defaults without doing
// anything wrong: when the meter answers, what its reply's byte 0 holds, whether the adapter
// echoes what the program sends, and whether the meter answers a beep.
struct MeterTraits {
    enum class FirstByte {
        Constant, // 0xFA on every reply
        Counting, // one more on every reply
        Random,   // anything
    };

    // From a request's last byte to the reply's first: a time from this range, new for every
    // reply.
    std::chrono::milliseconds fastestAnswer{0};
    std::chrono::milliseconds slowestAnswer{0};
    FirstByte firstByte = FirstByte::Constant;
    bool echo = false;        // every request comes back ahead of its answer
    bool answersBeep = false; // the meter acknowledges a beep with one byte

    bool operator==(const MeterTraits&) const = default;

    // "MS" or "MIN-MAX" (milliseconds): the answer time's range.
    static std::optional<std::pair<std::chrono::milliseconds, std::chrono::milliseconds>>
    parseAnswerTime(const QString& text);
    // "constant", "counting", "random".
    static std::optional<FirstByte> parseFirstByte(const QString& text);
};

} // namespace cablemeter::sim
