#include "link/meter_link.h"

#include "link/link_observer.h"
#include "link/request_frame.h"
#include "platform/port_advice.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"

#include <QColor>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace cablemeter {

namespace {

const QColor kPortOpenColour{0, 255, 255};
const QColor kPortClosedColour{255, 0, 0};

using Finding = ReplyJudge::Finding;
using Verdict = ReplyJudge::Verdict;
using std::chrono::milliseconds;

bool samePageBytes(const PageBuffer& a, const PageBuffer& b)
{
    return std::equal(a.begin() + 1, a.begin() + 1 + ReplyJudge::kCarriedPageBytes, b.begin() + 1);
}

constexpr qint64 kMicrosecondsPerMillisecond = 1000;

const QString kNothingTaken = QStringLiteral("Nothing was taken from the page.");

} // namespace

MeterLink::MeterLink(SerialPort& port, PortMap& ports, LinkObserver& observer,
                     ChoosePort choosePort, QObject* parent)
    : QObject(parent), m_port(port), m_ports(ports), m_observer(observer),
      m_choosePort(std::move(choosePort)), m_choice(m_choosePort()), m_burstCheck(new QTimer(this))
{
    m_burstCheck->setSingleShot(true);
    m_burstCheck->setTimerType(Qt::PreciseTimer);
    connect(m_burstCheck, &QTimer::timeout, this, &MeterLink::lookAtBurst);
    connect(&m_port, &SerialPort::commEvent, this, &MeterLink::MSComm1_OnComm);
    connect(&m_port, &SerialPort::portLost, this, &MeterLink::onPortLost);
}

MeterLink::~MeterLink()
{
    cancel();
}

QString MeterLink::portName() const
{
    return m_ports.displayName(m_choice);
}

void MeterLink::describeChosenPort()
{
    const PortChoice chosen = m_choosePort();
    m_ports.refresh();
    m_observer.showPortDescription(m_ports.displayName(chosen));
}

QString MeterLink::retryAdvice() const
{
    return m_observer.portAdvice().retry;
}

QString MeterLink::pageName(int flashPage) const
{
    const int lastSlotPage = headerPage(kSlotCount) - 1;
    if (flashPage < kFirstSlotPage || flashPage > lastSlotPage)
        return QStringLiteral("page %1").arg(flashPage);
    return QStringLiteral("page %1 (slot %2)")
        .arg(flashPage)
        .arg((flashPage - kFirstSlotPage) / kPagesPerSlot);
}

bool MeterLink::OpenCom()
{
    if (m_port.isOpen())
        m_port.close();
    m_choice = m_choosePort();
    m_ports.refresh(); // an adapter plugged in since the last open is found now
    m_observer.showPortDescription(portName());
    const OpenResult result = openChosenPort(m_port, m_ports, m_choice);
    if (!result.ok()) {
        // The port is closed now, whatever it was before: the indicator must not say open.
        m_observer.showIndicator(kPortClosedColour);
        m_failure = describeOpenFailure(m_ports, m_choice, result, m_observer.portAdvice());
        return false;
    }
    m_port.readAll();
    // Another port may lead to another meter: what its replies look like is learned afresh.
    m_judge.forgetMeter();
    m_served = {};
    m_bytesBetweenReplies = 0;
    m_beepAnswerDue = false;
    m_settle = ReplyJudge::kSettledQuiet;
    m_pageRequestsSent = 0;
    m_sinceNoAnswer.invalidate();
    m_observer.showIndicator(kPortOpenColour);
    return true;
}

void MeterLink::Command1_Click()
{
    if (!OpenCom())
        m_observer.reportLinkFailure(QStringLiteral("Port not opened"), m_failure);
}

void MeterLink::Command2_Click()
{
    m_observer.showIndicator(kPortClosedColour);
    if (m_port.isOpen())
        m_port.close();
}

