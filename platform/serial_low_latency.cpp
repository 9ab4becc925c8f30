#include "platform/serial_low_latency.h"

#ifndef Q_OS_LINUX
// Windows has no per-port request for this: an FTDI adapter's latency timer is a setting of its
// driver (Device Manager, port settings, Advanced). QSerialPort already reads with short timeouts.
namespace cablemeter {

bool requestLowLatency(QSerialPort& port)
{
    Q_UNUSED(port);
    return false;
}

} // namespace cablemeter

#else // Linux
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace cablemeter {

bool requestLowLatency(QSerialPort& port)
{
    const int descriptor = int(port.handle());
    if (descriptor < 0)
        return false;
    serial_struct settings{};
    if (::ioctl(descriptor, TIOCGSERIAL, &settings) != 0)
        return false;
    if (settings.flags & ASYNC_LOW_LATENCY)
        return true;
    settings.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(descriptor, TIOCSSERIAL, &settings) == 0;
}

} // namespace cablemeter
#endif
