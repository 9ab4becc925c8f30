#include "platform/port_advice.h"

#include "platform/port_advice_parts.h"

namespace cablemeter {

namespace port_advice_parts {

QString indentedList(const QString& heading, const QStringList& lines)
{
    return heading + kListIndent + lines.join(kListIndent);
}

bool isSameDevice(const PortMap& ports, const QString& device, const QString& other)
{
    if (device.isEmpty() || other.isEmpty())
        return false;
    if (device == other)
        return true;
    const std::optional<FoundPort> port = ports.portAt(device);
    return port && port == ports.portAt(other);
}

} // namespace port_advice_parts

UserMessage describeHeldPort(const QString& portName, const QList<PortHolder>& holders,
                             const PortAdvice& advice)
{
    if (holders.isEmpty())
        return {QStringLiteral("%1 is in use by another program.").arg(portName),
                QStringLiteral("Close the program that uses it, or unplug the adapter and plug it "
                               "in again, then %1.")
                    .arg(advice.retry),
                QStringLiteral("Programs that take serial ports: terminal programs such as minicom "
                               "or screen, ModemManager, brltty, another cablemeter window or "
                               "cablemeter-cli.")};
    QStringList names;
    for (const PortHolder& holder : holders)
        names << holder.text();
    const QString what =
        QStringLiteral("%1 is in use by %2.").arg(portName, names.join(QStringLiteral(" and ")));
    if (holders.size() > 1)
        return {what, QStringLiteral("Close those programs, then %1.").arg(advice.retry)};
    const PortHolder& holder = holders.constFirst();
    if (holder.isWindow())
        return {
            what,
            QStringLiteral("Press Close in that window, or quit it, then %1.").arg(advice.retry)};
    if (holder.isCommandLine())
        return {what, QStringLiteral("Let that command finish, or stop it with Ctrl-C, then %1.")
                          .arg(advice.retry)};
    return {what, QStringLiteral("Close that program, then %1.").arg(advice.retry)};
}

UserMessage describeOpenFailure(const PortMap& ports, const PortChoice& choice,
                                const OpenResult& result, const PortAdvice& advice)
{
    switch (result.failure) {
    case OpenFailure::PermissionDenied:
    case OpenFailure::Busy:
        return port_advice_parts::refusedPortAdvice(ports, choice, result, advice);
    case OpenFailure::NotFound:
    case OpenFailure::Other:
    case OpenFailure::None:
        break;
    }
    return port_advice_parts::missingPortAdvice(ports, choice, result, advice);
}

QString describeOtherPorts(const PortMap& ports, const PortChoice& choice)
{
    const QString list = port_advice_parts::otherPortsList(ports, choice);
    if (list.isEmpty())
        return QStringLiteral("No other serial port was found on this computer.");
    return list;
}

} // namespace cablemeter
