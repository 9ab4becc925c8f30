#include "platform/port_advice.h"

#include "platform/port_access_advice.h"
#include "platform/port_advice_parts.h"
#include "platform/port_holders.h"

#include <algorithm>

namespace cablemeter::port_advice_parts {

namespace {

// "Choose" from "choose": the advice begins a sentence.
QString sentence(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

// A port found that none of COM1 to COM4 leads to, and the variable that makes it COMn.
QString unreachedPortLine(const FoundPort& port, int portNumber)
{
    return QStringLiteral("%1: no COM number leads to it; start the program with %2=%3 to "
                          "reach it as %4")
        .arg(PortMap::portText(port), PortMap::overrideVariable(portNumber), port.device,
             PortMap::comName(portNumber));
}

// Where each of COM1 to COM4 leads, then the ports found that none of them leads to. Ports that
// are `exceptDevice` are left out.
QStringList portLines(const PortMap& ports, int portNumber, const QString& exceptDevice)
{
    QStringList lines;
    for (int number = 1; number <= kPortCount; ++number) {
        const QString device = ports.deviceFor(number);
        if (device.isEmpty() || isSameDevice(ports, device, exceptDevice))
            continue;
        const std::optional<FoundPort> port = ports.portAt(device);
        if (ports.isOverridden(number) || !port)
            lines << QStringLiteral("%1 leads to %2 (named by %3)")
                         .arg(PortMap::comName(number), device, PortMap::overrideVariable(number));
        else
            lines << QStringLiteral("%1 leads to %2")
                         .arg(PortMap::comName(number), PortMap::portText(*port));
    }
    for (const FoundPort& port : ports.reachablePorts()) {
        if (ports.portNumberOf(port.device) == 0 && !isSameDevice(ports, port.device, exceptDevice))
            lines << unreachedPortLine(port, portNumber);
    }
    return lines;
}

QString consolesNote(const PortMap& ports)
{
    QStringList devices;
    for (const FoundPort& console : ports.consoles())
        devices << console.device;
    if (devices.isEmpty())
        return {};
    return QStringLiteral("Left out: %1, where the system console runs.")
        .arg(devices.join(QStringLiteral(", ")));
}

// The ports found but the chosen one, the consoles left out, and how a variable sends a port
// elsewhere: what the user picks another port from.
QString portListDetails(const PortMap& ports, const PortChoice& choice, const QString& heading)
{
    const QString device = ports.deviceFor(choice);
    QStringList paragraphs;
    if (!choice.namesDevice() && ports.isOverridden(choice.portNumber))
        paragraphs << QStringLiteral("%1 leads to %2 because %3 names it; without that "
                                     "variable %1 leads to a port found on this computer.")
                          .arg(PortMap::comName(choice.portNumber), device,
                               PortMap::overrideVariable(choice.portNumber));
    const QStringList lines = portLines(ports, std::max(choice.portNumber, 1), device);
    if (!lines.isEmpty())
        paragraphs << indentedList(heading, lines);
    const QString consoles = consolesNote(ports);
    if (!consoles.isEmpty())
        paragraphs << consoles;
    // The system probes a main-board UART by opening it, which only members of its group may.
    if (ports.reachablePorts().isEmpty())
        paragraphs << QStringLiteral("Serial ports on the main board (/dev/ttyS*) are found only "
                                     "when your user is in the group \"dialout\".");
    return paragraphs.join(kParagraphBreak);
}

} // namespace

UserMessage missingPortAdvice(const PortMap& ports, const PortChoice& choice,
                              const OpenResult& result, const PortAdvice& advice)
{
    const int portNumber = choice.portNumber;
    const qsizetype found = ports.reachablePorts().size();
    if (ports.deviceFor(choice).isEmpty() && found == 0)
        return {
            QStringLiteral("Cannot open %1: no serial port was found on this computer.")
                .arg(PortMap::comName(portNumber)),
            QStringLiteral("Plug in the meter's USB serial adapter, then %1.").arg(advice.retry),
            portListDetails(ports, choice, QString())};
    if (ports.deviceFor(choice).isEmpty())
        return {QStringLiteral("Cannot open %1: only %2 serial port%3 found, so %1 leads to none.")
                    .arg(PortMap::comName(portNumber))
                    .arg(found)
                    .arg(found == 1 ? QStringLiteral(" was") : QStringLiteral("s were")),
                QStringLiteral("%1 (the details list the ports found), then %2.")
                    .arg(sentence(advice.choosePort), advice.retry),
                portListDetails(ports, choice, kPortsHeading)};
    const QString otherPorts = portListDetails(ports, choice, kOtherPortsHeading);
    if (result.failure == OpenFailure::NotFound)
        return {QStringLiteral("Cannot open %1: the device does not exist (%2).")
                    .arg(ports.displayName(choice), result.systemReason),
                QStringLiteral("Plug the meter's adapter in again, or %1, then %2.")
                    .arg(advice.choosePort, advice.retry),
                otherPorts};
    return {QStringLiteral("Cannot open %1: it may have no serial hardware behind it, or may not "
                           "be a serial port (%2).")
                .arg(ports.displayName(choice), result.systemReason),
            QStringLiteral("%1, then %2.").arg(sentence(advice.choosePort), advice.retry),
            otherPorts};
}

UserMessage refusedPortAdvice(const PortMap& ports, const PortChoice& choice,
                              const OpenResult& result, const PortAdvice& advice)
{
    const QString device = ports.deviceFor(choice);
    if (result.failure == OpenFailure::PermissionDenied)
        return permissionAdvice(ports.displayName(choice), device, result.systemReason, advice);
    // The system's words for a held port ("Permission error while locking the device") would
    // read as a permission problem: the holders say what it is.
    return describeHeldPort(ports.displayName(choice), programsHolding(device), advice);
}

QString otherPortsList(const PortMap& ports, const PortChoice& choice)
{
    const QStringList lines =
        portLines(ports, std::max(choice.portNumber, 1), ports.deviceFor(choice));
    return lines.isEmpty() ? QString() : indentedList(kOtherPortsHeading, lines);
}

} // namespace cablemeter::port_advice_parts
