#include "platform/port_map.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace cablemeter {

namespace {

// "ttyS10" as ("ttyS", 10), so that ttyS2 comes before ttyS10.
std::pair<QString, int> nameAndNumber(const QString& device)
{
    static const QRegularExpression trailingNumber(QStringLiteral("^(.*?)(\\d+)$"));
    const QRegularExpressionMatch match = trailingNumber.match(device);
    if (!match.hasMatch())
        return {device, -1};
    return {match.captured(1), match.captured(2).toInt()};
}

bool isAdapter(const FoundPort& port)
{
    return port.kind == PortKind::Usb || port.kind == PortKind::Acm;
}

// Adapters first, by their by-id names (an adapter without one after those with one), then the
// UARTs; ties in the order of the device names, numbers counted as numbers.
bool comesFirst(const FoundPort& a, const FoundPort& b)
{
    if (isAdapter(a) != isAdapter(b))
        return isAdapter(a);
    if (isAdapter(a) && a.byIdName != b.byIdName) {
        if (a.byIdName.isEmpty() || b.byIdName.isEmpty())
            return !a.byIdName.isEmpty();
        return a.byIdName < b.byIdName;
    }
    return nameAndNumber(a.device) < nameAndNumber(b.device);
}

QString byIdPath(const FoundPort& port)
{
    return port.byIdName.isEmpty()
               ? QString()
               : QDir(QString::fromLatin1(kSerialByIdFolder)).filePath(port.byIdName);
}

bool sameDevice(const FoundPort& port, const QString& device, const QString& canonicalDevice)
{
    if (port.device == device)
        return true;
    if (!port.byIdName.isEmpty() && byIdPath(port) == device)
        return true;
    return !canonicalDevice.isEmpty() && port.device == canonicalDevice;
}

} // namespace

PortMap::PortMap(Overrides overrides, Discover discover)
    : m_overrides(std::move(overrides)), m_discover(std::move(discover))
{
}

PortMap PortMap::current()
{
    return PortMap(overridesFromEnvironment(), [] { return createPortDiscovery()->findPorts(); });
}

QString PortMap::overrideVariable(int portNumber)
{
    return QStringLiteral("CABLEMETER_COM%1").arg(portNumber);
}

void PortMap::refresh()
{
    m_discovered = false;
    m_reachable.clear();
    m_consoles.clear();
}

void PortMap::discover() const
{
    if (m_discovered)
        return;
    m_discovered = true;
    for (const FoundPort& port : m_discover()) {
        if (port.console)
            m_consoles.append(port);
        else
            m_reachable.append(port);
    }
    std::stable_sort(m_reachable.begin(), m_reachable.end(), comesFirst);
    std::stable_sort(m_consoles.begin(), m_consoles.end(), comesFirst);
}

bool PortMap::isOverridden(int portNumber) const
{
    return portNumber >= 1 && portNumber <= kPortCount &&
           !m_overrides[std::size_t(portNumber - 1)].isEmpty();
}

QString PortMap::deviceFor(const PortChoice& choice) const
{
    return choice.namesDevice() ? choice.device : deviceFor(choice.portNumber);
}

QString PortMap::displayName(const PortChoice& choice) const
{
    return choice.namesDevice() ? choice.device : displayName(choice.portNumber);
}

QString PortMap::comName(int portNumber)
{
    return QStringLiteral("COM%1").arg(portNumber);
}

QString PortMap::portText(const FoundPort& port)
{
    return port.description.isEmpty()
               ? port.device
               : QStringLiteral("%1 (%2)").arg(port.device, port.description);
}

QString PortMap::displayName(int portNumber) const
{
    const QString name = comName(portNumber);
    const QString device = deviceFor(portNumber);
    if (device.isEmpty())
        return QStringLiteral("%1 (no serial port)").arg(name);
    // A device the user named is shown as named, without a search for its description.
    const std::optional<FoundPort> port = isOverridden(portNumber) ? std::nullopt : portAt(device);
    QStringList details;
    if (const QString shown = shownDevice(device); !shown.isEmpty())
        details << shown;
    if (port && !port->description.isEmpty())
        details << port->description;
    if (details.isEmpty())
        return name;
    return QStringLiteral("%1 (%2)").arg(name, details.join(QStringLiteral(", ")));
}

const QList<FoundPort>& PortMap::reachablePorts() const
{
    discover();
    return m_reachable;
}

const QList<FoundPort>& PortMap::consoles() const
{
    discover();
    return m_consoles;
}

std::optional<FoundPort> PortMap::portAt(const QString& device) const
{
    const QString canonicalDevice = resolvedDevice(device);
    for (const QList<FoundPort>* ports : {&reachablePorts(), &consoles()}) {
        for (const FoundPort& port : *ports) {
            if (sameDevice(port, device, canonicalDevice))
                return port;
        }
    }
    return std::nullopt;
}

int PortMap::portNumberOf(const QString& device) const
{
    const std::optional<FoundPort> port = portAt(device);
    for (int n = 1; n <= kPortCount; ++n) {
        const QString mapped = deviceFor(n);
        if (mapped.isEmpty())
            continue;
        if (mapped == device || (port && (mapped == port->device || mapped == byIdPath(*port))))
            return n;
    }
    return 0;
}

} // namespace cablemeter
