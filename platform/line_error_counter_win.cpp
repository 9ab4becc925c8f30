#include "platform/line_error_counter.h"

#include <windows.h>

namespace cablemeter {

namespace {

// Windows reports line errors as flags, not counts, and every ClearCommError() clears them,
// QSerialPort's own calls included. Each call that finds a flag set counts as one error: errors
// that QSerialPort cleared first are missed, so the count can only fall short, never invent one.
class WindowsLineErrors : public LineErrorCounter {
public:
    std::optional<quint64> count(SerialHandle handle) override
    {
        DWORD errors = 0;
        if (!ClearCommError(handle, &errors, nullptr))
            return std::nullopt;
        if (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_BREAK | CE_RXOVER))
            ++m_seen;
        return m_seen;
    }

private:
    quint64 m_seen = 0;
};

} // namespace

std::unique_ptr<LineErrorCounter> createLineErrorCounter()
{
    return std::make_unique<WindowsLineErrors>();
}

} // namespace cablemeter
