#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>

namespace cablemeter::testing {

// The program's end of the cable, as plainly as possible: a raw POSIX file descriptor on the
// simulator's pty, so the simulator is tested without any of the program's link code.
class PtyClient {
public:
    explicit PtyClient(const QString& devicePath);
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close();
    bool send(const QByteArray& bytes);

    // Reads until `count` bytes have arrived or nothing more came for `quiet`; every read() that
    // returned data is one chunk, in order.
    QList<QByteArray> readChunks(int count, std::chrono::milliseconds quiet);
    QByteArray read(int count, std::chrono::milliseconds quiet);

    // True when the line hangs up (the far end went away) within `timeout`.
    bool waitForHangUp(std::chrono::milliseconds timeout);

private:
    int m_fd = -1;
};

// A page request frame for `page`: 0xAA 0xFA 0x02 high low checksum.
QByteArray pageRequest(int page);
// The beep request: 0xAA 0x03 0x01 0xFF 0xAD.
QByteArray beepRequest();

} // namespace cablemeter::testing
