// Drives the link's receive handler with arbitrary sequences of communication events, with page
// reads in between that the port answers from the input, and checks the handler's state after
// every step.

#include "fuzz_check.h"
#include "link/meter_link.h"
#include "link/request_frame.h"
#include "qt_fuzz_application.h"
#include "support/fake_serial_port.h"
#include "support/fake_window_controls.h"

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
    kMaxValue = PortClosed
};

// A chunk can be longer than the reply store, so that over-long bursts are tried too.
constexpr int kLongestChunk = MeterLink::kReplyStoreSize + 75;
constexpr int kMostAnswerEvents = 6;
constexpr int kRequestLength = 6;
constexpr std::uint8_t kNeverWritten = 0;
constexpr int kPageReplyLength = MeterLink::kPageReplyLength;

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

// The reply a read must return: the first burst that brings a whole reply in one received-data
// event, unless the device went away before it. None: the read must fail.
std::optional<QByteArray> expectedReply(const std::vector<PortEvent>& answer)
{
    for (const PortEvent& event : answer) {
        if (event.deviceLost)
            return std::nullopt;
        if (event.code == SerialPort::kReceivedData && event.bytes.size() >= kPageReplyLength)
            return event.bytes;
    }
    return std::nullopt;
}

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
    LinkDriver() : m_link(m_port, m_controls) {}

    void run(FuzzedDataProvider& input)
    {
        while (input.remaining_bytes() > 0) {
            switch (input.ConsumeEnum<Step>()) {
            case Step::DataEvent:
                m_port.receive(consumeChunk(input));
                break;
            case Step::OtherEvent: {
                const int code = input.ConsumeIntegral<std::int16_t>();
                m_port.receive(consumeChunk(input), code);
                break;
            }
            case Step::PageRead:
                readPage(input);
                break;
            case Step::PortLost:
                if (m_port.isOpen())
                    m_port.loseDevice(QStringLiteral("Input/output error"));
                break;
            case Step::PortClosed:
                m_link.Command2_Click();
                break;
            }
            checkLinkState(m_link);
        }
    }

private:
    void readPage(FuzzedDataProvider& input)
    {
        const int page = input.ConsumeIntegralInRange(-1, kHighestPage + 1);
        std::vector<PortEvent> answer(
            std::size_t(input.ConsumeIntegralInRange(0, kMostAnswerEvents)));
        for (PortEvent& event : answer)
            event = consumeAnswerEvent(input);

        const PageBuffer before = m_link.pageBuffer();
        bool scheduled = false;
        bool answered = false;
        m_port.written.clear();
        // The meter answers once the whole request is out, while the read waits.
        m_port.onWrite = [&] {
            if (scheduled || m_port.written.size() != kRequestLength)
                return;
            scheduled = true;
            QTimer::singleShot(0, &m_port, [&] {
                deliver(answer);
                answered = true;
                // Whatever did not complete the reply, the read ends now instead of timing out.
                m_link.cancel();
            });
        };
        const bool read = m_link.ReadFlash(page);
        m_port.onWrite = {};
        fuzzCheck(answered == scheduled, "a read waits for the answer to its request");

        if (page < 0 || page > kHighestPage) {
            fuzzCheck(!read && m_port.written.isEmpty() && !m_link.lastError().isEmpty(),
                      "a page that does not exist is refused before anything is sent");
            fuzzCheck(m_link.pageBuffer() == before, "a refused read leaves the page buffer");
            return;
        }
        fuzzCheck(m_port.written == expectedRequest(page), "the request frame asks for the page");
        const std::optional<QByteArray> reply = expectedReply(answer);
        fuzzCheck(read == reply.has_value(), "a read succeeds exactly when a whole reply came");
        if (!read) {
            fuzzCheck(m_link.pageBuffer() == before, "a failed read leaves the page buffer");
            return;
        }
        const PageBuffer& buffer = m_link.pageBuffer();
        for (int n = 1; n < kPageReplyLength; ++n)
            fuzzCheck(buffer[std::size_t(n)] == std::uint8_t(reply->at(n)),
                      "page bytes 1 to 254 are the reply's bytes after its echo");
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
    MeterLink m_link;
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
