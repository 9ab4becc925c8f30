#include "platform/port_advice.h"

#include "platform/port_advice_parts.h"

#include <QRegularExpression>

#include <algorithm>

namespace cablemeter::port_advice_parts {

namespace {

// The number Windows gave a port ("COM7" is 7); 0 when the name is not a COM name.
int windowsPortNumber(const QString& device)
{
    static const QRegularExpression comPattern(QStringLiteral("^COM(\\d+)$"),
                                               QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comPattern.match(device);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

const QString kRenumberAdvice = QStringLiteral(
    "An adapter that Windows numbered COM5 or higher is given a number from COM1 to COM4 in "
    "Device Manager: open the port's Properties, then Port Settings, Advanced, COM Port Number.");

// A found port and whether the selector can reach it.
QString portLine(const FoundPort& port)
{
    const int number = windowsPortNumber(port.device);
    if (number >= 1 && number <= kPortCount)
        return PortMap::portText(port);
    return PortMap::portText(port) +
           QStringLiteral(": Windows numbered it above COM4, so it cannot be chosen yet");
}

// Every port found but `exceptDevice`, with how it can be reached.
QStringList portLines(const PortMap& ports, const QString& exceptDevice)
{
    QStringList lines;
    for (const FoundPort& port : ports.reachablePorts()) {
        if (!isSameDevice(ports, port.device, exceptDevice))
            lines << portLine(port);
    }
    return lines;
}

QString portListDetails(const PortMap& ports, const QString& heading, const QStringList& lines)
{
    const bool someAboveCom4 = std::any_of(
        ports.reachablePorts().begin(), ports.reachablePorts().end(),
        [](const FoundPort& port) { return windowsPortNumber(port.device) > kPortCount; });
    QString text = indentedList(heading, lines);
    if (someAboveCom4)
        text += kParagraphBreak + kRenumberAdvice;
    return text;
}

} // namespace

UserMessage missingPortAdvice(const PortMap& ports, const PortChoice& choice,
                              const OpenResult& result, const PortAdvice& advice)
{
    const QStringList lines = portLines(ports, {});
    return {QStringLiteral("Windows has no working %1 now (%2).")
                .arg(ports.deviceFor(choice), result.systemReason),
            QStringLiteral("Look under \"Ports (COM & LPT)\" in Device Manager for the meter's "
                           "adapter and %1, then %2.")
                .arg(advice.choosePort, advice.retry),
            lines.isEmpty()
                ? QStringLiteral("No serial port was found on this computer.\n\n") + kRenumberAdvice
                : portListDetails(ports, kPortsHeading, lines)};
}

UserMessage refusedPortAdvice(const PortMap& ports, const PortChoice& choice, const OpenResult&,
                              const PortAdvice& advice)
{
    return describeHeldPort(ports.displayName(choice), {}, advice);
}

QString otherPortsList(const PortMap& ports, const PortChoice& choice)
{
    const QStringList lines = portLines(ports, ports.deviceFor(choice));
    return lines.isEmpty() ? QString() : portListDetails(ports, kOtherPortsHeading, lines);
}

} // namespace cablemeter::port_advice_parts
