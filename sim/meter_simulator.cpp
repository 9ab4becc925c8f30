#include "sim/meter_simulator.h"

#include "sim/request_parser.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace cablemeter::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kPageCommand = char(0xFA);
constexpr char kBeepCommand = char(0x03);
constexpr int kPageRequestLength = 6;
constexpr int kBeepRequestLength = 5;
constexpr int kCommandIndex = 1;
constexpr int kPageHighIndex = 3;
constexpr int kPageLowIndex = 4;
constexpr char kErasedByte = char(0xFF);
constexpr int kReadChunk = 512;
// A frame left unfinished for this long is dropped, as the meter's receiver would time out.
constexpr std::chrono::milliseconds kInterByteTimeout{100};

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// Random-looking but reproducible bytes (a linear congruential generator), different per seed.
QByteArray garbageBytes(int count, unsigned seed)
{
    QByteArray bytes(count, Qt::Uninitialized);
    unsigned state = seed * 2654435761u + 12345u;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 16);
    }
    return bytes;
}

// How many bytes the line carries in `duration` at 19200 baud.
int bytesInLineTime(std::chrono::milliseconds duration)
{
    return int(duration.count() * kBaudRate / kBitsPerByte / 1000);
}

} // namespace

MeterSimulator::MeterSimulator(QByteArray flashImage, Pacing pacing)
    : m_image(std::move(flashImage)), m_pacing(pacing)
{
}

MeterSimulator::~MeterSimulator()
{
    closeLine();
}

bool MeterSimulator::start()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopRequested) {
            m_errorString = QStringLiteral("the line was closed");
            return false;
        }
    }
    if (m_running || m_masterFd >= 0 || !openPty())
        return false;
    m_running = true;
    m_thread = std::thread([this] { serve(); });
    return true;
}

bool MeterSimulator::openPty()
{
    const auto fail = [this](const char* step) {
        m_errorString = QStringLiteral("%1: %2").arg(QLatin1String(step),
                                                     QString::fromLocal8Bit(std::strerror(errno)));
        closeDescriptors();
        return false;
    };
    m_masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_masterFd < 0)
        return fail("posix_openpt");
    if (grantpt(m_masterFd) != 0)
        return fail("grantpt");
    if (unlockpt(m_masterFd) != 0)
        return fail("unlockpt");
    const char* slaveName = ptsname(m_masterFd);
    if (slaveName == nullptr)
        return fail("ptsname");
    m_devicePath = QString::fromLocal8Bit(slaveName);
    m_slaveFd = ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveFd < 0)
        return fail("open slave");
    // Raw mode: no echo, no line editing, no CR/LF translation of the binary traffic.
    termios settings{};
    if (tcgetattr(m_slaveFd, &settings) != 0)
        return fail("tcgetattr");
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    if (tcsetattr(m_slaveFd, TCSANOW, &settings) != 0)
        return fail("tcsetattr");
    // Non-blocking master: every wait goes through poll(), which the stop pipe can interrupt.
    if (fcntl(m_masterFd, F_SETFL, fcntl(m_masterFd, F_GETFL) | O_NONBLOCK) != 0)
        return fail("fcntl");
    if (pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail("pipe");
    return true;
}

void MeterSimulator::closeLine()
{
    stopServing();
    closeDescriptors();
}

