#include "platform/port_map.h"

#include <QFileInfo>

namespace cablemeter {

PortMap::Overrides PortMap::overridesFromEnvironment()
{
    Overrides overrides;
    for (int n = 1; n <= kPortCount; ++n)
        overrides[std::size_t(n - 1)] =
            qEnvironmentVariable(overrideVariable(n).toLatin1().constData());
    return overrides;
}

QString PortMap::deviceFor(int portNumber) const
{
    if (isOverridden(portNumber))
        return m_overrides[std::size_t(portNumber - 1)];
    if (portNumber < 1 || portNumber > kPortCount)
        return {};
    const QList<FoundPort>& ports = reachablePorts();
    return portNumber <= ports.size() ? ports[portNumber - 1].device : QString();
}

QString PortMap::shownDevice(const QString& device)
{
    return device;
}

QString PortMap::resolvedDevice(const QString& device)
{
    return QFileInfo(device).canonicalFilePath();
}

} // namespace cablemeter
