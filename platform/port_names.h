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

// Opens the device the choice leads to. When it leads to none, the port is left alone and the
// result is a failure of kind NotFound.
OpenResult openChosenPort(SerialPort& port, const PortMap& ports, const PortChoice& choice);

// What went wrong and what to do about it, for a port that would not open. The text ends with
// `retryAdvice`, the front end's way of trying again ("press Open").
QString describeOpenFailure(const PortMap& ports, const PortChoice& choice,
                            const OpenResult& result, const QString& retryAdvice);

// For a meter that did not answer on the chosen port: the other ports where it may be, and how
// to try them.
QString describeOtherPorts(const PortMap& ports, const PortChoice& choice,
                           const QString& retryAdvice);

} // namespace cablemeter
