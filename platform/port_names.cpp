#include "platform/port_names.h"

#include "platform/port_access_advice.h"
#include "platform/port_holders.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace cablemeter {

namespace {

const QString kParagraphBreak = QStringLiteral("\n\n");
const QString kListIndent = QStringLiteral("\n  ");
const QString kOtherPortsHeading = QStringLiteral("Other serial ports on this computer:");

QString indentedList(const QString& heading, const QStringList& lines)
{
    return heading + kListIndent + lines.join(kListIndent);
}

// Whether two device names lead to the same port (a by-id link and its node, say).
bool isSameDevice(const PortMap& ports, const QString& device, const QString& other)
{
    if (device.isEmpty() || other.isEmpty())
        return false;
    if (device == other)
        return true;
    const std::optional<FoundPort> port = ports.portAt(device);
    return port && port == ports.portAt(other);
}

#ifdef Q_OS_WIN

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
                : portListDetails(ports,
                                  QStringLiteral("Serial ports on this "
                                                 "computer:"),
                                  lines)};
}

UserMessage refusedPortAdvice(const PortMap& ports, const PortChoice& choice, const OpenResult&,
                              const PortAdvice& advice)
{
    return describeHeldPort(ports.displayName(choice), {}, advice);
}

QString otherPortsDetails(const PortMap& ports, const QStringList& lines)
{
    return portListDetails(ports, kOtherPortsHeading, lines);
}

#else

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
                portListDetails(ports, choice, QStringLiteral("Serial ports on this computer:"))};
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

QString otherPortsDetails(const PortMap&, const QStringList& lines)
{
    return indentedList(kOtherPortsHeading, lines);
}

#endif

} // namespace

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

UserMessage describeOpenFailure(const PortMap& ports, const PortChoice& choice,
                                const OpenResult& result, const PortAdvice& advice)
{
    switch (result.failure) {
    case OpenFailure::PermissionDenied:
    case OpenFailure::Busy:
        return refusedPortAdvice(ports, choice, result, advice);
    case OpenFailure::NotFound:
    case OpenFailure::Other:
    case OpenFailure::None:
        break;
    }
    return missingPortAdvice(ports, choice, result, advice);
}

QString describeOtherPorts(const PortMap& ports, const PortChoice& choice)
{
#ifdef Q_OS_WIN
    const QStringList lines = portLines(ports, ports.deviceFor(choice));
#else
    const QStringList lines =
        portLines(ports, std::max(choice.portNumber, 1), ports.deviceFor(choice));
#endif
    if (lines.isEmpty())
        return QStringLiteral("No other serial port was found on this computer.");
    return otherPortsDetails(ports, lines);
}

} // namespace cablemeter
