#pragma once

#include <QSerialPort>

namespace cablemeter {

// Asks the serial driver to hand over received bytes at once instead of batching them (a USB
// adapter otherwise holds them for up to its 16 ms latency timer). True when the driver took the
// request; a driver or a pseudo-terminal that does not know it refuses, which is harmless.
bool requestLowLatency(QSerialPort& port);

} // namespace cablemeter
