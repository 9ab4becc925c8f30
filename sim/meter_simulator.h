#pragma once

#include "sim/line_pacing.h"
#include "sim/meter_traits.h"
#include "sim/reply_fault.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace cablemeter::sim {

// The meter at the far end of a serial cable, played on a pseudo-terminal. The program opens
// devicePath() as its serial port; the simulator answers page requests from a flash image and
// counts beeps, on its own thread, whatever the caller's event loop does.
//
// Flash image: page p at offset 256 * p, page byte N at 256 * p + N - 1; pages beyond the end of
// the image read as 0xFF, like erased flash.
class MeterSimulator {
public:
    // Byte 0 of every reply, unless the meter's traits say otherwise.
    static constexpr char kEchoByte = char(0xFA);
    // The meter's answer to a beep, when it gives one.
    static constexpr char kBeepAnswer = char(0x06);
    static constexpr int kPageBytes = 256;
    // Echo byte plus the whole page.
    static constexpr int kReplyBytes = 1 + kPageBytes;
    static constexpr char kFillerByte = char(0x5A);

    // Called on the simulator's thread with one line per request, beep or rejected frame.
    using Logger = std::function<void(const QString& line)>;

    explicit MeterSimulator(QByteArray flashImage = {}, Pacing pacing = Pacing::Uart);
    ~MeterSimulator();
    MeterSimulator(const MeterSimulator&) = delete;
    MeterSimulator& operator=(const MeterSimulator&) = delete;

    // Opens the pseudo-terminal and starts serving. False (see errorString()) when the pty could
    // not be made. Call once.
    bool start();
    QString errorString() const { return m_errorString; }
    // The pty's slave side, e.g. /dev/pts/5: the program's serial port. Empty before start().
    QString devicePath() const { return m_devicePath; }
    bool isRunning() const { return m_running; }

    // Like pulling the cable: closes the pty so the program's port sees a hang-up and the device
    // node disappears. The simulator stops serving; it cannot be started again.
    void closeLine();

    // Settings, thread-safe, effective from the next request on. Set the logger before start().
    void setPacing(Pacing pacing);
    Pacing pacing() const;
    void setFault(const ReplyFault& fault);
    ReplyFault fault() const;
    void setTraits(const MeterTraits& traits);
    void setLogger(Logger logger) { m_logger = std::move(logger); }

    // What the meter received, thread-safe. Frames are the well-formed requests, byte for byte, in
    // order of arrival (page requests, beeps and unknown commands alike).
    QList<QByteArray> receivedFrames() const;
    QList<QByteArray> rejectedFrames() const; // frames whose checksum did not match
    QList<int> requestedPages() const;
    int beepCount() const;
    // Page requests whose answer (or deliberate silence) is completely written.
    int handledPageRequestCount() const;
    // The sizes of the writes that made up the last page reply, in order.
    QList<int> lastReplyWrites() const;
    // Line errors that a serial driver would have counted (replies sent at another baud rate).
    quint64 lineErrors() const { return m_lineErrors; }
    void clearRecords();

    // Block until at least `count` frames / handled page requests have been recorded; false on
    // timeout. They sleep on a condition variable, not spin.
    bool waitForFrames(int count, std::chrono::milliseconds timeout) const;
    bool waitForHandledPageRequests(int count, std::chrono::milliseconds timeout) const;

    // Page bytes 1..256 of `page` in `flashImage` (0xFF past its end).
    static QByteArray pageOf(const QByteArray& flashImage, int page);

private:
    struct ReplyPart {
        std::chrono::milliseconds delayBefore{0};
        QByteArray bytes;
    };

    bool openPty();
    void serve();
    void handleFrame(const QByteArray& frame);
    // `request` counts the page requests since the fault was set, from 1.
    void answerPageRequest(const QByteArray& frame, int page, int request);
    QList<ReplyPart> replyParts(const QByteArray& frame, int page, int request);
    void answerBeep(const QByteArray& frame);
    // Sends the parts one after the other, the first right after the request has arrived.
    bool sendParts(const QList<ReplyPart>& parts, qsizetype& sent);
    // Writes bytes paced from `start` on; returns when the last chunk was due, or nullopt when
    // the simulator is stopping or the line failed.
    std::optional<std::chrono::steady_clock::time_point>
    sendPaced(const QByteArray& bytes, std::chrono::steady_clock::time_point start, Pacing pacing);
    bool writeAll(const char* data, int length);
    // Sleeps until `deadline`; false when asked to stop meanwhile.
    bool sleepUntil(std::chrono::steady_clock::time_point deadline);
    void log(const QString& line) const;
    void stopServing();
    void closeDescriptors();

    mutable std::mutex m_mutex; // guards everything below up to m_lastReplyWrites
    mutable std::condition_variable m_recordsChanged;
    std::condition_variable m_wakeUp; // interrupts the serving thread's sleeps
    QByteArray m_image;
    Pacing m_pacing = Pacing::Uart;
    ReplyFault m_fault;
    MeterTraits m_traits;
    int m_repliesMade = 0;
    QByteArray m_lastReply; // for the fault that answers with the reply before
    bool m_stopRequested = false;
    QList<QByteArray> m_frames;
    QList<QByteArray> m_rejected;
    QList<int> m_pages;
    int m_beeps = 0;
    int m_handledPageRequests = 0;
    int m_pageRequestsSinceFault = 0;
    QList<int> m_lastReplyWrites;

    int m_masterFd = -1;
    int m_slaveFd = -1; // held open so the master never sees a hang-up between program sessions
    int m_wakePipe[2] = {-1, -1};
    QString m_devicePath;
    QString m_errorString;
    std::atomic<bool> m_running = false;
    std::atomic<quint64> m_lineErrors = 0;
    Logger m_logger;
    std::thread m_thread;
};

} // namespace cablemeter::sim
