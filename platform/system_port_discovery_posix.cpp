#include "platform/system_port_discovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace cablemeter {

namespace {

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

} // namespace

QList<FoundPort> SystemPortDiscovery::findPorts() const
{
    QList<FoundPort> ports;
    const QHash<QString, QString> byId = byIdNames();
    const QStringList consoles = systemConsoles();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString device = info.systemLocation();
        ports.append({device, kindOf(info), byId.value(device), info.description(),
                      consoles.contains(info.portName())});
    }
    return ports;
}

} // namespace cablemeter
