#include "platform/serial_low_latency.h"

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
