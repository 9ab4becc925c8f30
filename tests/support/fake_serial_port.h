#pragma once

#include "platform/serial_port.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace cablemeter::testing {

// An in-memory serial port: the test injects received bytes and communication events, reads
// back what was written, and scripts open failures and the loss of the device.
class FakeSerialPort : public SerialPort {
public:
    using SerialPort::SerialPort;

    OpenResult open(const QString& device) override
    {
        openedDevices.append(device);
        if (!nextOpenResult.ok())
            return nextOpenResult;
        m_open = true;
        m_device = device;
        return {};
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString device() const override { return m_device; }

    bool write(const QByteArray& bytes) override
    {
        if (!m_open)
            return false;
        written.append(bytes);
        writeCalls.append(bytes);
        if (onWrite)
            onWrite();
        return true;
    }
    QByteArray readAll() override { return std::exchange(pending, {}); }
    void expectBurst(int bytes) override { burstLength = bytes; }
    qint64 quietMilliseconds() const override { return quiet; }
    qint64 lastBurstMaxGapMilliseconds() const override { return longestGap; }
    qint64 firstByteDelayMicroseconds() const override { return answerDelay; }
    std::optional<quint64> lineErrorCount() override { return lineErrors; }

    // Bytes arrive and the port raises one communication event for them.
    void receive(const QByteArray& bytes, int eventCode = kReceivedData)
    {
        pending.append(bytes);
        emit commEvent(eventCode);
    }
    void loseDevice(const QString& reason)
    {
        m_open = false;
        emit portLost(reason);
    }

    QByteArray pending;
    QByteArray written;
    QList<QByteArray> writeCalls;
    QStringList openedDevices;
    OpenResult nextOpenResult;
    int burstLength = 1;
    qint64 quiet = 1000;       // how long the line has been quiet, as the test wants it
    qint64 answerDelay = 5000; // microseconds from a request to its reply, as the test wants it
    qint64 longestGap = 0;     // milliseconds between chunks of a reply, as the test wants it
    std::optional<quint64> lineErrors; // the driver's count; none, as on a pty
    std::function<void()> onWrite;     // runs after every write, e.g. to answer a request

private:
    bool m_open = false;
    QString m_device;
};

} // namespace cablemeter::testing
