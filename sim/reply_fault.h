#pragma once

#include <QString>

#include <optional>

namespace cablemeter::sim {

// A misbehaviour of the simulated meter, applied to every page request until it is changed.
// Beeps are never answered, so faults do not touch them.
struct ReplyFault {
    enum class Kind {
        None,       // the normal reply: echo byte and the page's 256 bytes
        NoAnswer,   // silence
        ShortReply, // only the first `bytes` bytes of the normal reply
        SplitReply, // the first `bytes` bytes, a gap of `milliseconds`, then the rest
        LongReply,  // the normal reply padded with filler up to `bytes` bytes in all
        Garbage,    // `bytes` random-looking bytes instead of the reply
        Delay,      // the normal reply, `milliseconds` later than usual
    };

    Kind kind = Kind::None;
    int bytes = 0;
    int milliseconds = 0;

    static ReplyFault none() { return {}; }
    static ReplyFault noAnswer() { return {Kind::NoAnswer, 0, 0}; }
    static ReplyFault shortReply(int bytes) { return {Kind::ShortReply, bytes, 0}; }
    static ReplyFault splitReply(int firstBytes, int gapMilliseconds)
    {
        return {Kind::SplitReply, firstBytes, gapMilliseconds};
    }
    static ReplyFault longReply(int totalBytes = 300) { return {Kind::LongReply, totalBytes, 0}; }
    static ReplyFault garbage(int bytes) { return {Kind::Garbage, bytes, 0}; }
    static ReplyFault delay(int milliseconds) { return {Kind::Delay, 0, milliseconds}; }

    bool operator==(const ReplyFault&) const = default;

    // Reads the command-line form: "none", "silent", "short:N", "split:N:GAP_MS", "long:N",
    // "garbage:N", "delay:MS". Counts must be positive; nullopt for anything else.
    static std::optional<ReplyFault> parse(const QString& text);
    // The command-line form of this fault (parse(f.toString()) == f).
    QString toString() const;
};

} // namespace cablemeter::sim
