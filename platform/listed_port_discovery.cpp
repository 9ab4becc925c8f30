#include "platform/listed_port_discovery.h"

#include <QStringList>

#include <optional>

namespace cablemeter {

namespace {

const QString kNoPorts = QStringLiteral("none");
const QString kConsoleMark = QStringLiteral("console");

enum Field { DeviceField, KindField, ByIdField, DescriptionField, ConsoleField, FieldCount };

std::optional<PortKind> kindNamed(const QString& name)
{
    if (name == QLatin1String("usb"))
        return PortKind::Usb;
    if (name == QLatin1String("acm"))
        return PortKind::Acm;
    if (name == QLatin1String("uart") || name.isEmpty())
        return PortKind::Uart;
    return std::nullopt;
}

} // namespace

ListedPortDiscovery::ListedPortDiscovery(const QString& listText)
{
    if (listText.trimmed() == kNoPorts)
        return;
    for (const QString& entry : listText.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QStringList fields = entry.split(QLatin1Char('|'));
        if (fields.size() > FieldCount)
            continue;
        while (fields.size() < FieldCount)
            fields.append(QString());
        const std::optional<PortKind> kind = kindNamed(fields[KindField].trimmed());
        const QString device = fields[DeviceField].trimmed();
        if (device.isEmpty() || !kind)
            continue;
        m_ports.append({device, *kind, fields[ByIdField].trimmed(),
                        fields[DescriptionField].trimmed(),
                        fields[ConsoleField].trimmed() == kConsoleMark});
    }
}

} // namespace cablemeter
