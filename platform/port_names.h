#pragma once

#include "platform/serial_port.h"

#include <QString>

namespace cablemeter {

inline constexpr int kPortCount = 4;

// The selector's text names the port: exactly "COM1" to "COM4"; anything else means port 1.
int portNumberFromSelector(const QString& selectorText);

// The device behind port n: "COMn" on Windows; elsewhere the device named by the environment
// variable CABLEMETER_COM<n> when set, else /dev/ttyS<n-1>.
QString deviceForPort(int portNumber);

// "COM1 (/dev/ttyUSB0)": how a port is named to the user.
QString portDisplayName(int portNumber);

// What went wrong and what to do about it, for a port that would not open.
QString describeOpenFailure(int portNumber, const OpenResult& result);

} // namespace cablemeter
