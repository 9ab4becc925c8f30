#pragma once

#include "platform/port_discovery.h"

#include <QByteArray>
#include <QStringList>

class QSerialPortInfo;

namespace cablemeter {

// The serial ports the system reports. On Linux each is named also by its /dev/serial/by-id link
// and marked when /proc/consoles lists it. Asking probes the computer's UART nodes by opening
// them, so tests never use this class.
class SystemPortDiscovery : public PortDiscovery {
public:
    QList<FoundPort> findPorts() const override;

    // The device names ("ttyS0", "tty0") that a /proc/consoles text lists.
    static QStringList consoleNames(const QByteArray& procConsoles);

private:
    // What sits behind a port the system lists, by its name and whether it has a USB identity.
    static PortKind kindOf(const QSerialPortInfo& info);
};

} // namespace cablemeter
