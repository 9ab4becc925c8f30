#pragma once

#include <QtGlobal>

#include <memory>
#include <optional>

namespace cablemeter {

// The serial driver's count of receive errors on a port: framing, parity, overrun and break. A
// meter at another baud rate shows here, where its garbled bytes alone could pass for a reply.
class LineErrorCounter {
public:
    virtual ~LineErrorCounter() = default;
    // Errors counted on the open port `handle` so far (a rise is what matters); nullopt when the
    // driver keeps no count (a pseudo-terminal, some USB drivers).
    virtual std::optional<quint64> count(qintptr handle) = 0;
};

// The counter of this platform's serial drivers.
std::unique_ptr<LineErrorCounter> createLineErrorCounter();

} // namespace cablemeter
