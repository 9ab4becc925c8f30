#pragma once

#include <QByteArray>

#include <chrono>
#include <optional>

namespace cablemeter {

// The rules by which the link takes or refuses what arrived for one page request. It has no
// port, event loop or clock: the link hands over what it collected and acts on the answer.
//
// The meter answers a page request with one burst of at least 255 bytes whose bytes 1 to 254 are
// the page's. How long this meter's bursts are is learned from the first reply after the port
// opens. Byte 0 and the bytes after byte 254 mean nothing to us and are never compared. An
// adapter that echoes the request puts the request's own bytes ahead of the reply. When a reply
// came does not decide whether it is taken: only what it holds and how many bytes came.
class ReplyJudge {
public:
    using Milliseconds = std::chrono::milliseconds;

    // The meter must begin its reply within this long after the request...
    static constexpr Milliseconds kAnswerLimit{2000};
    // ...and, once begun, finish it within this long after its first byte, beyond its line time.
    static constexpr Milliseconds kFinishGrace{1000};
    // A pause this long inside a reply splits it over two receive events: it came in pieces.
    static constexpr Milliseconds kPiecesGap{100};
    // A reply of the learned length is over once the line has been quiet for the longest gap
    // inside it plus this margin; the next request may go out then.
    static constexpr Milliseconds kQuietMargin{2};
    // Any other burst (the first reply, one too long) is over only after this quiet line: longer
    // than an adapter's packet gap, so a reply's own tail is never cut off.
    static constexpr Milliseconds kSettledQuiet{30};
    // While a reply is short of the learned length its rest is due any moment: the link looks
    // this often (a receive event comes only once a whole reply's worth has arrived).
    static constexpr Milliseconds kTailPoll{1};
    // The shortest reply: byte 0 and page bytes 1 to 254.
    static constexpr int kShortestReply = 255;
    // Page bytes a reply carries: 1 to 254.
    static constexpr int kCarriedPageBytes = kShortestReply - 1;

    // Reads of one page before it fails: in all; of replies that keep departing from the learned
    // length; of replies that began and did not finish; with line errors, in a row; of silence,
    // once the meter has answered in this operation (silence on its first request fails at once).
    static constexpr int kMostReads = 6;
    static constexpr int kMostDepartingReads = 4;
    static constexpr int kMostUnfinishedReplies = 3;
    static constexpr int kMostReadsWithLineErrors = 3;
    static constexpr int kMostSilentReads = 2;

    // What arrived for one request, as the link collected it.
    struct Burst {
        QByteArray request;               // the request as sent
        QByteArray bytes;                 // everything that arrived since, in order
        Milliseconds sinceRequest{0};     // how long ago the request went out
        Milliseconds sinceFirstByte{-1};  // how long ago the first byte came; -1: none yet
        Milliseconds quiet{0};            // how long ago the last byte came
        Milliseconds longestGap{0};       // between two arrivals inside the burst
        bool lineErrors = false;          // the driver counted line errors meanwhile
        qsizetype bytesBeforeRequest = 0; // came after the last reply, before this request
    };

    // Whether a burst is over, and if not, when to look again (bytes arriving also wake the link).
    enum class End { NotYet, Quiet, NoAnswer, Unfinished, NeverQuiet };
    struct Watch {
        End end = End::NotYet;
        Milliseconds lookAgainIn{0};
    };

    enum class Verdict { Take, ReadAgain, Fail };
    enum class Finding {
        Fits,        // a reply of the learned length
        FirstReply,  // the first reply since the port opened: its length is learned
        Echoed,      // the request's echo, then a reply of the learned length
        NewLength,   // two reads in a row agree on another length: it is learned anew
        NoAnswer,    // nothing arrived within kAnswerLimit
        Stopped,     // a reply began and stopped short
        InPieces,    // a reply came with a long pause inside it
        WrongLength, // a whole burst, but not as long as this meter's replies
        LineErrors,  // the driver counted line errors during the reply
        NeverQuiet,  // bytes kept coming
    };
    struct Judgement {
        Verdict verdict = Verdict::ReadAgain;
        Finding finding = Finding::Fits;
        // Where reply byte 0 is in the burst's bytes (after an echo).
        qsizetype replyStart = 0;
        // Bytes came that may belong to the page handed out before: read it again and compare.
        bool checkServedPage = false;
    };

    // The port was opened: nothing is known about this meter's replies.
    void forgetMeter();
    // An operation (a Read, a screen, a dump) begins: the meter has not answered in it yet.
    void beginOperation();
    // The reads of another page begin.
    void beginPage();

    Watch watch(const Burst& burst) const;
    Judgement judge(const Burst& burst);

    // The length of this meter's replies; 0 while none has been taken since the port opened.
    int learnedLength() const { return m_learnedLength; }
    // Reads of the current page judged so far, and how many of them departed, did not finish or
    // had line errors.
    int reads() const { return m_reads; }

private:
    qsizetype replyStart(const Burst& burst) const;
    bool fitsLearnedLength(const Burst& burst) const;
    Milliseconds finishLimit() const;
    Judgement readAgainOrFail(Finding finding, bool failNow, bool checkServedPage) const;

    int m_learnedLength = 0;
    bool m_answeredInOperation = false;

    // The reads of the current page.
    int m_reads = 0;
    int m_departingReads = 0;
    int m_unfinishedReplies = 0;
    int m_silentReads = 0;
    int m_readsWithLineErrorsInARow = 0;
    // The last read of this page when it departed from the learned length in one whole burst.
    QByteArray m_lastDepartingReply;
};

} // namespace cablemeter
