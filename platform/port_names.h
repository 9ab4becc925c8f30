#pragma once

// What the user is told when the port a name leads to fails them.
#include "platform/port_map.h"
#include "platform/serial_port.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cablemeter {

// The names the window's selector offers: "COM1" to "COM4".
QStringList selectablePortNames();

// The port a text names when it is "COM1" to "COM4"; nullopt otherwise. The window's selector
// compares case and all; the command line also takes "com1" or "Com1".
std::optional<int> namedPortNumber(const QString& text,
                                   Qt::CaseSensitivity caseSensitivity = Qt::CaseSensitive);

// The selector's text names the port: exactly "COM1" to "COM4"; anything else means port 1.
int portNumberFromSelector(const QString& selectorText);

// Opens the device the choice leads to. When it leads to none, the port is left alone and the
// result is a failure of kind NotFound.
OpenResult openChosenPort(SerialPort& port, const PortMap& ports, const PortChoice& choice);

} // namespace cablemeter
