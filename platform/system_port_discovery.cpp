#include "platform/system_port_discovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace cablemeter {

namespace {

#ifndef Q_OS_WIN
const QString kConsolesFile = QStringLiteral("/proc/consoles");

// Each adapter's device ("/dev/ttyUSB0") and the by-id name that links to it.
QHash<QString, QString> byIdNames()
{
    QHash<QString, QString> names;
    const QDir folder(QString::fromLatin1(kSerialByIdFolder));
    for (const QString& name :
         folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFileInfo(folder.filePath(name)).canonicalFilePath();
        if (!target.isEmpty())
            names.insert(target, name);
    }
    return names;
}

QStringList systemConsoles()
{
    QFile file(kConsolesFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return SystemPortDiscovery::consoleNames(file.readAll());
}
#endif

PortKind kindOf(const QSerialPortInfo& info)
{
    if (info.portName().startsWith(QLatin1String("ttyACM")))
        return PortKind::Acm;
    if (info.portName().startsWith(QLatin1String("ttyUSB")) || info.hasVendorIdentifier())
        return PortKind::Usb;
    return PortKind::Uart;
}

} // namespace

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

QList<FoundPort> SystemPortDiscovery::findPorts() const
{
    QList<FoundPort> ports;
#ifdef Q_OS_WIN
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), kindOf(info), QString(), info.description(), false});
#else
    const QHash<QString, QString> byId = byIdNames();
    const QStringList consoles = systemConsoles();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString device = info.systemLocation();
        ports.append({device, kindOf(info), byId.value(device), info.description(),
                      consoles.contains(info.portName())});
    }
#endif
    return ports;
}

} // namespace cablemeter