void MeterSimulator::stopServing()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    m_wakeUp.notify_all();
    if (m_wakePipe[1] >= 0) {
        const char wake = 1;
        [[maybe_unused]] const auto written = ::write(m_wakePipe[1], &wake, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
    m_recordsChanged.notify_all();
}

void MeterSimulator::closeDescriptors()
{
    for (int* fd : {&m_masterFd, &m_slaveFd, &m_wakePipe[0], &m_wakePipe[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void MeterSimulator::serve()
{
    RequestParser parser;
    Clock::time_point lastByteAt = Clock::now();
    char buffer[kReadChunk];
    while (true) {
        pollfd fds[2] = {{m_masterFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[1].revents != 0)
            break;
        const ssize_t count = ::read(m_masterFd, buffer, sizeof buffer);
        if (count <= 0) {
            // Nothing to read despite poll (EIO while no slave is open cannot happen, as we hold
            // one): back off instead of spinning.
            if (!sleepUntil(Clock::now() + kUartTick))
                break;
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (parser.hasPartialFrame() && now - lastByteAt > kInterByteTimeout)
            parser.reset();
        lastByteAt = now;
        for (const RequestFrame& frame : parser.feed(QByteArray(buffer, int(count)))) {
            if (!frame.checksumOk) {
                {
                    std::lock_guard lock(m_mutex);
                    m_rejected.append(frame.bytes);
                }
                m_recordsChanged.notify_all();
                log(QStringLiteral("ignored (bad checksum): %1").arg(hexOf(frame.bytes)));
                continue;
            }
            handleFrame(frame.bytes);
            std::lock_guard lock(m_mutex);
            if (m_stopRequested)
                return;
        }
    }
}

void MeterSimulator::handleFrame(const QByteArray& frame)
{
    const bool isPageRequest =
        frame.size() == kPageRequestLength && frame.at(kCommandIndex) == kPageCommand;
    const bool isBeep =
        frame.size() == kBeepRequestLength && frame.at(kCommandIndex) == kBeepCommand;
    const int page = isPageRequest ? static_cast<unsigned char>(frame.at(kPageHighIndex)) * 256 +
                                         static_cast<unsigned char>(frame.at(kPageLowIndex))
                                   : -1;
    int request = 0;
    {
        std::lock_guard lock(m_mutex);
        m_frames.append(frame);
        if (isPageRequest) {
            m_pages.append(page);
            request = ++m_pageRequestsSinceFault;
        }
        if (isBeep)
            ++m_beeps;
    }
    m_recordsChanged.notify_all();
    if (isPageRequest) {
        answerPageRequest(frame, page, request);
    } else if (isBeep) {
        log(QStringLiteral("beep"));
        answerBeep(frame);
    } else {
        log(QStringLiteral("ignored (unknown request): %1").arg(hexOf(frame)));
    }
}

QList<MeterSimulator::ReplyPart> MeterSimulator::replyParts(const QByteArray& frame, int page,
                                                            int request)
{
    using std::chrono::milliseconds;
    std::lock_guard lock(m_mutex);
    const unsigned seed = unsigned(m_pages.size());
    const int made = m_repliesMade++;
    char firstByte = kEchoByte;
    if (m_traits.firstByte == MeterTraits::FirstByte::Counting)
        firstByte = char(made);
    else if (m_traits.firstByte == MeterTraits::FirstByte::Random)
        firstByte = garbageBytes(1, seed).at(0);
    const QByteArray reply = firstByte + pageOf(m_image, page);
    const QByteArray previous = std::exchange(m_lastReply, reply);
    // A new answer time for every reply, reproducibly, within the meter's range.
    const qint64 spread = (m_traits.slowestAnswer - m_traits.fastestAnswer).count();
    const milliseconds answer =
        m_traits.fastestAnswer +
        milliseconds(spread == 0 ? 0
                                 : qint64(quint8(garbageBytes(1, seed + 1).at(0))) % (spread + 1));

    QList<ReplyPart> parts;
    if (m_traits.echo)
        parts.append({milliseconds(0), frame});
    if (!m_fault.strikes(request)) {
        parts.append({answer, reply});
        return parts;
    }
    QByteArray changed = reply;
    switch (m_fault.kind) {
    case ReplyFault::Kind::None:
        parts.append({answer, reply});
        break;
    case ReplyFault::Kind::NoAnswer:
        break;
    case ReplyFault::Kind::ShortReply:
        parts.append({answer, reply.left(m_fault.bytes)});
        break;
    case ReplyFault::Kind::SplitReply:
        parts.append({answer, reply.left(m_fault.bytes)});
        parts.append({milliseconds(m_fault.milliseconds), reply.mid(m_fault.bytes)});
        break;
    case ReplyFault::Kind::LongReply:
        parts.append(
            {answer, reply + QByteArray(std::max(0, m_fault.bytes - kReplyBytes), kFillerByte)});
        break;
    case ReplyFault::Kind::Garbage:
        parts.append({answer, garbageBytes(m_fault.bytes, seed)});
        break;
    case ReplyFault::Kind::Delay:
        parts.append({answer + milliseconds(m_fault.milliseconds), reply});
        break;
    case ReplyFault::Kind::StrayAfter:
        parts.append({answer, reply});
        parts.append({milliseconds(m_fault.milliseconds), garbageBytes(m_fault.bytes, seed)});
        break;
    case ReplyFault::Kind::StrayBefore:
        parts.append({answer, garbageBytes(m_fault.bytes, seed) + reply});
        break;
    case ReplyFault::Kind::Repeat:
        parts.append({answer, reply});
        parts.append({milliseconds(m_fault.milliseconds), reply});
        break;
    case ReplyFault::Kind::Noise:
        parts.append(
            {answer,
             reply + garbageBytes(bytesInLineTime(milliseconds(m_fault.milliseconds)), seed)});
        break;
    case ReplyFault::Kind::Corrupt:
        if (m_fault.bytes < changed.size())
            changed[m_fault.bytes] = char(~changed.at(m_fault.bytes));
        parts.append({answer, changed});
        break;
    case ReplyFault::Kind::LoseByte:
        changed.remove(m_fault.bytes, 1);
        parts.append({answer, changed});
        break;
    case ReplyFault::Kind::Previous:
        parts.append({answer, previous.isEmpty() ? reply : previous});
        break;
    case ReplyFault::Kind::WrongBaud: {
        // At another baud rate each of the meter's bytes spans a different number of our frames;
        // the driver counts each garbled frame as a line error.
        const QByteArray garbled =
            garbageBytes(int(reply.size() * kBaudRate / m_fault.bytes), seed);
        m_lineErrors += quint64(garbled.size());
        parts.append({answer, garbled});
        break;
    }
    }
    return parts;
}

bool MeterSimulator::sendParts(const QList<ReplyPart>& parts, qsizetype& sent)
{
    const Pacing pacing = this->pacing();
    // The pty hands us the request the instant it was written; on a real line the meter has it
    // only after its last byte, six byte times later.
    Clock::time_point start = Clock::now();
    if (pacing != Pacing::Unpaced)
        start += lineTimeOf(kPageRequestLength);
    for (const ReplyPart& part : parts) {
        const std::optional<Clock::time_point> end =
            sendPaced(part.bytes, start + part.delayBefore, pacing);
        if (!end)
            return false;
        start = *end;
        sent += part.bytes.size();
    }
    return true;
}

void MeterSimulator::answerPageRequest(const QByteArray& frame, int page, int request)
{
    const QList<ReplyPart> parts = replyParts(frame, page, request);
    {
        std::lock_guard lock(m_mutex);
        m_lastReplyWrites.clear();
    }
    qsizetype sent = 0;
    if (!sendParts(parts, sent))
        return;
    log(QStringLiteral("page %1: %2 bytes sent (%3, fault %4)")
            .arg(page)
            .arg(sent)
            .arg(pacingName(pacing()), fault().toString()));
    {
        std::lock_guard lock(m_mutex);
        ++m_handledPageRequests;
    }
    m_recordsChanged.notify_all();
}

void MeterSimulator::answerBeep(const QByteArray& frame)
{
    const MeterTraits traits = [this] {
        std::lock_guard lock(m_mutex);
        return m_traits;
    }();
    QList<ReplyPart> parts;
    if (traits.echo)
        parts.append({std::chrono::milliseconds(0), frame});
    if (traits.answersBeep)
        parts.append({traits.fastestAnswer, QByteArray(1, kBeepAnswer)});
    qsizetype sent = 0;
    sendParts(parts, sent);
}

std::optional<Clock::time_point> MeterSimulator::sendPaced(const QByteArray& bytes,
                                                           Clock::time_point start, Pacing pacing)
{
    if (!sleepUntil(start))
        return std::nullopt;
    Clock::time_point lastDue = start;
    int offset = 0;
    for (const PacedChunk& chunk : planBurst(int(bytes.size()), pacing)) {
        lastDue = start + chunk.at;
        if (!sleepUntil(lastDue) || !writeAll(bytes.constData() + offset, chunk.bytes))
            return std::nullopt;
        offset += chunk.bytes;
        std::lock_guard lock(m_mutex);
        m_lastReplyWrites.append(chunk.bytes);
    }
    return lastDue;
}

bool MeterSimulator::writeAll(const char* data, int length)
{
    while (length > 0) {
        const ssize_t written = ::write(m_masterFd, data, size_t(length));
        if (written > 0) {
            data += written;
            length -= int(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            log(QStringLiteral("write failed: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        // The program is not reading and the pty's buffer is full: wait for room or a stop.
        pollfd fds[2] = {{m_masterFd, POLLOUT, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return false;
        if (fds[1].revents != 0)
            return false;
    }
    return true;
}

bool MeterSimulator::sleepUntil(Clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    return !m_wakeUp.wait_until(lock, deadline, [this] { return m_stopRequested; });
}

void MeterSimulator::log(const QString& line) const
{
    if (m_logger)
        m_logger(line);
}

void MeterSimulator::setPacing(Pacing pacing)
{
    std::lock_guard lock(m_mutex);
    m_pacing = pacing;
}

Pacing MeterSimulator::pacing() const
{
    std::lock_guard lock(m_mutex);
    return m_pacing;
}

void MeterSimulator::setFault(const ReplyFault& fault)
{
    std::lock_guard lock(m_mutex);
    m_fault = fault;
    m_pageRequestsSinceFault = 0;
}

ReplyFault MeterSimulator::fault() const
{
    std::lock_guard lock(m_mutex);
    return m_fault;
}

void MeterSimulator::setTraits(const MeterTraits& traits)
{
    std::lock_guard lock(m_mutex);
    m_traits = traits;
}

QList<QByteArray> MeterSimulator::receivedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

QList<QByteArray> MeterSimulator::rejectedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_rejected;
}

QList<int> MeterSimulator::requestedPages() const
{
    std::lock_guard lock(m_mutex);
    return m_pages;
}

int MeterSimulator::beepCount() const
{
    std::lock_guard lock(m_mutex);
    return m_beeps;
}

int MeterSimulator::handledPageRequestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_handledPageRequests;
}

QList<int> MeterSimulator::lastReplyWrites() const
{
    std::lock_guard lock(m_mutex);
    return m_lastReplyWrites;
}

void MeterSimulator::clearRecords()
{
    std::lock_guard lock(m_mutex);
    m_frames.clear();
    m_rejected.clear();
    m_pages.clear();
    m_beeps = 0;
    m_handledPageRequests = 0;
    m_lastReplyWrites.clear();
}

bool MeterSimulator::waitForFrames(int count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_recordsChanged.wait_for(lock, timeout, [&] { return m_frames.size() >= count; });
}

bool MeterSimulator::waitForHandledPageRequests(int count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_recordsChanged.wait_for(lock, timeout, [&] { return m_handledPageRequests >= count; });
}

QByteArray MeterSimulator::pageOf(const QByteArray& flashImage, int page)
{
    QByteArray bytes(kPageBytes, kErasedByte);
    const qsizetype offset = qsizetype(page) * kPageBytes;
    if (page >= 0 && offset < flashImage.size()) {
        const QByteArray stored = flashImage.mid(offset, kPageBytes);
        bytes.replace(0, stored.size(), stored);
    }
    return bytes;
}

} // namespace cablemeter::sim
