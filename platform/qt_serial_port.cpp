#include "platform/qt_serial_port.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

#include <limits>

namespace cablemeter {

namespace {

constexpr qint32 kBaudRate = 19200;
constexpr qint64 kBitsPerByte = 10; // start, 8 data, stop
constexpr qint64 kMillisecondsPerSecond = 1000;

// How long `bytes` bytes take on the line, in whole milliseconds (rounded down).
qint64 lineMilliseconds(qsizetype bytes)
{
    return qint64(bytes) * kBitsPerByte * kMillisecondsPerSecond / kBaudRate;
}

} // namespace

OpenFailure QtSerialPort::classify(int error, const QString& device)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::NotFound;
    case QSerialPort::PermissionError:
        return isDeniedToUser(device) ? OpenFailure::PermissionDenied : OpenFailure::Busy;
    default:
        return QFileInfo::exists(device) || !device.startsWith(QLatin1Char('/'))
                   ? OpenFailure::Other
                   : OpenFailure::NotFound;
    }
}

QtSerialPort::QtSerialPort(QObject* parent, std::unique_ptr<LineErrorCounter> lineErrors)
    : SerialPort(parent), m_port(new QSerialPort(this)), m_quietTimer(new QTimer(this)),
      m_lineErrors(std::move(lineErrors))
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

QtSerialPort::~QtSerialPort()
{
    close();
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
    m_lowLatency = requestLowLatency(*m_port);
    m_port->clear(QSerialPort::AllDirections);
    m_pending.clear();
    return {};
}

void QtSerialPort::close()
{
    m_quietTimer->stop();
    if (m_port->isOpen()) {
        // Low latency is ours only while we hold the port; the driver keeps it otherwise.
        if (m_lowLatency == LowLatency::SetByUs)
            releaseLowLatency(*m_port);
        m_port->close();
    }
    m_lowLatency = LowLatency::Refused;
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
    m_burstMaxGap = 0;
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

std::optional<quint64> QtSerialPort::lineErrorCount()
{
    if (!m_port->isOpen() || !m_lineErrors)
        return std::nullopt;
    return m_lineErrors->count(m_port->handle());
}

void QtSerialPort::takeArrivedBytes()
{
    const QByteArray chunk = m_port->readAll();
    if (chunk.isEmpty())
        return;
    const qint64 now = m_clock.elapsed();
    // Gaps count from the first chunk after a request: a pause inside a reply shows here. The
    // chunk's own bytes took their line time to come, so a late look at the port (this program
    // busy elsewhere) is not mistaken for a pause on the line.
    constexpr qint64 kNanosecondsPerMicrosecond = 1000;
    if (m_newBurst)
        m_firstByteDelay =
            (m_clock.nsecsElapsed() - m_burstExpectedAt) / kNanosecondsPerMicrosecond;
    else
        m_burstMaxGap = qMax(m_burstMaxGap, now - m_lastByteAt - lineMilliseconds(chunk.size()));
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
