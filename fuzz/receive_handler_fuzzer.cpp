// Drives the link's receive handler with arbitrary sequences of communication events, with page
// reads and operation ends in between whose requests (the first and any the link sends again to
// check) the port answers from the input, with answer times the input chooses, and checks the
// handler's state after every step and each read's result against a model of the reply checks.

#include "fuzz_check.h"
#include "link/meter_link.h"
#include "link/request_frame.h"
#include "qt_fuzz_application.h"
#include "support/fake_serial_port.h"
#include "support/fake_window_controls.h"
#include "support/test_port_map.h"

#include <QCoreApplication>
#include <QTimer>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

using namespace cablemeter;
using cablemeter::fuzzing::fuzzCheck;
using cablemeter::testing::FakeSerialPort;
using cablemeter::testing::FakeWindowControls;

namespace {

// What one step of the input does.
enum class Step {
    DataEvent,  // bytes arrive with the received-data event
    OtherEvent, // bytes arrive with any other event code
    PageRead,   // a page read that the port answers with a few events
    PortLost,   // the device goes away
    PortClosed, // the user presses Close
    OperationBegins,
    OperationEnds, // the link checks the last page, and the port answers what it asks again
    VerifyToggled, // every page read twice, or once
    kMaxValue = VerifyToggled
};

// A chunk can be longer than the reply store, so that over-long bursts are tried too.
constexpr int kLongestChunk = MeterLink::kReplyStoreSize + 75;
constexpr int kMostAnswerEvents = 6;
// Requests of one read that get an answer; later ones are met with silence.
constexpr int kMostAnswers = 6;
constexpr int kRequestLength = 6;
constexpr std::uint8_t kNeverWritten = 0;
constexpr int kPageReplyLength = MeterLink::kPageReplyLength;
// A sound meter answers anywhere from half a millisecond up to the two-second limit.
constexpr qint64 kQuickestAnswerMicroseconds = 500;
constexpr qint64 kSlowestAnswerMicroseconds = 2'000'000;

struct PortEvent {
    int code = SerialPort::kReceivedData;
    QByteArray bytes;
    bool deviceLost = false; // the device goes away instead
};

QByteArray consumeChunk(FuzzedDataProvider& input)
{
    const std::vector<std::uint8_t> bytes =
        input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, kLongestChunk));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

PortEvent consumeAnswerEvent(FuzzedDataProvider& input)
{
    PortEvent event;
    switch (input.ConsumeIntegralInRange(0, 7)) {
    case 0:
        event.code = input.ConsumeIntegral<std::int16_t>();
        break;
    case 1:
        event.deviceLost = true;
        return event;
    default:
        break;
    }
    event.bytes = consumeChunk(input);
    return event;
}

// The request frame for a page, composed here independently of the link's own encoder.
QByteArray expectedRequest(int page)
{
    QByteArray frame;
    frame.append(char(0xAA)).append(char(0xFA)).append(char(0x02));
    frame.append(char(page >> 8)).append(char(page & 0xFF));
    int sum = 0;
    for (char byte : frame)
        sum += std::uint8_t(byte);
    return frame.append(char(sum & 0xFF));
}

// Everything the answer put on the line, until the device went away.
QByteArray lineBytesOf(const std::vector<PortEvent>& answer)
{
    QByteArray bytes;
    for (const PortEvent& event : answer) {
        if (event.deviceLost)
            break;
        bytes += event.bytes;
    }
    return bytes;
}

// The replies an answer may give for a page: its line bytes, or those after an echo of the
// request, when they make at least a whole reply.
QList<QByteArray> repliesOf(const std::vector<PortEvent>& answer, int page)
{
    const QByteArray line = lineBytesOf(answer);
    QList<QByteArray> replies;
    if (line.size() >= kPageReplyLength)
        replies << line;
    const QByteArray echo = expectedRequest(page);
    if (line.startsWith(echo) && line.size() - echo.size() >= kPageReplyLength)
        replies << line.mid(echo.size());
    return replies;
}

struct Answer {
    int page = 0;
    std::vector<PortEvent> events;
};

