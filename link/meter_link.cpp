#include "link/meter_link.h"

#include "link/request_frame.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"
#include "platform/window_controls.h"

#include <QColor>
#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace cablemeter {

namespace {

const QColor kPortOpenColour{0, 255, 255};
const QColor kPortClosedColour{255, 0, 0};

} // namespace

MeterLink::MeterLink(SerialPort& port, WindowControls& controls, QObject* parent)
    : QObject(parent), m_port(port), m_controls(controls)
{
    connect(&m_port, &SerialPort::commEvent, this, &MeterLink::MSComm1_OnComm);
    connect(&m_port, &SerialPort::portLost, this, &MeterLink::onPortLost);
    m_controls.setPortDescription(
        portDisplayName(portNumberFromSelector(m_controls.portSelectorText())));
}

MeterLink::~MeterLink()
{
    cancel();
}

QString MeterLink::currentPortName() const
{
    return portDisplayName(m_portNumber);
}

bool MeterLink::OpenCom()
{
    if (m_port.isOpen())
        m_port.close();
    m_portNumber = portNumberFromSelector(m_controls.portSelectorText());
    m_controls.setPortDescription(currentPortName());
    const OpenResult result = openPortNumber(m_port, m_portNumber);
    if (!result.ok()) {
        // The port is closed now, whatever it was before: the indicator must not say open.
        m_controls.setIndicatorColour(kPortClosedColour);
        m_lastError = describeOpenFailure(m_portNumber, result, m_controls.retryAdvice());
        return false;
    }
    m_port.readAll();
    m_controls.setIndicatorColour(kPortOpenColour);
    return true;
}

void MeterLink::Command1_Click()
{
    if (!OpenCom())
        m_controls.reportError(QStringLiteral("Port not opened"), m_lastError);
}

void MeterLink::Command2_Click()
{
    m_controls.setIndicatorColour(kPortClosedColour);
    if (m_port.isOpen())
        m_port.close();
}

void MeterLink::Command4_Click()
{
    if (!m_port.isOpen()) {
        m_controls.reportError(
            QStringLiteral("Beep not sent"),
            QStringLiteral("The port is not open, so nothing was sent to the "
                           "meter.\n\nPick the meter's port and press Open first."));
        return;
    }
    for (char byte : beepRequest()) {
        if (!OUTCOM(quint8(byte))) {
            m_controls.reportError(
                QStringLiteral("Beep not sent"),
                QStringLiteral("Could not send to the meter on %1.").arg(currentPortName()));
            return;
        }
    }
}

bool MeterLink::OUTCOM(int value)
{
    if (value < 0 || value > 0xFF || !m_port.isOpen())
        return false;
    return m_port.write(QByteArray(1, char(value)));
}

void MeterLink::MSComm1_OnComm(int eventCode)
{
    if (eventCode == SerialPort::kReceivedData) {
        // Every receive event starts a reply afresh; bytes beyond the expected length are dropped.
        m_receivePosition = 0;
        const QByteArray input = m_port.readAll();
        for (char byte : input) {
            m_replyStore[std::size_t(m_receivePosition)] = std::uint8_t(byte);
            ++m_receivePosition;
            if (m_receivePosition >= m_expectedReplyLength)
                break;
        }
        if (m_receivePosition >= m_expectedReplyLength) {
            m_replyComplete = true;
            m_receivePosition = 0;
        } else {
            m_replyComplete = false;
        }
    }
    // Whatever arrived meanwhile is not part of this reply.
    m_port.readAll();

    if (m_waitLoop && m_replyComplete && !m_replyTaken) {
        // Take the reply now: a later short event must not undo a reply that has completed.
        m_takenReply = m_replyStore;
        m_replyTaken = true;
        m_waitLoop->quit();
    }
}

