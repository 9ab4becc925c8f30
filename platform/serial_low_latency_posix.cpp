#include "platform/serial_low_latency.h"

// POSIX has no request for low latency; only Linux's serial drivers offer it.
namespace cablemeter {

LowLatency requestLowLatency(QSerialPort&)
{
    return LowLatency::Refused;
}

void releaseLowLatency(QSerialPort&) {}

} // namespace cablemeter
