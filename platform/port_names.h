#pragma once

#include "platform/port_map.h"
#include "platform/serial_port.h"

#include <QString>

#include <optional>

namespace cablemeter {

// The port a text names when it is exactly "COM1" to "COM4" (case counts); nullopt otherwise.
std::optional<int> namedPortNumber(const QString& text);

// The selector's text names the port: exactly "COM1" to "COM4"; anything else means port 1.
int portNumberFromSelector(const QString& selectorText);

// The device COMn leads to now (see PortMap); empty when it leads to none.
QString deviceForPort(int portNumber);

// "COM1 (/dev/ttyUSB0, FT232R USB UART)": how a port is named to the user.
QString portDisplayName(int portNumber);

// Opens the device COMn leads to. When it leads to none, the port is left alone and the result
// is a failure of kind NotFound.
OpenResult openPortNumber(SerialPort& port, int portNumber);

// What went wrong and what to do about it, for a port that would not open. The text ends with
// `retryAdvice`, the front end's way of trying again ("press Open").
QString describeOpenFailure(int portNumber, const OpenResult& result, const QString& retryAdvice);

// For a meter that did not answer on COMn: the other ports where it may be, and how to try them.
QString describeOtherPorts(int portNumber, const QString& retryAdvice);

// The same texts for a given map of the ports.
QString describeOpenFailure(const PortMap& ports, int portNumber, const OpenResult& result,
                            const QString& retryAdvice);
QString describeOtherPorts(const PortMap& ports, int portNumber, const QString& retryAdvice);

} // namespace cablemeter
