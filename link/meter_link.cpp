#include "link/meter_link.h"

#include "link/request_frame.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"
#include "platform/window_controls.h"

#include <QColor>
#include <QEventLoop>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace cablemeter {

namespace {

const QColor kPortOpenColour{0, 255, 255};
const QColor kPortClosedColour{255, 0, 0};

// How often the link looks for the rest of a reply that is short of the learned length.
constexpr std::chrono::milliseconds kTailPoll{1};

// Page bytes a reply carries: 1 to 254 (255 and 256 never come from the meter).
constexpr int kCarriedPageBytes = MeterLink::kPageReplyLength - 1;

bool samePageBytes(const PageBuffer& a, const PageBuffer& b)
{
    return std::equal(a.begin() + 1, a.begin() + 1 + kCarriedPageBytes, b.begin() + 1);
}

QString hexByte(int value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

} // namespace

MeterLink::MeterLink(SerialPort& port, WindowControls& controls, QObject* parent)
    : QObject(parent), m_port(port), m_controls(controls), m_quietCheck(new QTimer(this))
{
    m_quietCheck->setSingleShot(true);
    m_quietCheck->setTimerType(Qt::PreciseTimer);
    connect(m_quietCheck, &QTimer::timeout, this, &MeterLink::checkBurstQuiet);
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

QString MeterLink::pageName(int flashPage) const
{
    const int firstSlotPage = headerPage(0);
    const int lastSlotPage = headerPage(kSlotCount) - 1;
    if (flashPage < firstSlotPage || flashPage > lastSlotPage)
        return QStringLiteral("page %1").arg(flashPage);
    return QStringLiteral("page %1 (slot %2)")
        .arg(flashPage)
        .arg((flashPage - firstSlotPage) / kPagesPerSlot);
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
    // Another port may lead to another meter: what its replies look like is learned afresh.
    m_baseline = {};
    m_served = {};
    m_lastReply.clear();
    m_lastReplyPage = -1;
    m_strayBytes = 0;
    m_settle = kLearningQuiet;
    m_pageRequestsSent = 0;
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
    QByteArray input;
    if (eventCode == SerialPort::kReceivedData) {
        // Every receive event starts a reply afresh; bytes beyond the expected length are dropped.
        m_receivePosition = 0;
        input = m_port.readAll();
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
    const qsizetype burstBytesBefore = m_burst ? m_burst->bytes.size() : 0;
    // Whatever arrived meanwhile is not part of this reply (but it was on the line).
    noteArrivedBytes(input + m_port.readAll());

    if (m_burst && m_replyComplete && !m_burst->complete) {
        // Keep the reply now: a later short event must not undo a reply that has completed.
        m_burst->complete = true;
        m_burst->bytesBeforeReply = burstBytesBefore > 0;
        m_burst->reply = m_replyStore;
        m_sinceComplete.start();
        m_quietCheck->start(0);
    }
}

void MeterLink::noteArrivedBytes(const QByteArray& bytes)
{
    if (m_burst)
        m_burst->bytes += bytes;
    else
        m_strayBytes += bytes.size();
}

bool MeterLink::ReadFlash(int flashPage)
{
    if (m_reading) {
        m_lastError = QStringLiteral("A page read is already in progress.");
        return false;
    }
    if (flashPage < 0 || flashPage > kHighestPage) {
        m_lastError = QStringLiteral("Page %1 does not exist on the meter.").arg(flashPage);
        return false;
    }
    if (!m_port.isOpen() && !OpenCom())
        return false;

    m_reading = true;
    m_cancelled = false;
    m_lostReason.clear();
    const bool read = m_verifyPages ? readVerified(flashPage) : readAndCheck(flashPage);
    m_reading = false;
    if (m_cancelled)
        m_lastError.clear(); // cut short by Quit: nothing to tell
    return read;
}

bool MeterLink::readAndCheck(int flashPage)
{
    const WaitEnd quiet = waitForQuietLine(m_settle);
    if (quiet != WaitEnd::Done) {
        describeFailedWait(quiet, flashPage, {});
        return false;
    }
    noteArrivedBytes(m_port.readAll());
    // Bytes after the last page's reply may have belonged to it: that page is checked first.
    if (m_strayBytes > 0 && m_served.page >= 0)
        m_served.doubtful = true;
    m_strayBytes = 0;
    if (!confirmServedPage())
        return false;

    PageBuffer page{};
    bool departed = false;
    if (!readPageChecked(flashPage, page, departed))
        return false;
    // A departing burst may have held the tail of the reply before it.
    if (departed && m_served.page >= 0)
        m_served.doubtful = true;
    if (!confirmServedPage())
        return false;

    std::copy(page.begin() + 1, page.end(), m_pageBuffer.begin() + 1);
    m_served = {flashPage, m_pageBuffer, false};
    m_lastError.clear();
    return true;
}

bool MeterLink::readVerified(int flashPage)
{
    // Two reads must agree on the page bytes; when they do not, a third decides.
    std::array<PageBuffer, 3> reads{};
    for (std::size_t n = 0; n < reads.size(); ++n) {
        if (!readAndCheck(flashPage))
            return false;
        reads[n] = m_pageBuffer;
        for (std::size_t earlier = 0; earlier < n; ++earlier) {
            if (samePageBytes(reads[earlier], reads[n]))
                return true;
        }
    }
    m_lastError = QStringLiteral("Three reads of %1 from the meter on %2 all differed, so the page "
                                 "could not be verified and nothing was taken from it.\n\nCheck "
                                 "the cable; then %3.")
                      .arg(pageName(flashPage), currentPortName(), m_controls.retryAdvice());
    return false;
}

bool MeterLink::confirmServedPage()
{
    if (!m_served.doubtful || m_served.page < 0)
        return true;
    const ServedPage served = std::exchange(m_served, {});
    PageBuffer again{};
    bool departed = false;
    if (!readPageChecked(served.page, again, departed))
        return false;
    if (!samePageBytes(again, served.bytes)) {
        m_lastError =
            QStringLiteral("The meter on %1 sent bytes that belonged to no reply, and %2, read "
                           "again to check it, came back different: what was read from the meter "
                           "just before this may be wrong, so nothing more is read now.\n\nCheck "
                           "that no other device shares the line; then %3.")
                .arg(currentPortName(), pageName(served.page), m_controls.retryAdvice());
        return false;
    }
    m_served = {served.page, served.bytes, false};
    return true;
}

bool MeterLink::readPageChecked(int flashPage, PageBuffer& page, bool& departed)
{
    QStringList departures;
    Burst previous;
    for (int read = 1; read <= kMostReadsOfAPage; ++read) {
        if (read > 1) {
            // Read again only once the line is quiet, so the glitch is over.
            const WaitEnd quiet = waitForQuietLine(kLearningQuiet);
            if (quiet != WaitEnd::Done) {
                describeFailedWait(quiet, flashPage, {});
                return false;
            }
            m_port.readAll();
        }
        m_expectedReplyLength = kPageReplyLength;
        // Bytes after the last page's reply, just before this request: that page is checked.
        if (!m_port.readAll().isEmpty() && m_served.page >= 0)
            m_served.doubtful = true;
        m_port.expectBurst(kPageReplyLength);
        m_strayBytes = 0;
        m_replyComplete = false;
        if (!sendPageRequest(flashPage))
            return false;
        Burst burst;
        const WaitEnd end = collectBurst(burst);
        m_replyComplete = false;
        if (end != WaitEnd::Done) {
            describeFailedWait(end, flashPage, burst);
            return false;
        }

        const Departure departs = departure(burst, flashPage, read > 1);
        QString why = departs.what;
        // Two reads in a row that agree byte for byte outweigh what earlier replies taught: the
        // meter's byte 0 changes from reply to reply, or the meter now answers differently (the
        // page handed out before is then checked again under the new baseline).
        if (departs.teachable && !previous.bytes.isEmpty() && burst.bytes == previous.bytes) {
            if (burst.bytes.size() == m_baseline.length)
                m_baseline.firstByte = ReplyBaseline::kUnchecked;
            else
                learnFrom(burst);
            why.clear();
        }
        if (why.isEmpty()) {
            if (m_baseline.length == 0)
                learnFrom(burst);
            m_lastReply = burst.bytes;
            m_lastReplyPage = flashPage;
            if (burst.firstByteDelay >= 0 &&
                (m_baseline.quickestAnswer < 0 || burst.firstByteDelay < m_baseline.quickestAnswer))
                m_baseline.quickestAnswer = burst.firstByteDelay;
            for (int n = 1; n <= kCarriedPageBytes; ++n)
                page[std::size_t(n)] = burst.reply[std::size_t(n)];
            return true;
        }
        departed = true;
        departures.append(why);
        previous = burst;
        m_settle = kLearningQuiet;
    }
    describeDisagreeingReads(flashPage, departures, kMostReadsOfAPage);
    return false;
}

void MeterLink::learnFrom(const Burst& burst)
{
    m_baseline.length = int(burst.bytes.size());
    m_baseline.firstByte = quint8(burst.bytes.at(0));
}

MeterLink::Departure MeterLink::departure(const Burst& burst, int flashPage,
                                          bool afterQuietLine) const
{
    if (burst.bytesBeforeReply)
        return {QStringLiteral("brought bytes before the reply")};
    if (m_baseline.length == 0)
        return {};
    const int length = int(burst.bytes.size());
    if (length != m_baseline.length)
        return {QStringLiteral("were %1 bytes long where this meter sends %2")
                    .arg(length)
                    .arg(m_baseline.length),
                true};
    const qint64 quickest = afterQuietLine ? -1 : m_baseline.quickestAnswer;
    if (quickest >= kShortestJudgedAnswer.count() && burst.firstByteDelay >= 0 &&
        burst.firstByteDelay * 2 < quickest)
        return {QStringLiteral("began %1 ms after the request, sooner than this meter answers "
                               "(%2 ms): they answered earlier requests")
                    .arg(double(burst.firstByteDelay) / 1000.0, 0, 'f', 1)
                    .arg(double(quickest) / 1000.0, 0, 'f', 1)};
    if (quickest >= kShortestJudgedAnswer.count() && burst.firstByteDelay > 2 * quickest &&
        flashPage != m_lastReplyPage && burst.bytes == m_lastReply)
        return {QStringLiteral("repeated the reply to page %1, late").arg(m_lastReplyPage)};
    const int firstByte = quint8(burst.bytes.at(0));
    if (m_baseline.firstByte != ReplyBaseline::kUnchecked && firstByte != m_baseline.firstByte)
        return {QStringLiteral("began with %1 where this meter's replies begin with %2")
                    .arg(hexByte(firstByte), hexByte(m_baseline.firstByte)),
                true};
    return {};
}

void MeterLink::describeDisagreeingReads(int flashPage, const QStringList& departures, int reads)
{
    // Name what was seen most often.
    QHash<QString, int> counts;
    for (const QString& why : departures)
        ++counts[why];
    QString most = departures.first();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(most))
            most = it.key();
    m_lastError = QStringLiteral("%1 of %2 reads of %3 on %4 %5, so the page could not be read "
                                 "for sure and nothing was taken from it.\n\nCheck the cable and "
                                 "that no other device shares the line; then %6.")
                      .arg(counts.value(most))
                      .arg(reads)
                      .arg(pageName(flashPage), currentPortName(), most, m_controls.retryAdvice());
}

MeterLink::WaitEnd MeterLink::waitForQuietLine(std::chrono::milliseconds settle)
{
    if (m_sinceTimeout.isValid()) {
        const qint64 left = kLateAnswerGrace.count() - m_sinceTimeout.elapsed();
        if (left > 0) {
            const WaitEnd end = pause(std::chrono::milliseconds(left));
            if (end != WaitEnd::Done)
                return end;
        }
        m_sinceTimeout.invalidate();
    }
    QElapsedTimer waited;
    waited.start();
    for (qint64 quiet = m_port.quietMilliseconds(); quiet < settle.count();
         quiet = m_port.quietMilliseconds()) {
        if (waited.elapsed() >= kQuietLineDeadline.count())
            return WaitEnd::NeverQuiet;
        const WaitEnd end = pause(std::chrono::milliseconds(settle.count() - quiet));
        if (end != WaitEnd::Done)
            return end;
    }
    return WaitEnd::Done;
}

bool MeterLink::sendPageRequest(int flashPage)
{
    ++m_pageRequestsSent;
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

MeterLink::WaitEnd MeterLink::collectBurst(Burst& burst)
{
    m_burstDone = false;
    m_burst = &burst;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, [&] {
        if (!burst.complete)
            loop.quit();
    });
    timeout.start(kReplyTimeout);
    WaitEnd end = runWaitLoop(loop);
    m_quietCheck->stop();
    burst.firstByteDelay = m_port.firstByteDelayMicroseconds();
    m_burst = nullptr;
    if (end == WaitEnd::Done && !m_burstDone)
        end = burst.complete ? WaitEnd::NeverQuiet : WaitEnd::TimedOut;
    return end;
}

void MeterLink::checkBurstQuiet()
{
    if (!m_burst || !m_waitLoop)
        return;
    m_burst->bytes += m_port.readAll();
    // A reply of the learned length needs only a short quiet line after it; anything else (the
    // first reply, or one already too long or short) waits for the line to be quiet for sure.
    const qint64 gap = m_port.lastBurstMaxGapMilliseconds();
    const bool fitsLength = m_baseline.length == m_burst->bytes.size();
    const qint64 shortQuiet = gap + kQuietMargin.count();
    const qint64 needed =
        fitsLength ? shortQuiet : std::max<qint64>(shortQuiet, kLearningQuiet.count());
    const qint64 quiet = m_port.quietMilliseconds();
    const bool shortOfLength = m_burst->bytes.size() < m_baseline.length;
    if (quiet >= needed) {
        m_settle = std::chrono::milliseconds(shortQuiet);
        m_burstDone = true;
        m_waitLoop->quit();
        return;
    }
    if (m_sinceComplete.elapsed() >= kQuietLineDeadline.count()) {
        m_waitLoop->quit(); // never quiet
        return;
    }
    // While the learned length is not reached the rest is due any moment: look again soon.
    m_quietCheck->start(shortOfLength ? kTailPoll : std::chrono::milliseconds(needed - quiet));
}

void MeterLink::describeFailedWait(WaitEnd end, int flashPage, const Burst& burst)
{
    switch (end) {
    case WaitEnd::Done:
    case WaitEnd::Cancelled:
        m_lastError.clear();
        return;
    case WaitEnd::PortLost:
        m_lastError =
            QStringLiteral("The meter's port %1 went away while reading page %2 (%3).\n\n"
                           "Check the cable, then %4.")
                .arg(currentPortName())
                .arg(flashPage)
                .arg(m_lostReason.isEmpty() ? QStringLiteral("the port was closed") : m_lostReason,
                     m_controls.retryAdvice());
        return;
    case WaitEnd::NeverQuiet:
        m_settle = kLearningQuiet;
        m_lastError = QStringLiteral("%1 was not read: the line from the meter on %2 never went "
                                     "quiet: another device may be sending on it.\n\nCheck what "
                                     "else is connected to the line; then %3.")
                          .arg(pageName(flashPage), currentPortName(), m_controls.retryAdvice());
        m_lastError[0] = m_lastError[0].toUpper();
        return;
    case WaitEnd::TimedOut:
        m_settle = kLearningQuiet;
        m_missingReplyBytes = int(burst.bytes.size());
        describeMissingReply(flashPage);
        return;
    }
}

void MeterLink::describeMissingReply(int flashPage)
{
    m_sinceTimeout.start();
    if (m_missingReplyBytes > 0) {
        // Some of a reply came: say how much, against what this meter sends.
        const QString expected = m_baseline.length > 0
                                     ? QString::number(m_baseline.length)
                                     : QStringLiteral("at least %1").arg(kPageReplyLength);
        const QString what =
            m_missingReplyBytes < std::max(m_baseline.length, int(kPageReplyLength))
                ? QStringLiteral("stopped after %1 of %2 bytes")
                      .arg(m_missingReplyBytes)
                      .arg(expected)
                : QStringLiteral("came in pieces with long pauses between them (%1 bytes in all, "
                                 "where a reply is %2 in one go)")
                      .arg(m_missingReplyBytes)
                      .arg(expected);
        m_lastError =
            QStringLiteral("The meter's reply to the request for %1 on %2 %3.\n\nCheck "
                           "the cable and that the meter is not busy measuring; then %4.")
                .arg(pageName(flashPage), currentPortName(), what, m_controls.retryAdvice());
        return;
    }
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
    if (m_reading) {
        m_lostReason = reason;
        return;
    }
    m_controls.reportError(QStringLiteral("Port lost"),
                           QStringLiteral("The meter's port %1 went away (%2).\n\nCheck the cable, "
                                          "then %3.")
                               .arg(currentPortName(), reason, m_controls.retryAdvice()));
}

MeterLink::WaitEnd MeterLink::pause(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    return runWaitLoop(loop);
}

MeterLink::WaitEnd MeterLink::runWaitLoop(QEventLoop& loop)
{
    if (m_cancelled)
        return WaitEnd::Cancelled;
    if (!m_lostReason.isEmpty() || !m_port.isOpen())
        return WaitEnd::PortLost;
    m_waitLoop = &loop;
    loop.exec();
    m_waitLoop = nullptr;
    if (m_cancelled)
        return WaitEnd::Cancelled;
    if (!m_lostReason.isEmpty() || !m_port.isOpen())
        return WaitEnd::PortLost;
    return WaitEnd::Done;
}

} // namespace cablemeter
