#pragma once

#include <memory>

class QObject;

namespace cablemeter {

class SerialPort;

// The serial port the program uses on this platform.
SerialPort* createSerialPort(QObject* parent);

} // namespace cablemeter
