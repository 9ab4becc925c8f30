#include "platform/system_port_discovery.h"

#include <QSerialPortInfo>

namespace cablemeter {

PortKind SystemPortDiscovery::kindOf(const QSerialPortInfo& info)
{
    if (info.portName().startsWith(QLatin1String("ttyACM")))
        return PortKind::Acm;
    if (info.portName().startsWith(QLatin1String("ttyUSB")) || info.hasVendorIdentifier())
        return PortKind::Usb;
    return PortKind::Uart;
}

QStringList SystemPortDiscovery::consoleNames(const QByteArray& procConsoles)
{
    // Each line starts with the console's device name: "ttyS0   -W- (EC p a)    4:64".
    QStringList names;
    for (const QByteArray& line : procConsoles.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (!fields.first().isEmpty())
            names.append(QString::fromLocal8Bit(fields.first()));
    }
    return names;
}

} // namespace cablemeter
