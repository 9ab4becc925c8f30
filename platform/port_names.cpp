#include "platform/port_names.h"

namespace cablemeter {

QStringList selectablePortNames()
{
    QStringList names;
    for (int n = 1; n <= kPortCount; ++n)
        names << PortMap::comName(n);
    return names;
}

std::optional<int> namedPortNumber(const QString& text, Qt::CaseSensitivity caseSensitivity)
{
    for (int n = 1; n <= kPortCount; ++n) {
        if (text.compare(PortMap::comName(n), caseSensitivity) == 0)
            return n;
    }
    return std::nullopt;
}

int portNumberFromSelector(const QString& selectorText)
{
    return namedPortNumber(selectorText).value_or(1);
}

OpenResult openChosenPort(SerialPort& port, const PortMap& ports, const PortChoice& choice)
{
    const QString device = ports.deviceFor(choice);
    if (device.isEmpty())
        return {
            OpenFailure::NotFound,
            QStringLiteral("no serial port leads to %1").arg(PortMap::comName(choice.portNumber))};
    return port.open(device);
}

} // namespace cablemeter
