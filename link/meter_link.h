#pragma once

#include "link/page_reader.h"
#include "link/reply_judge.h"
#include "platform/port_map.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

class QEventLoop;
class QTimer;

namespace cablemeter {

class LinkObserver;
class SerialPort;

// The link to the meter: the port's open and close sequences, the byte sender, the receive
// handler and the flash page read. All of it runs on the window's thread.
//
// The link collects what arrives for each page request and leaves every judgement to its
// ReplyJudge: a reply is taken, read again, or the read fails with a reason. Bytes that turn up
// after a taken reply (before the next request, ahead of the next reply, or after an operation's
// last reply) mean that reply may have been something else, so the page handed out last is read
// again and compared; if it differs, the read fails and nothing more is taken.
class MeterLink : public QObject, public PageReader {
    Q_OBJECT
public:
    // Which port the open sequence opens, asked at that moment (the window's selector is read
    // only then).
    using ChoosePort = std::function<PortChoice()>;

    // How long the link waits for a line that keeps carrying bytes before a request.
    static constexpr std::chrono::milliseconds kQuietLineDeadline{1500};
    // After a read ended without an answer, a slow meter's late answer may still come: the next
    // read lets it go by for this long rather than take it for its own page.
    static constexpr std::chrono::milliseconds kLateAnswerGrace{1000};
    // The receive handler completes a reply at 255 bytes: byte 0 and page bytes 1 to 254.
    static constexpr int kPageReplyLength = ReplyJudge::kShortestReply;
    static constexpr int kReplyStoreSize = 1025;

    MeterLink(SerialPort& port, PortMap& ports, LinkObserver& observer, ChoosePort choosePort,
              QObject* parent = nullptr);
    ~MeterLink() override;

    // Open sequence (the Open button, and on demand before a page request). On failure the
    // reason is in failure() and the indicator is red: the port is closed.
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
    QString lastError() const override { return m_failure.text(); }
    UserMessage failure() const override { return m_failure; }
    void beginOperation() override;
    bool endOperation() override;

    // When set, every page is read twice and taken only when both reads agree on the page bytes;
    // when they differ a third read decides, taken only where two agree.
    void setVerifyPages(bool verify) { m_verifyPages = verify; }
    bool verifiesPages() const { return m_verifyPages; }

    // Ends a page read at once, whatever it waits for (the program is quitting); the read fails
    // quietly.
    void cancel();
    bool isReading() const { return m_reading; }

    // The chosen port as the user knows it: "COM1 (/dev/ttyUSB0, FT232R USB UART)", or the
    // device given on the command line.
    QString portName() const;
    // Tells the observer where the port chosen now leads (before Open is pressed).
    void describeChosenPort();

    // The receive handler's state, for tests.
    const std::array<std::uint8_t, kReplyStoreSize>& replyStore() const { return m_replyStore; }
    int receivePosition() const { return m_receivePosition; }
    int expectedReplyLength() const { return m_expectedReplyLength; }
    bool replyComplete() const { return m_replyComplete; }
    // The length of this meter's replies, learned since the port opened (0 while unknown).
    int learnedReplyLength() const { return m_judge.learnedLength(); }
    // Page requests sent since the port was opened (the checks' cost shows here).
    int pageRequestsSent() const { return m_pageRequestsSent; }

private:
    using Burst = ReplyJudge::Burst;
    enum class WaitEnd { Done, NeverQuiet, PortLost, Cancelled, SendFailed };

    // The page handed out last in this operation, kept to check it again.
    struct ServedPage {
        int page = -1; // -1: none
        PageBuffer bytes{};
    };

    // Runs one step that talks to the meter, with the cancel and port-lost bookkeeping.
    bool runRead(const std::function<bool()>& read);
    // One page, taken when the judge takes it; the page handed out before is checked again when
    // bytes came that may have belonged to it.
    bool readChecked(int flashPage, PageBuffer& page);
    // The same, two or three times, until two reads agree.
    bool readVerified(int flashPage, PageBuffer& page);
    // Requests the page until the judge takes a reply or gives up.
    bool readPage(int flashPage, PageBuffer& page, bool& checkServedPage);
    // Reads the page handed out last again; false when it came back different.
    bool confirmServedPage();
    // Waits for a quiet line before a request for `flashPage`; what arrived meanwhile is counted.
    bool settleLine(std::chrono::milliseconds quiet, int flashPage);
    // Sends the request and collects what arrives until the judge says the burst is over.
    WaitEnd collectBurst(int flashPage, Burst& burst);
    void lookAtBurst();
    bool sendPageRequest(int flashPage);
    // Bytes that arrived outside a reply: a Beep's answer, or bytes between replies.
    void noteArrivedBytes(const QByteArray& bytes);

    // lastError for a read that the judge gave up on, or whose wait ended early.
    void describeFailedRead(int flashPage, const ReplyJudge::Judgement& judgement,
                            const Burst& burst);
    void describeFailedWait(WaitEnd end, int flashPage);
    void describeNoAnswer(int flashPage);
    // A port that went away: `what` says when, then how to get it back and the system's reason.
    UserMessage describePortLost(const QString& what, const QString& reason) const;

    void onPortLost(const QString& reason);
    WaitEnd pause(std::chrono::milliseconds duration);
    WaitEnd runWaitLoop(QEventLoop& loop);
    QString pageName(int flashPage) const; // "page 560 (slot 3)"
    QString retryAdvice() const;

    SerialPort& m_port;
    PortMap& m_ports;
    LinkObserver& m_observer;
    ChoosePort m_choosePort;
    PortChoice m_choice; // the port of the last open sequence

    std::array<std::uint8_t, kReplyStoreSize> m_replyStore{};
    qint16 m_receivePosition = 0;
    qint16 m_expectedReplyLength = 0;
    bool m_replyComplete = false;

    PageBuffer m_pageBuffer{};
    UserMessage m_failure; // why the last read or open failed; empty after one that worked

    ReplyJudge m_judge;
    ServedPage m_served;
    qsizetype m_bytesBetweenReplies = 0; // arrived outside any reply since the last request
    bool m_beepAnswerDue = false;        // a Beep went out since the last request
    std::chrono::milliseconds m_settle = ReplyJudge::kSettledQuiet; // quiet before a request
    int m_pageRequestsSent = 0;
    bool m_verifyPages = false;

    // While a page read runs: whether it does, its current wait, and what ended the wait.
    bool m_reading = false;
    QEventLoop* m_waitLoop = nullptr;
    Burst* m_burst = nullptr; // the burst being collected
    ReplyJudge::End m_burstEnd = ReplyJudge::End::NotYet;
    QElapsedTimer m_sinceRequest;
    QTimer* m_burstCheck = nullptr;
    bool m_cancelled = false;
    QString m_lostReason;
    QElapsedTimer m_sinceNoAnswer; // running while a late answer may still arrive
};

} // namespace cablemeter