void checkLinkState(const MeterLink& link)
{
    const int expected = link.expectedReplyLength();
    fuzzCheck(expected == 0 || expected == MeterLink::kPageReplyLength,
              "the expected reply length is 0 before the first read and a page reply after it");
    const int position = link.receivePosition();
    fuzzCheck(position >= 0 && position < std::max(expected, 1),
              "the receive position stays below the expected reply length");
    const auto& store = link.replyStore();
    fuzzCheck(std::all_of(store.begin() + kPageReplyLength, store.end(),
                          [](std::uint8_t byte) { return byte == kNeverWritten; }),
              "reply store slots past a page reply are never written");
    const PageBuffer& page = link.pageBuffer();
    fuzzCheck(page[0] == 0 && page[kPageSize - 1] == 0 && page[kPageSize] == 0,
              "page buffer element 0 and page bytes 255 and 256 stay 0");
}

class LinkDriver {
public:
    LinkDriver() : m_link(m_port, m_ports, m_controls, [] { return PortChoice::com(1); }) {}

    void run(FuzzedDataProvider& input)
    {
        while (input.remaining_bytes() > 0) {
            switch (input.ConsumeEnum<Step>()) {
            case Step::DataEvent: {
                const QByteArray bytes = consumeChunk(input);
                m_cleanSinceLastRead = m_cleanSinceLastRead && bytes.isEmpty();
                m_port.receive(bytes);
                break;
            }
            case Step::OtherEvent: {
                const int code = input.ConsumeIntegral<std::int16_t>();
                const QByteArray bytes = consumeChunk(input);
                m_cleanSinceLastRead = m_cleanSinceLastRead && bytes.isEmpty();
                m_port.receive(bytes, code);
                break;
            }
            case Step::PageRead:
                readPage(input);
                break;
            case Step::PortLost:
                m_cleanSinceLastRead = false;
                if (m_port.isOpen())
                    m_port.loseDevice(QStringLiteral("Input/output error"));
                break;
            case Step::PortClosed:
                m_cleanSinceLastRead = false;
                m_link.Command2_Click();
                break;
            case Step::OperationBegins:
                m_link.beginOperation();
                break;
            case Step::OperationEnds:
                endOperation(input);
                break;
            case Step::VerifyToggled:
                m_link.setVerifyPages(!m_link.verifiesPages());
                break;
            }
            checkLinkState(m_link);
        }
    }

private:
    // Runs `read` while the port answers each whole request from `prepared`, one answer per
    // request; a request without an answer (or whose answer does not end the wait) is cancelled
    // instead of timing out. Returns the answers given, with the page each one answered.
    template <typename Read>
    std::vector<Answer> withAnswers(const std::vector<std::vector<PortEvent>>& prepared, Read read)
    {
        std::vector<Answer> answers;
        // The deliveries and cancels below belong to this read alone: they die with it, so none
        // fires during a later read (they refer to this read's answers).
        QObject readScope;
        m_port.written.clear();
        m_port.onWrite = [&] {
            if (m_port.written.size() % kRequestLength != 0)
                return;
            const QByteArray frame = m_port.written.right(kRequestLength);
            const int asked = std::uint8_t(frame[3]) * 256 + std::uint8_t(frame[4]);
            const std::size_t index = answers.size();
            answers.push_back(
                {asked, index < prepared.size() ? prepared[index] : std::vector<PortEvent>{}});
            QTimer::singleShot(0, &readScope, [this, &answers, &readScope, index] {
                deliver(answers[index].events);
                QTimer::singleShot(1, &readScope, [this, &answers, index] {
                    if (answers.size() == index + 1 && m_link.isReading())
                        m_link.cancel();
                });
            });
        };
        read();
        m_port.onWrite = {};
        return answers;
    }

    std::vector<std::vector<PortEvent>> consumeAnswers(FuzzedDataProvider& input)
    {
        std::vector<std::vector<PortEvent>> prepared(
            std::size_t(input.ConsumeIntegralInRange(0, kMostAnswers)));
        for (std::vector<PortEvent>& answer : prepared) {
            answer.resize(std::size_t(input.ConsumeIntegralInRange(0, kMostAnswerEvents)));
            for (PortEvent& event : answer)
                event = consumeAnswerEvent(input);
        }
        return prepared;
    }

