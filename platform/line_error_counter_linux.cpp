#include "platform/line_error_counter.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace cablemeter {

namespace {

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

} // namespace

std::unique_ptr<LineErrorCounter> createLineErrorCounter()
{
    return std::make_unique<LinuxLineErrors>();
}

} // namespace cablemeter
