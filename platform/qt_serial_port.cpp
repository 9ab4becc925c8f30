#include "platform/qt_serial_port.h"

#include "platform/serial_low_latency.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

#include <limits>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace cablemeter {

namespace {

constexpr qint32 kBaudRate = 19200;

// QSerialPort reports a device held by someone else and one we may not touch alike; the file's
// access rights tell them apart.
OpenFailure classify(QSerialPort::SerialPortError error, const QString& device)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::NotFound;
    case QSerialPort::PermissionError:
#ifndef Q_OS_WIN
        if (QFileInfo::exists(device) &&
            ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
            return OpenFailure::PermissionDenied;
#endif
        return OpenFailure::Busy;
    default:
        return QFileInfo::exists(device) || !device.startsWith(QLatin1Char('/'))
                   ? OpenFailure::Other
                   : OpenFailure::NotFound;
    }
}

} // namespace

QtSerialPort::QtSerialPort(QObject* parent)
    : SerialPort(parent), m_port(new QSerialPort(this)), m_quietTimer(new QTimer(this))
{
    m_clock.start();
    m_quietTimer->setSingleShot(true);
    m_quietTimer->setInterval(kBurstQuiet);
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        takeArrivedBytes();
        if (m_pending.size() >= m_burstLength) {
            m_quietTimer->stop();
            emit commEvent(kReceivedData);
        } else {
            m_quietTimer->start();
        }
    });
    connect(m_quietTimer, &QTimer::timeout, this, [this] {
        if (!m_pending.isEmpty())
            emit commEvent(kReceivedData);
    });
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onErrorOccurred(error); });
}

OpenResult QtSerialPort::open(const QString& device)
{
    close();
    // A symlink and its target are one device: open it by its real path, so the device's lock
    // tells a second program (through either name) that it is busy.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    m_device = device;
    m_port->setPortName(canonical.isEmpty() ? device : canonical);
    if (!m_port->open(QIODevice::ReadWrite)) {
        OpenResult result{classify(m_port->error(), device), m_port->errorString()};
        m_port->clearError();
        return result;
    }
    m_port->setBaudRate(kBaudRate);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    // Replies then reach us as they arrive; a driver that does not offer it is used as it is.
    requestLowLatency(*m_port);
    m_port->clear(QSerialPort::AllDirections);
    m_pending.clear();
    return {};
}

void QtSerialPort::close()
{
    m_quietTimer->stop();
    if (m_port->isOpen())
        m_port->close();
    m_pending.clear();
}

bool QtSerialPort::isOpen() const
{
    return m_port->isOpen();
}

QString QtSerialPort::device() const
{
    return m_device;
}

bool QtSerialPort::write(const QByteArray& bytes)
{
    if (!m_port->isOpen())
        return false;
    if (m_port->write(bytes) != bytes.size())
        return false;
    // Hand the bytes to the driver now rather than at the next turn of the event loop.
    m_port->flush();
    return true;
}

QByteArray QtSerialPort::readAll()
{
    if (m_port->isOpen())
        takeArrivedBytes();
    m_quietTimer->stop();
    return std::exchange(m_pending, {});
}

void QtSerialPort::expectBurst(int bytes)
{
    m_burstLength = qMax(1, bytes);
    m_newBurst = true;
    m_burstExpectedAt = m_clock.nsecsElapsed();
    m_firstByteDelay = -1;
}

qint64 QtSerialPort::quietMilliseconds() const
{
    if (m_lastByteAt < 0)
        return std::numeric_limits<qint64>::max();
    return m_clock.elapsed() - m_lastByteAt;
}

qint64 QtSerialPort::lastBurstMaxGapMilliseconds() const
{
    return m_burstMaxGap;
}

qint64 QtSerialPort::firstByteDelayMicroseconds() const
{
    return m_firstByteDelay;
}

void QtSerialPort::takeArrivedBytes()
{
    const QByteArray chunk = m_port->readAll();
    if (chunk.isEmpty())
        return;
    const qint64 now = m_clock.elapsed();
    const qint64 gap = m_lastByteAt < 0 ? std::numeric_limits<qint64>::max() : now - m_lastByteAt;
    // The first chunk after a request, or after a quiet line, starts a new burst.
    m_burstMaxGap = m_newBurst || gap > kBurstQuiet.count() ? 0 : qMax(m_burstMaxGap, gap);
    constexpr qint64 kNanosecondsPerMicrosecond = 1000;
    if (m_newBurst)
        m_firstByteDelay =
            (m_clock.nsecsElapsed() - m_burstExpectedAt) / kNanosecondsPerMicrosecond;
    m_newBurst = false;
    m_lastByteAt = now;
    m_pending.append(chunk);
}

void QtSerialPort::onErrorOccurred(int error)
{
    // A device that can no longer be read has gone (an unplugged adapter, a closed pty: the read
    // then ends at once, again and again). Other errors stay with the operation that caused them.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !m_port->isOpen())
        return;
    const QString reason = m_port->errorString();
    m_port->clearError();
    close();
    emit portLost(reason);
}

} // namespace cablemeter
