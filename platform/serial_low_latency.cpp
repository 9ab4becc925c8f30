#include "platform/serial_low_latency.h"

#ifndef Q_OS_LINUX
// Windows has no per-port request for this: an FTDI adapter's latency timer is a setting of its
// driver (Device Manager, port settings, Advanced). QSerialPort already reads with short timeouts.
namespace cablemeter {

LowLatency requestLowLatency(QSerialPort& port)
{
    Q_UNUSED(port);
    return LowLatency::Refused;
}

void releaseLowLatency(QSerialPort& port)
{
    Q_UNUSED(port);
}

} // namespace cablemeter

#else // Linux
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace cablemeter {

LowLatency requestLowLatency(QSerialPort& port)
{
    const int descriptor = int(port.handle());
    if (descriptor < 0)
        return LowLatency::Refused;
    serial_struct settings{};
    if (::ioctl(descriptor, TIOCGSERIAL, &settings) != 0)
        return LowLatency::Refused;
    if (settings.flags & ASYNC_LOW_LATENCY)
        return LowLatency::AlreadySet;
    settings.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(descriptor, TIOCSSERIAL, &settings) == 0 ? LowLatency::SetByUs
                                                            : LowLatency::Refused;
}

void releaseLowLatency(QSerialPort& port)
{
    const int descriptor = int(port.handle());
    serial_struct settings{};
    // The flags are read afresh: another program may have changed the others meanwhile.
    if (descriptor < 0 || ::ioctl(descriptor, TIOCGSERIAL, &settings) != 0 ||
        !(settings.flags & ASYNC_LOW_LATENCY))
        return;
    settings.flags &= ~ASYNC_LOW_LATENCY;
    ::ioctl(descriptor, TIOCSSERIAL, &settings);
}

} // namespace cablemeter
#endif