void MeterLink::Command4_Click()
{
    if (!m_port.isOpen()) {
        m_observer.reportLinkFailure(QStringLiteral("Beep not sent"),
                                     {QStringLiteral("The beep was not sent: %1 is not open.")
                                          .arg(m_ports.displayName(m_choosePort())),
                                      QStringLiteral("Press Open first, then press Beep.")});
        return;
    }
    // Whatever comes back before the next request (an echo, a meter's acknowledgement) is the
    // beep's answer, not stray bytes. Nothing waits for it.
    m_beepAnswerDue = true;
    for (char byte : beepRequest()) {
        if (!OUTCOM(quint8(byte))) {
            m_observer.reportLinkFailure(
                QStringLiteral("Beep not sent"),
                {QStringLiteral("The beep could not be sent to the meter on %1.").arg(portName()),
                 QStringLiteral("Check the cable, then %1.").arg(retryAdvice())});
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
    // Whatever is pending now is discarded by the handler, but it came from the meter all the
    // same: the judge sees every byte.
    noteArrivedBytes(input + m_port.readAll());
}

void MeterLink::noteArrivedBytes(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_burst) {
        m_burst->bytes += bytes;
        m_burstCheck->start(0);
    } else if (!m_beepAnswerDue) {
        m_bytesBetweenReplies += bytes.size();
    }
}

bool MeterLink::ReadFlash(int flashPage)
{
    if (m_reading) {
        m_failure = {QStringLiteral("Page %1 was not read: another read of the meter on %2 is "
                                    "under way.")
                         .arg(flashPage)
                         .arg(portName()),
                     QStringLiteral("Wait until it has ended, then try again.")};
        return false;
    }
    if (flashPage < 0 || flashPage > kHighestPage) {
        m_failure = {QStringLiteral("Page %1 does not exist on the meter.").arg(flashPage),
                     QStringLiteral("Ask for pages 0 to %1 only.").arg(kHighestPage)};
        return false;
    }
    if (!m_port.isOpen() && !OpenCom())
        return false;

    PageBuffer page{};
    const bool read = runRead([&] {
        return m_verifyPages ? readVerified(flashPage, page) : readChecked(flashPage, page);
    });
    if (read) {
        // Page bytes 1 to 254 come from the reply; 255 and 256 stay 0.
        std::copy(page.begin() + 1, page.begin() + 1 + ReplyJudge::kCarriedPageBytes,
                  m_pageBuffer.begin() + 1);
        m_failure = {};
    }
    return read;
}

void MeterLink::beginOperation()
{
    m_judge.beginOperation();
    m_served = {};
}

bool MeterLink::endOperation()
{
    if (m_reading || !m_port.isOpen() || m_served.page < 0)
        return true;
    // A reply that was really the tail of another shows itself by bytes after it.
    return runRead([this] {
        if (!settleLine(ReplyJudge::kSettledQuiet, m_served.page))
            return false;
        if (std::exchange(m_bytesBetweenReplies, 0) == 0)
            return true;
        return confirmServedPage();
    });
}

bool MeterLink::runRead(const std::function<bool()>& read)
{
    m_reading = true;
    m_cancelled = false;
    m_lostReason.clear();
    const bool done = read();
    m_reading = false;
    if (m_cancelled)
        m_failure = {}; // cut short by Quit: nothing to tell
    return done && !m_cancelled;
}

bool MeterLink::readChecked(int flashPage, PageBuffer& page)
{
    if (!settleLine(m_settle, flashPage))
        return false;
    bool checkServedPage = false;
    if (!readPage(flashPage, page, checkServedPage))
        return false;
    if (checkServedPage && !confirmServedPage())
        return false;
    m_served = {flashPage, page};
    return true;
}

bool MeterLink::readVerified(int flashPage, PageBuffer& page)
{
    PageBuffer first{};
    PageBuffer second{};
    if (!readChecked(flashPage, first) || !readChecked(flashPage, second))
        return false;
    if (samePageBytes(first, second)) {
        page = second;
        return true;
    }
    PageBuffer third{};
    if (!readChecked(flashPage, third))
        return false;
    if (samePageBytes(third, first) || samePageBytes(third, second)) {
        page = third;
        return true;
    }
    m_failure = {QStringLiteral("Three reads of %1 from the meter on %2 all differed, so the page "
                                "could not be verified.")
                     .arg(pageName(flashPage), portName()),
                 QStringLiteral("Check the cable and that no other device shares the line, then "
                                "%1.")
                     .arg(retryAdvice()),
                 kNothingTaken};
    return false;
}

bool MeterLink::readPage(int flashPage, PageBuffer& page, bool& checkServedPage)
{
    m_judge.beginPage();
    for (bool firstRequest = true;; firstRequest = false) {
        if (!firstRequest && !settleLine(m_settle, flashPage))
            return false;
        Burst burst;
        burst.bytesBeforeRequest = std::exchange(m_bytesBetweenReplies, 0);
        const WaitEnd end = collectBurst(flashPage, burst);
        if (end != WaitEnd::Done) {
            describeFailedWait(end, flashPage);
            return false;
        }
        const ReplyJudge::Judgement judgement = m_judge.judge(burst);
        checkServedPage = checkServedPage || judgement.checkServedPage;
        if (judgement.verdict == Verdict::Take) {
            for (int n = 1; n <= ReplyJudge::kCarriedPageBytes; ++n)
                page[std::size_t(n)] = quint8(burst.bytes.at(judgement.replyStart + n));
            // The next request may go out once the line has been quiet as long as inside this
            // reply.
            m_settle = burst.longestGap + ReplyJudge::kQuietMargin;
            return true;
        }
        m_settle = ReplyJudge::kSettledQuiet;
        if (judgement.finding == Finding::NoAnswer)
            m_sinceNoAnswer.start();
        if (judgement.verdict == Verdict::Fail) {
            describeFailedRead(flashPage, judgement, burst);
            return false;
        }
    }
}

bool MeterLink::confirmServedPage()
{
    if (m_served.page < 0)
        return true;
    const ServedPage served = std::exchange(m_served, {});
    PageBuffer again{};
    bool ignored = false;
    if (!settleLine(m_settle, served.page) || !readPage(served.page, again, ignored))
        return false;
    if (!samePageBytes(again, served.bytes)) {
        m_failure = {QStringLiteral("The meter on %1 sent bytes that belonged to no reply, and "
                                    "%2, read again to check it, came back different.")
                         .arg(portName(), pageName(served.page)),
                     QStringLiteral("Check that no other device shares the line, then %1.")
                         .arg(retryAdvice()),
                     QStringLiteral("What was read from the meter just before this may be wrong, "
                                    "so nothing more was read.")};
        return false;
    }
    m_served = served;
    return true;
}

bool MeterLink::settleLine(milliseconds quiet, int flashPage)
{
    if (m_sinceNoAnswer.isValid()) {
        const qint64 left = kLateAnswerGrace.count() - m_sinceNoAnswer.elapsed();
        if (left > 0) {
            const WaitEnd end = pause(milliseconds(left));
            if (end != WaitEnd::Done) {
                describeFailedWait(end, flashPage);
                return false;
            }
        }
        m_sinceNoAnswer.invalidate();
        // A late answer that came meanwhile answered nothing of ours.
        m_port.readAll();
        m_bytesBetweenReplies = 0;
    }
    QElapsedTimer waited;
    waited.start();
    for (qint64 sinceLastByte = m_port.quietMilliseconds(); sinceLastByte < quiet.count();
         sinceLastByte = m_port.quietMilliseconds()) {
        if (waited.elapsed() >= kQuietLineDeadline.count()) {
            describeFailedWait(WaitEnd::NeverQuiet, flashPage);
            return false;
        }
        const WaitEnd end = pause(milliseconds(quiet.count() - sinceLastByte));
        if (end != WaitEnd::Done) {
            describeFailedWait(end, flashPage);
            return false;
        }
    }
    noteArrivedBytes(m_port.readAll());
    return true;
}

bool MeterLink::sendPageRequest(int flashPage)
{
    ++m_pageRequestsSent;
    for (char byte : pageRequest(flashPage)) {
        if (!OUTCOM(quint8(byte))) {
            m_failure = {QStringLiteral("The request for %1 could not be sent to the meter on %2.")
                             .arg(pageName(flashPage), portName()),
                         QStringLiteral("Check the cable, then %1.").arg(retryAdvice())};
            return false;
        }
    }
    return true;
}

MeterLink::WaitEnd MeterLink::collectBurst(int flashPage, Burst& burst)
{
    m_expectedReplyLength = kPageReplyLength;
    m_port.expectBurst(kPageReplyLength);
    m_replyComplete = false;
    m_beepAnswerDue = false;
    burst.request = pageRequest(flashPage);
    const std::optional<quint64> errorsBefore = m_port.lineErrorCount();
    m_sinceRequest.start();
    if (!sendPageRequest(flashPage))
        return m_port.isOpen() ? WaitEnd::SendFailed : WaitEnd::PortLost;

    QEventLoop loop;
    m_burst = &burst;
    m_burstEnd = ReplyJudge::End::NotYet;
    m_burstCheck->start(0);
    WaitEnd end = runWaitLoop(loop);
    m_burstCheck->stop();
    m_burst = nullptr;
    m_replyComplete = false;
    if (end == WaitEnd::Done && m_burstEnd == ReplyJudge::End::NotYet)
        end = WaitEnd::Cancelled;
    const std::optional<quint64> errorsAfter = m_port.lineErrorCount();
    burst.lineErrors = errorsBefore && errorsAfter && *errorsAfter > *errorsBefore;
    return end;
}

void MeterLink::lookAtBurst()
{
    if (!m_burst || !m_waitLoop)
        return;
    m_burst->bytes += m_port.readAll();
    m_burst->sinceRequest = milliseconds(m_sinceRequest.elapsed());
    const qint64 firstByteDelay = m_port.firstByteDelayMicroseconds();
    m_burst->sinceFirstByte =
        m_burst->bytes.isEmpty()
            ? milliseconds(-1)
            : std::max(m_burst->sinceRequest - milliseconds(std::max<qint64>(firstByteDelay, 0) /
                                                            kMicrosecondsPerMillisecond),
                       milliseconds(0));
    m_burst->quiet = milliseconds(m_port.quietMilliseconds());
    m_burst->longestGap = milliseconds(m_port.lastBurstMaxGapMilliseconds());
    const ReplyJudge::Watch watch = m_judge.watch(*m_burst);
    if (watch.end != ReplyJudge::End::NotYet) {
        m_burstEnd = watch.end;
        m_waitLoop->quit();
        return;
    }
    m_burstCheck->start(watch.lookAgainIn);
}

void MeterLink::describeFailedRead(int flashPage, const ReplyJudge::Judgement& judgement,
                                   const Burst& burst)
{
    const QString page = pageName(flashPage);
    const QString port = portName();
    const int reads = m_judge.reads();
    const QString tries =
        reads == 1 ? QString() : QStringLiteral(" (%1 requests, the same each time)").arg(reads);
    const qsizetype length = burst.bytes.size() - judgement.replyStart;
    const int learned = m_judge.learnedLength();
    const QString expected = learned > 0 ? QString::number(learned)
                                         : QStringLiteral("at least %1").arg(kPageReplyLength);
    const QString checkCableAndMeter =
        QStringLiteral("Check the cable and that the meter is not busy measuring, then %1.")
            .arg(retryAdvice());
    switch (judgement.finding) {
    case Finding::Fits:
    case Finding::FirstReply:
    case Finding::Echoed:
    case Finding::NewLength:
        m_failure = {};
        return;
    case Finding::NoAnswer:
        describeNoAnswer(flashPage);
        return;
    case Finding::Stopped:
        m_failure = {
            QStringLiteral("The meter's reply to the request for %1 on %2 stopped after %3 "
                           "of %4 bytes%5.")
                .arg(page, port)
                .arg(length)
                .arg(expected, tries),
            checkCableAndMeter, kNothingTaken};
        return;
    case Finding::InPieces:
        m_failure = {QStringLiteral("The meter's reply to the request for %1 on %2 came in pieces "
                                    "with long pauses between them%3.")
                         .arg(page, port, tries),
                     checkCableAndMeter,
                     QStringLiteral("The last reply held %1 bytes in all, where a reply is %2 in "
                                    "one go. ")
                             .arg(length)
                             .arg(expected) +
                         kNothingTaken};
        return;
    case Finding::WrongLength:
        m_failure = {QStringLiteral("%1 reads of %2 on %3 departed from what this meter sends (the "
                                    "last was %4 bytes long where this meter sends %5).")
                         .arg(reads)
                         .arg(page, port)
                         .arg(length)
                         .arg(learned),
                     QStringLiteral("Check the cable and that no other device shares the line, "
                                    "then %1.")
                         .arg(retryAdvice()),
                     kNothingTaken};
        return;
    case Finding::LineErrors:
        m_failure = {QStringLiteral("The serial port %1 counted line errors (framing, parity, "
                                    "overrun or break) during %2 reads in a row of %3: the "
                                    "meter's bytes arrive garbled.")
                         .arg(port)
                         .arg(ReplyJudge::kMostReadsWithLineErrors)
                         .arg(page),
                     QStringLiteral("Set the meter's serial port to 19200 baud, 8 data bits, no "
                                    "parity, 1 stop bit (19200 8N1) and check the cable, then %1.")
                         .arg(retryAdvice()),
                     kNothingTaken};
        return;
    case Finding::NeverQuiet:
        describeFailedWait(WaitEnd::NeverQuiet, flashPage);
        return;
    }
}

void MeterLink::describeNoAnswer(int flashPage)
{
    const double limitSeconds = double(ReplyJudge::kAnswerLimit.count()) / 1000.0;
    if (m_judge.reads() > 1) {
        m_failure = {QStringLiteral("The meter on %1 stopped answering: it answered earlier "
                                    "requests, but not the %2 requests for %3 (%4 s each).")
                         .arg(portName())
                         .arg(m_judge.reads())
                         .arg(pageName(flashPage))
                         .arg(limitSeconds),
                     QStringLiteral("Check the cable and that the meter is switched on and not "
                                    "busy measuring, then %1.")
                         .arg(retryAdvice())};
        return;
    }
    const PortAdvice advice = m_observer.portAdvice();
    m_failure = {QStringLiteral("The meter did not answer the request for %1 on %2 within %3 s.")
                     .arg(pageName(flashPage), portName())
                     .arg(limitSeconds),
                 QStringLiteral("Check that the meter is switched on, not busy measuring and "
                                "connected to this port, or %1, then %2.")
                     .arg(advice.choosePort, advice.retry),
                 describeOtherPorts(m_ports, m_choice)};
}

void MeterLink::describeFailedWait(WaitEnd end, int flashPage)
{
    switch (end) {
    case WaitEnd::SendFailed:
        return; // sendPageRequest() said why
    case WaitEnd::Done:
    case WaitEnd::Cancelled:
        m_failure = {};
        return;
    case WaitEnd::PortLost:
        m_failure = describePortLost(
            QStringLiteral("%1 went away while %2 was read: the adapter was unplugged or stopped "
                           "working.")
                .arg(portName(), pageName(flashPage)),
            m_lostReason);
        return;
    case WaitEnd::NeverQuiet:
        m_failure = {QStringLiteral("%1 was not read: the line from the meter on %2 never went "
                                    "quiet: another device may be sending on it.")
                         .arg(pageName(flashPage), portName()),
                     QStringLiteral("Check what else is connected to the line, then %1.")
                         .arg(retryAdvice())};
        m_failure.what[0] = m_failure.what[0].toUpper();
        return;
    }
}

UserMessage MeterLink::describePortLost(const QString& what, const QString& reason) const
{
    // A port closed under the read (by Close, say) has no reason from the system.
    return {what, QStringLiteral("Plug the adapter in again, then %1.").arg(retryAdvice()),
            reason.isEmpty() ? QStringLiteral("The port was closed.")
                             : QStringLiteral("The system's reason: %1.").arg(reason)};
}

void MeterLink::cancel()
{
    m_cancelled = true;
    if (m_waitLoop)
        m_waitLoop->quit();
}

void MeterLink::onPortLost(const QString& reason)
{
    m_observer.showIndicator(kPortClosedColour);
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
    m_observer.reportLinkFailure(
        QStringLiteral("Port lost"),
        describePortLost(
            QStringLiteral("%1 went away: the adapter was unplugged or stopped working.")
                .arg(portName()),
            reason));
}

MeterLink::WaitEnd MeterLink::pause(milliseconds duration)
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
