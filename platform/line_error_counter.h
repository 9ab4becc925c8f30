#pragma once

#include <QSerialPort>

#include <memory>
#include <optional>
#include <utility>

namespace cablemeter {

// The operating system's handle of an open serial port: a file descriptor, or a Windows HANDLE.
using SerialHandle = decltype(std::declval<QSerialPort&>().handle());

// The serial driver's count of receive errors on a port: framing, parity, overrun and break. A
// meter at another baud rate shows here, where its garbled bytes alone could pass for a reply.
class LineErrorCounter {
public:
    virtual ~LineErrorCounter() = default;
    // Errors counted on the open port `handle` so far (a rise is what matters); nullopt when the
    // driver keeps no count (a pseudo-terminal, some USB drivers).
    virtual std::optional<quint64> count(SerialHandle handle) = 0;
};

// The counter of this platform's serial drivers.
std::unique_ptr<LineErrorCounter> createLineErrorCounter();

} // namespace cablemeter
