#include "platform/system_port_discovery.h"

#include <QSerialPortInfo>

namespace cablemeter {

// Windows names a port by its COM name; it has no by-id links and no serial console.
QList<FoundPort> SystemPortDiscovery::findPorts() const
{
    QList<FoundPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), kindOf(info), QString(), info.description(), false});
    return ports;
}

} // namespace cablemeter
