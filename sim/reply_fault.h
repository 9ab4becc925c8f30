#pragma once

#include <QString>

#include <optional>

namespace cablemeter::sim {

// A misbehaviour of the simulated meter (or of the line), applied to page requests until it is
// changed: to every one, or only to the Nth page request after the fault was set.
struct ReplyFault {
    enum class Kind {
        None,        // the normal reply: byte 0 and the page's 256 bytes
        NoAnswer,    // silence
        ShortReply,  // only the first `bytes` bytes of the normal reply, then silence
        SplitReply,  // the first `bytes` bytes, a pause of `milliseconds`, then the rest
        LongReply,   // the normal reply padded with filler up to `bytes` bytes in all
        Garbage,     // `bytes` random-looking bytes instead of the reply
        Delay,       // the normal reply, `milliseconds` later than usual
        StrayAfter,  // the normal reply, then `bytes` random-looking bytes `milliseconds` later
        StrayBefore, // `bytes` random-looking bytes right before the normal reply
        Repeat,      // the normal reply, and the same reply again `milliseconds` later
        Noise,       // the normal reply, then random-looking bytes at line speed for `milliseconds`
        Corrupt,     // the normal reply with byte `bytes` (from 0) inverted: the length is right
        LoseByte,    // the normal reply without its byte `bytes` (from 0)
        Previous,    // the reply to the request before this one, in place of this one's
        WrongBaud,   // the reply sent at `bytes` baud: garbled bytes, counted as line errors
    };

    Kind kind = Kind::None;
    int bytes = 0;
    int milliseconds = 0;
    // 0: every page request; N: only the Nth page request after the fault was set.
    int onlyRequest = 0;

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
    static ReplyFault strayAfter(int bytes, int milliseconds)
    {
        return {Kind::StrayAfter, bytes, milliseconds};
    }
    static ReplyFault strayBefore(int bytes = 1) { return {Kind::StrayBefore, bytes, 0}; }
    static ReplyFault repeat(int milliseconds) { return {Kind::Repeat, 0, milliseconds}; }
    static ReplyFault noise(int milliseconds) { return {Kind::Noise, 0, milliseconds}; }
    static ReplyFault corrupt(int byteIndex) { return {Kind::Corrupt, byteIndex, 0}; }
    static ReplyFault loseByte(int byteIndex) { return {Kind::LoseByte, byteIndex, 0}; }
    static ReplyFault previous() { return {Kind::Previous, 0, 0}; }
    static ReplyFault wrongBaud(int baud) { return {Kind::WrongBaud, baud, 0}; }

    // The same fault, struck only on the Nth page request after it is set (N >= 1).
    ReplyFault onlyOnRequest(int n) const
    {
        ReplyFault fault = *this;
        fault.onlyRequest = n;
        return fault;
    }
    // Whether the fault strikes the page request numbered `request` (1 = the first after it was
    // set).
    bool strikes(int request) const { return onlyRequest == 0 || onlyRequest == request; }

    bool operator==(const ReplyFault&) const = default;

    // Reads the command-line form (see forms()), optionally followed by "@N" to strike only the
    // Nth page request. Numbers must be positive; nullopt for anything else.
    static std::optional<ReplyFault> parse(const QString& text);
    // The command-line form of this fault (parse(f.toString()) == f).
    QString toString() const;
    // One line per form, for --help.
    static QString forms();
};

} // namespace cablemeter::sim
