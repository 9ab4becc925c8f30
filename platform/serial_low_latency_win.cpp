#include "platform/serial_low_latency.h"

// Windows has no per-port request for this: an FTDI adapter's latency timer is a setting of its
// driver (Device Manager, port settings, Advanced). QSerialPort already reads with short timeouts.
namespace cablemeter {

LowLatency requestLowLatency(QSerialPort&)
{
    return LowLatency::Refused;
}

void releaseLowLatency(QSerialPort&) {}

} // namespace cablemeter
