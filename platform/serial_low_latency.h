#pragma once

#include <QSerialPort>

namespace cablemeter {

// What asking the serial driver for low-latency mode came to.
enum class LowLatency {
    Refused,    // the driver (or a pseudo-terminal) does not offer it: used as it is
    AlreadySet, // someone else set it: it stays as found
    SetByUs,    // ours while we hold the port: releaseLowLatency() clears it again
};

// Asks the serial driver to hand over received bytes at once instead of batching them (a USB
// adapter otherwise holds them for up to its 16 ms latency timer).
LowLatency requestLowLatency(QSerialPort& port);

// Clears the low-latency flag that requestLowLatency() set, leaving the driver's other flags as
// they are now. Called before the port closes, so the mode is ours only while we hold the port.
void releaseLowLatency(QSerialPort& port);

} // namespace cablemeter
