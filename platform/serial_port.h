#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace cablemeter {

// Why an open failed, in the terms the user's fix depends on.
enum class OpenFailure { None, PermissionDenied, Busy, NotFound, Other };

struct OpenResult {
    OpenFailure failure = OpenFailure::None;
    QString systemReason; // the operating system's words
    bool ok() const { return failure == OpenFailure::None; }
};

// The serial port the meter sits on, narrowed to what the link needs. The real one is a
// QSerialPort on a tty; tests also use an in-memory fake.
//
// Receive events: the meter answers a page request with one burst, but a UART or USB adapter hands
// it to us in chunks. The port therefore raises commEvent(kReceivedData) once per burst: as soon as
// the burst length is pending, or when the line has gone quiet for longer than an adapter's gaps.
class SerialPort : public QObject {
    Q_OBJECT
public:
    static constexpr int kReceivedData = 2; // the event code for "received data waiting"
    static constexpr int kLineError = 3;    // any other event (line error, modem-line change)

    using QObject::QObject;

    // Opens the device at 19200 baud, 8 data bits, no parity, 1 stop bit, no flow control.
    virtual OpenResult open(const QString& device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString device() const = 0;

    // Sends bytes; false when the port is closed or the write failed.
    virtual bool write(const QByteArray& bytes) = 0;
    // Takes all pending received bytes (empty when nothing is pending).
    virtual QByteArray readAll() = 0;

    // A request is about to go out: the next byte to arrive starts a new burst, complete once
    // `bytes` bytes are pending (at least 1).
    virtual void expectBurst(int bytes) = 0;
    // Milliseconds since the last byte arrived (large when nothing has arrived yet).
    virtual qint64 quietMilliseconds() const = 0;
    // The longest gap between two chunks since expectBurst(), in milliseconds.
    virtual qint64 lastBurstMaxGapMilliseconds() const = 0;
    // Microseconds from expectBurst() to the first chunk of that burst; -1 while none came.
    virtual qint64 firstByteDelayMicroseconds() const = 0;
    // The driver's count of line errors (framing, parity, overrun, break) so far; nullopt when
    // the port keeps none.
    virtual std::optional<quint64> lineErrorCount() = 0;

signals:
    void commEvent(int code);
    // The device went away while open (USB cable pulled, pty closed). Raised once; the port is
    // closed afterwards.
    void portLost(const QString& reason);
};

} // namespace cablemeter