    void readPage(FuzzedDataProvider& input)
    {
        const int page = input.ConsumeIntegralInRange(-1, kHighestPage + 1);
        const std::vector<std::vector<PortEvent>> prepared = consumeAnswers(input);
        // When the meter answers is not evidence: no answer time may cost a request.
        m_port.answerDelay =
            input.ConsumeIntegralInRange(kQuickestAnswerMicroseconds, kSlowestAnswerMicroseconds);
        // A clean answer to the first request: one event of exactly what the meter sent so far,
        // whatever its byte 0.
        const int learnedBefore = m_link.learnedReplyLength();
        const bool cleanLine =
            m_cleanSinceLastRead && m_port.isOpen() && learnedBefore > 0 && !m_link.verifiesPages();

        const PageBuffer before = m_link.pageBuffer();
        bool read = false;
        const std::vector<Answer> answers =
            withAnswers(prepared, [&] { read = m_link.ReadFlash(page); });
        m_cleanSinceLastRead = read;

        if (page < 0 || page > kHighestPage) {
            fuzzCheck(!read && m_port.written.isEmpty() && !m_link.lastError().isEmpty(),
                      "a page that does not exist is refused before anything is sent");
            fuzzCheck(m_link.pageBuffer() == before, "a refused read leaves the page buffer");
            return;
        }
        for (const Answer& answer : answers)
            fuzzCheck(answer.page >= 0 && answer.page <= kHighestPage,
                      "every request asks for an existing page");
        fuzzCheck(m_port.written.size() % kRequestLength == 0, "requests are whole frames");

        if (cleanLine && !prepared.empty()) {
            const std::vector<PortEvent>& first = prepared.front();
            const bool clean = first.size() == 1 && !first.front().deviceLost &&
                               first.front().code == SerialPort::kReceivedData &&
                               first.front().bytes.size() == learnedBefore;
            if (clean) {
                fuzzCheck(read, "a clean reply on a clean line is taken");
                fuzzCheck(m_port.written == expectedRequest(page),
                          "a clean line costs one request a page");
            }
        }
        if (!read) {
            fuzzCheck(m_link.pageBuffer() == before, "a failed read leaves the page buffer");
            return;
        }
        // The page came from a whole reply to a request for it, of a length the meter sends.
        const QList<int> lengths = {learnedBefore, m_link.learnedReplyLength()};
        bool fromAnAnswer = false;
        for (const Answer& answer : answers) {
            if (answer.page != page)
                continue;
            for (const QByteArray& reply : repliesOf(answer.events, page)) {
                if (!lengths.contains(int(reply.size())))
                    continue;
                bool same = true;
                for (int n = 1; n < kPageReplyLength; ++n)
                    same = same && m_link.pageBuffer()[std::size_t(n)] == std::uint8_t(reply.at(n));
                fromAnAnswer = fromAnAnswer || same;
            }
        }
        fuzzCheck(fromAnAnswer, "page bytes 1 to 254 come from a whole reply to a request for "
                                "the page, of the length the meter sends");
    }

    void endOperation(FuzzedDataProvider& input)
    {
        const std::vector<std::vector<PortEvent>> prepared = consumeAnswers(input);
        const PageBuffer before = m_link.pageBuffer();
        bool ended = false;
        const std::vector<Answer> answers =
            withAnswers(prepared, [&] { ended = m_link.endOperation(); });
        fuzzCheck(m_link.pageBuffer() == before, "an operation's end hands out no page");
        fuzzCheck(ended || !answers.empty() || !m_port.isOpen() || !m_link.lastError().isEmpty(),
                  "an operation's end that fails says why, or was cut short");
        m_cleanSinceLastRead = m_cleanSinceLastRead && ended && answers.empty();
    }

    void deliver(const std::vector<PortEvent>& answer)
    {
        for (const PortEvent& event : answer) {
            if (event.deviceLost) {
                // A device that is gone delivers nothing more.
                m_port.loseDevice(QStringLiteral("Input/output error"));
                return;
            }
            m_port.receive(event.bytes, event.code);
            checkLinkState(m_link);
        }
    }

    FakeSerialPort m_port;
    FakeWindowControls m_controls;
    PortMap m_ports = cablemeter::testing::testPortMap();
    MeterLink m_link;
    // No bytes arrived and the port stayed open since the last read, which succeeded.
    bool m_cleanSinceLastRead = false;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    cablemeter::fuzzing::startQtApplication<QCoreApplication>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    LinkDriver driver;
    driver.run(input);
    return 0;
}