bool MeterLink::ReadFlash(int flashPage)
{
    if (isReading()) {
        m_lastError = QStringLiteral("A page read is already in progress.");
        return false;
    }
    if (flashPage < 0 || flashPage > kHighestPage) {
        m_lastError = QStringLiteral("Page %1 does not exist on the meter.").arg(flashPage);
        return false;
    }
    if (!m_port.isOpen() && !OpenCom())
        return false;

    waitForQuietLine();
    m_expectedReplyLength = kPageReplyLength;
    m_port.expectBurst(kPageReplyLength);
    m_port.readAll();
    m_replyComplete = false;
    if (!sendPageRequest(flashPage))
        return false;
    if (!waitForReply()) {
        describeMissingReply(flashPage);
        return false;
    }

    m_replyComplete = false;
    // Reply byte 0 is the meter's echo; page bytes 255 and 256 come from slots no reply reaches.
    for (int n = 1; n <= kPageSize; ++n)
        m_pageBuffer[std::size_t(n)] = m_takenReply[std::size_t(n)];
    m_lastError.clear();
    return true;
}

void MeterLink::waitForQuietLine()
{
    if (m_sinceTimeout.isValid()) {
        const qint64 left = kLateAnswerGrace.count() - m_sinceTimeout.elapsed();
        if (left > 0)
            pause(std::chrono::milliseconds(left));
        m_sinceTimeout.invalidate();
    }
    // Let the tail of a previous over-long reply pass: wait until the line has been quiet for
    // longer than the gaps seen inside the last reply.
    const auto settle = std::max<std::chrono::milliseconds>(
        kMinimumSettle,
        std::chrono::milliseconds(m_port.lastBurstMaxGapMilliseconds()) + kSettleMargin);
    for (qint64 quiet = m_port.quietMilliseconds(); quiet < settle.count();
         quiet = m_port.quietMilliseconds())
        pause(std::chrono::milliseconds(settle.count() - quiet));
}

bool MeterLink::sendPageRequest(int flashPage)
{
    for (char byte : pageRequest(flashPage)) {
        if (!OUTCOM(quint8(byte))) {
            m_lastError =
                QStringLiteral("Could not send the request for page %1 to the meter on %2.")
                    .arg(flashPage)
                    .arg(currentPortName());
            return false;
        }
    }
    return true;
}

bool MeterLink::waitForReply()
{
    m_replyTaken = false;
    m_cancelled = false;
    m_lostReason.clear();

    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(kReplyTimeout);
    m_waitLoop = &loop;
    loop.exec();
    m_waitLoop = nullptr;

    return std::exchange(m_replyTaken, false);
}

void MeterLink::describeMissingReply(int flashPage)
{
    if (m_cancelled) {
        m_lastError.clear(); // cut short by Quit: nothing to tell
        return;
    }
    if (!m_lostReason.isEmpty()) {
        m_lastError = QStringLiteral("The meter's port %1 went away while reading page %2 (%3).\n\n"
                                     "Check the cable, then press Open.")
                          .arg(currentPortName())
                          .arg(flashPage)
                          .arg(m_lostReason);
        return;
    }
    m_sinceTimeout.start();
    m_lastError = QStringLiteral("The meter did not answer the request for page %1 on %2 within "
                                 "%3 s.\n\nCheck that the meter is switched on, connected to this "
                                 "port, and not busy measuring; then try again.")
                      .arg(flashPage)
                      .arg(currentPortName())
                      .arg(double(kReplyTimeout.count()) / 1000.0) +
                  QStringLiteral("\n\n") +
                  describeOtherPorts(m_portNumber, m_controls.retryAdvice());
}

void MeterLink::cancel()
{
    m_cancelled = true;
    if (m_waitLoop)
        m_waitLoop->quit();
}

void MeterLink::onPortLost(const QString& reason)
{
    m_controls.setIndicatorColour(kPortClosedColour);
    if (m_waitLoop) {
        // The waiting read fails and its caller tells the user; one report per failure.
        m_lostReason = reason;
        m_waitLoop->quit();
        return;
    }
    m_controls.reportError(QStringLiteral("Port lost"),
                           QStringLiteral("The meter's port %1 went away (%2).\n\nCheck the cable, "
                                          "then press Open.")
                               .arg(currentPortName(), reason));
}

void MeterLink::pause(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace cablemeter
