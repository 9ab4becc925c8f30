#include "platform/port_map.h"

namespace cablemeter {

// COM1 to COM4 are Windows' own COM numbers: no variable sends one elsewhere.
PortMap::Overrides PortMap::overridesFromEnvironment()
{
    return {};
}

QString PortMap::deviceFor(int portNumber) const
{
    return comName(portNumber);
}

// The device is the COM name itself.
QString PortMap::shownDevice(const QString&)
{
    return {};
}

// A COM port is named, not reached through a file's path.
QString PortMap::resolvedDevice(const QString&)
{
    return {};
}

} // namespace cablemeter
