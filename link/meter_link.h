#pragma once

#include "link/page_reader.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>

class QEventLoop;
class QTimer;

namespace cablemeter {

class SerialPort;
class WindowControls;

// The link to the meter: the port's open and close sequences, the byte sender, the receive
// handler and the flash page read. All of it runs on the window's thread.
//
// A page is taken only when its reply looks like this meter's replies. The link learns what the
// meter sends afresh at every open: the first complete reply (taken once the line has been quiet
// for kLearningQuiet) sets the reply length and byte 0. A reply is complete when one receive event
// has brought a whole reply, everything since the request adds up to the learned length, and the
// line has then been quiet for the longest gap seen inside the reply plus kQuietMargin. Anything
// else (more or fewer bytes, another byte 0, bytes after a reply and before the next request)
// makes the link read the page again once the line is quiet, and check the page it handed out
// last by reading that again too; a page whose reads keep disagreeing fails the read. Two reads
// of a page in a row that agree byte for byte but not with the baseline teach it anew: with the
// same length, byte 0 is no longer checked (it changes from reply to reply); with another length,
// both are learned from them (the page handed out before is then checked under the new ones).
// A burst also departs when bytes came before the event that brought the reply, or when its timing
// shows it answers an earlier request (see kShortestJudgedAnswer). Limit: bytes that turn up after
// the last page of an operation are only noticed by the next read, which then checks that page.
class MeterLink : public QObject, public PageReader {
    Q_OBJECT
public:
    // How long a page read waits for the meter's reply to complete after sending its request.
    static constexpr std::chrono::milliseconds kReplyTimeout{2000};
    // The first reply after an open is taken once the line has been quiet this long (longer than
    // a USB adapter's packet gap), so a reply's own tail is learned as part of it; the link also
    // waits this long for a quiet line before reading a page again.
    static constexpr std::chrono::milliseconds kLearningQuiet{30};
    // A burst that starts in less than half the time this meter has ever taken to answer (when
    // that is at least this long: a real line's request alone takes 3 ms) answers an earlier
    // request, not ours: the meter is running one reply behind. Likewise a burst that is the
    // last reply over again, for another page, starting later than twice that time. A page read
    // again after a quiet line is not judged by its timing (and teaches the quickest answer).
    static constexpr std::chrono::microseconds kShortestJudgedAnswer{2000};
    // A reply of the learned length is taken once the line has been quiet for the longest gap seen
    // inside it plus this margin; the next request may go out right then.
    static constexpr std::chrono::milliseconds kQuietMargin{2};
    // How long the link waits for a line that keeps carrying bytes before giving up.
    static constexpr std::chrono::milliseconds kQuietLineDeadline{1500};
    // After a read timed out, a slow meter's late answer may still come: the next read lets it go
    // by for this long after the timeout rather than take it for its own page.
    static constexpr std::chrono::milliseconds kLateAnswerGrace{1000};
    // Reads of one page before the link gives up on replies that keep departing.
    static constexpr int kMostReadsOfAPage = 4;
    // The receive handler completes a reply at 255 bytes: byte 0 and page bytes 1 to 254.
    static constexpr int kPageReplyLength = 255;
    static constexpr int kReplyStoreSize = 1025;

    MeterLink(SerialPort& port, WindowControls& controls, QObject* parent = nullptr);
    ~MeterLink() override;

    // Open sequence (the Open button, and on demand before a page request). On failure the
    // reason is in lastError() and the indicator keeps the colour the sequence left it with.
    bool OpenCom();
    void Command1_Click(); // Open: OpenCom, reporting a failure to the user
    void Command2_Click(); // Close
    void Command4_Click(); // Beep

    // Sends one byte; false (nothing sent) when the value is not a byte or the port is closed.
    bool OUTCOM(int value);

    // Receive handler for the port's communication event.
    void MSComm1_OnComm(int eventCode);

    bool ReadFlash(int flashPage) override;
    const PageBuffer& pageBuffer() const override { return m_pageBuffer; }
    QString lastError() const override { return m_lastError; }

    // When set, every page is read twice and taken only when both reads agree on the page bytes;
    // when they differ a third read decides.
    void setVerifyPages(bool verify) { m_verifyPages = verify; }
    bool verifiesPages() const { return m_verifyPages; }

    // Ends a page read at once, whatever it waits for (the program is quitting); the read fails
    // quietly.
    void cancel();
    bool isReading() const { return m_reading; }

