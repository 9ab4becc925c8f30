#include "platform/line_error_counter.h"

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace cablemeter {

namespace {

#if defined(Q_OS_WIN)

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
using PlatformLineErrors = WindowsLineErrors;

#elif defined(Q_OS_LINUX)

// TIOCGICOUNT: the driver's running counts since it was loaded.
class LinuxLineErrors : public LineErrorCounter {
public:
    std::optional<quint64> count(SerialHandle handle) override
    {
        serial_icounter_struct counts{};
        if (::ioctl(handle, TIOCGICOUNT, &counts) != 0)
            return std::nullopt; // ENOTTY or EINVAL: this driver keeps no counts
        return quint64(counts.frame) + quint64(counts.parity) + quint64(counts.overrun) +
               quint64(counts.brk) + quint64(counts.buf_overrun);
    }
};
using PlatformLineErrors = LinuxLineErrors;

#else

class NoLineErrors : public LineErrorCounter {
public:
    std::optional<quint64> count(SerialHandle) override { return std::nullopt; }
};
using PlatformLineErrors = NoLineErrors;

#endif

} // namespace

std::unique_ptr<LineErrorCounter> createLineErrorCounter()
{
    return std::make_unique<PlatformLineErrors>();
}

} // namespace cablemeter
