#pragma once

#include "link/page_reader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>

class QEventLoop;

namespace cablemeter {

class SerialPort;
class WindowControls;

// The link to the meter: the port's open and close sequences, the byte sender, the receive
// handler and the flash page read. All of it runs on the window's thread.
class MeterLink : public QObject, public PageReader {
    Q_OBJECT
public:
    // How long a page read waits for the meter after sending its request.
    static constexpr std::chrono::milliseconds kReplyTimeout{2000};
    // Before a request the line must have been quiet this long at least, so that the tail of an
    // over-long reply is discarded instead of being taken for the start of the next reply.
    static constexpr std::chrono::milliseconds kMinimumSettle{8};
    // ... and longer than the gaps seen inside the last reply by this margin.
    static constexpr std::chrono::milliseconds kSettleMargin{6};
    // After a read timed out, a slow meter's late answer may still come: the next read lets it go
    // by for this long after the timeout rather than take it for its own page.
    static constexpr std::chrono::milliseconds kLateAnswerGrace{1000};
    // A page reply is complete at 255 bytes: an echo byte and page bytes 1 to 254.
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

    // Ends a waiting page read at once (the program is quitting); the read fails quietly.
    void cancel();
    bool isReading() const { return m_waitLoop != nullptr; }

    // The receive handler's state, for tests.
    const std::array<std::uint8_t, kReplyStoreSize>& replyStore() const { return m_replyStore; }
    int receivePosition() const { return m_receivePosition; }
    int expectedReplyLength() const { return m_expectedReplyLength; }
    bool replyComplete() const { return m_replyComplete; }

private:
    // The steps of a page read.
    void waitForQuietLine();
    bool sendPageRequest(int flashPage);
    // Services events until the reply is taken, the time is up, the port is lost or Quit.
    bool waitForReply();
    void describeMissingReply(int flashPage);

    void onPortLost(const QString& reason);
    void pause(std::chrono::milliseconds duration);
    QString currentPortName() const;

    SerialPort& m_port;
    WindowControls& m_controls;
    int m_portNumber = 1; // the port of the last open sequence

    std::array<std::uint8_t, kReplyStoreSize> m_replyStore{};
    qint16 m_receivePosition = 0;
    qint16 m_expectedReplyLength = 0;
    bool m_replyComplete = false;

    PageBuffer m_pageBuffer{};
    QString m_lastError;

    // While a page read waits: its event loop, and what ended the wait.
    QEventLoop* m_waitLoop = nullptr;
    bool m_replyTaken = false;
    std::array<std::uint8_t, kReplyStoreSize> m_takenReply{};
    bool m_cancelled = false;
    QString m_lostReason;
    QElapsedTimer m_sinceTimeout; // running while a late answer may still arrive
};

} // namespace cablemeter
