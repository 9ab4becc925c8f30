#pragma once

#include "platform/line_error_counter.h"
#include "platform/serial_low_latency.h"
#include "platform/serial_port.h"

#include <QElapsedTimer>
#include <chrono>
#include <memory>

class QSerialPort;
class QTimer;

namespace cablemeter {

// The serial port as a QSerialPort on a tty (a real UART, a USB adapter or a pty).
class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    // Far longer than the gaps inside one burst (a USB adapter hands over a packet every 16 ms),
    // so that a reply is never cut in two by a late packet; it only delays noticing a short reply.
    static constexpr std::chrono::milliseconds kBurstQuiet{100};

    // `lineErrors` reads the driver's error counts; tests hand in one of their own (a pty has
    // none).
    explicit QtSerialPort(QObject* parent = nullptr,
                          std::unique_ptr<LineErrorCounter> lineErrors = createLineErrorCounter());
    // Closes the port, so a low-latency mode we set is cleared also when the program ends.
    ~QtSerialPort() override;

    OpenResult open(const QString& device) override;
    void close() override;
    bool isOpen() const override;
    QString device() const override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    void expectBurst(int bytes) override;
    qint64 quietMilliseconds() const override;
    qint64 lastBurstMaxGapMilliseconds() const override;
    qint64 firstByteDelayMicroseconds() const override;
    std::optional<quint64> lineErrorCount() override;

private:
    // QSerialPort's error on opening `device` as the failure the user is told of.
    static OpenFailure classify(int error, const QString& device);
    // QSerialPort reports a device held by someone else and one we may not touch alike: whether
    // its permission error on `device` means this user may not use it (each system says how).
    static bool isDeniedToUser(const QString& device);
    void takeArrivedBytes();
    void onErrorOccurred(int error);

    QSerialPort* m_port = nullptr;
    QString m_device; // as given to open(), which may be a symlink to the device
    QTimer* m_quietTimer = nullptr;
    std::unique_ptr<LineErrorCounter> m_lineErrors;
    LowLatency m_lowLatency = LowLatency::Refused;
    QByteArray m_pending; // received, not yet taken by readAll()
    int m_burstLength = 1;
    QElapsedTimer m_clock;
    qint64 m_lastByteAt = -1;     // m_clock time of the last chunk, -1 before any
    qint64 m_burstMaxGap = 0;     // longest gap between chunks since expectBurst()
    bool m_newBurst = true;       // the next chunk is the first since expectBurst()
    qint64 m_burstExpectedAt = 0; // m_clock time of expectBurst(), in nanoseconds
    qint64 m_firstByteDelay = -1; // microseconds from expectBurst() to its first chunk
};

} // namespace cablemeter