    // The receive handler's state, for tests.
    const std::array<std::uint8_t, kReplyStoreSize>& replyStore() const { return m_replyStore; }
    int receivePosition() const { return m_receivePosition; }
    int expectedReplyLength() const { return m_expectedReplyLength; }
    bool replyComplete() const { return m_replyComplete; }
    // What the link learned about this meter's replies: 0 / -1 while unknown or unchecked.
    int learnedReplyLength() const { return m_baseline.length; }
    int learnedFirstByte() const { return m_baseline.firstByte; }
    // Page requests sent since the port was opened (the checks' cost shows here).
    int pageRequestsSent() const { return m_pageRequestsSent; }

private:
    // Everything that arrived from a page request until the line went quiet.
    struct Burst {
        QByteArray bytes;
        bool complete = false;         // one receive event brought a whole reply
        qint64 firstByteDelay = -1;    // microseconds from the request to the first byte
        bool bytesBeforeReply = false; // bytes came before the event that brought the reply
        std::array<std::uint8_t, kReplyStoreSize> reply{}; // the reply store when it completed
    };
    enum class WaitEnd { Done, TimedOut, NeverQuiet, PortLost, Cancelled };

    // What this meter's replies look like, learned since the port was opened.
    struct ReplyBaseline {
        static constexpr int kUnchecked = -1;
        int length = 0;             // 0: nothing learned yet
        int firstByte = kUnchecked; // byte 0 while it stays the same
        qint64 quickestAnswer = -1; // microseconds from a request to its reply, at the least
    };

    // The page handed out last, kept to check it again when bytes turned up after its reply.
    struct ServedPage {
        int page = -1; // -1: none since the port was opened
        PageBuffer bytes{};
        bool doubtful = false;
    };

    // The steps of a page read.
    bool readAndCheck(int flashPage);
    bool readVerified(int flashPage);
    // Reads until a burst fits the baseline (or two agree where the baseline is not sure).
    // `departed` tells whether any read of the page departed from the baseline.
    bool readPageChecked(int flashPage, PageBuffer& page, bool& departed);
    // Reads the page handed out last again when it became doubtful; false when it differs.
    bool confirmServedPage();
    WaitEnd waitForQuietLine(std::chrono::milliseconds settle);
    bool sendPageRequest(int flashPage);
    // Services events until the burst answering a request is complete and the line quiet, the
    // time is up, the port is lost or the read is cancelled.
    WaitEnd collectBurst(Burst& burst);
    void checkBurstQuiet();
    // How a burst departs from what the meter sends: `what` is empty when it fits. Only a length
    // or byte 0 of its own may be taught by two agreeing reads; bytes before the reply, an answer
    // too soon and a late repeat never are.
    struct Departure {
        QString what;
        bool teachable = false;
    };
    // `afterQuietLine`: the request went out after the line had been quiet for kLearningQuiet, so
    // no answer to an earlier request can be on its way and the burst's timing is not judged.
    Departure departure(const Burst& burst, int flashPage, bool afterQuietLine) const;
    void learnFrom(const Burst& burst);
    void noteArrivedBytes(const QByteArray& bytes);
    // Sets lastError for a read that ended without a usable reply.
    void describeFailedWait(WaitEnd end, int flashPage, const Burst& burst);
    void describeMissingReply(int flashPage);
    void describeDisagreeingReads(int flashPage, const QStringList& departures, int reads);

    void onPortLost(const QString& reason);
    WaitEnd pause(std::chrono::milliseconds duration);
    WaitEnd runWaitLoop(QEventLoop& loop);
    QString currentPortName() const;
    QString pageName(int flashPage) const; // "page 560 (slot 3)"

    SerialPort& m_port;
    WindowControls& m_controls;
    int m_portNumber = 1; // the port of the last open sequence

    std::array<std::uint8_t, kReplyStoreSize> m_replyStore{};
    qint16 m_receivePosition = 0;
    qint16 m_expectedReplyLength = 0;
    bool m_replyComplete = false;

    PageBuffer m_pageBuffer{};
    QString m_lastError;

    ReplyBaseline m_baseline;
    ServedPage m_served;
    // The last burst taken as a page's reply, and that page.
    QByteArray m_lastReply;
    int m_lastReplyPage = -1;
    qint64 m_strayBytes = 0; // arrived outside any reply since the last page was handed out
    std::chrono::milliseconds m_settle = kLearningQuiet; // quiet needed before the next request
    int m_pageRequestsSent = 0;
    bool m_verifyPages = false;

    // While a page read runs: whether it does, its current wait, and what ended the wait.
    bool m_reading = false;
    QEventLoop* m_waitLoop = nullptr;
    Burst* m_burst = nullptr; // the burst being collected
    QTimer* m_quietCheck = nullptr;
    QElapsedTimer m_sinceComplete;
    bool m_burstDone = false;
    bool m_cancelled = false;
    QString m_lostReason;
    QElapsedTimer m_sinceTimeout; // running while a late answer may still arrive
    int m_missingReplyBytes = 0;  // bytes that came of the reply that did not complete
};

} // namespace cablemeter
