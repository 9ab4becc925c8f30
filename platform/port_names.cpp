#include "platform/port_names.h"

#include "platform/port_holders.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

#ifndef Q_OS_WIN
#include <grp.h>
#include <sys/stat.h>
#endif

namespace cablemeter {

namespace {

const QString kParagraphBreak = QStringLiteral("\n\n");
const QString kListIndent = QStringLiteral("\n  ");

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

// A found port and how it can be reached from the selector.
QString portLine(const PortMap&, const FoundPort& port, int, const QString& reachedSuffix)
{
    const int number = windowsPortNumber(port.device);
    if (number >= 1 && number <= kPortCount)
        return PortMap::portText(port) + reachedSuffix;
    return PortMap::portText(port) +
           QStringLiteral(": Windows numbered it above COM4, so it cannot be chosen yet");
}

// Every port found, with how it can be reached.
QStringList portLines(const PortMap& ports, int portNumber, const QString& exceptDevice,
                      const QString& reachedSuffix)
{
    QStringList lines;
    for (const FoundPort& port : ports.reachablePorts()) {
        if (!isSameDevice(ports, port.device, exceptDevice))
            lines << portLine(ports, port, portNumber, reachedSuffix);
    }
    return lines;
}

QString missingPortAdvice(const PortMap& ports, const PortChoice& choice, const OpenResult& result,
                          const QString& retryAdvice)
{
    QStringList paragraphs;
    paragraphs << QStringLiteral("Cannot open %1: %2.")
                      .arg(ports.displayName(choice), result.systemReason);
    paragraphs << QStringLiteral("Windows has no working %1 now.").arg(ports.deviceFor(choice));
    const QStringList lines = portLines(ports, choice.portNumber, {}, {});
    paragraphs << (lines.isEmpty()
                       ? QStringLiteral("No serial port was found on this computer.")
                       : indentedList(QStringLiteral("Serial ports on this computer:"), lines));
    paragraphs << QStringLiteral("Open Device Manager and look under \"Ports (COM & LPT)\" for the "
                                 "meter's adapter. %1 Then choose that port and %2.")
                      .arg(kRenumberAdvice, retryAdvice);
    return paragraphs.join(kParagraphBreak);
}

QString heldPortAdvice(const PortMap& ports, const PortChoice& choice, const OpenResult& result,
                       const QString& retryAdvice)
{
    return QStringLiteral("Cannot open %1: %2.\n\n%3 is in use by another program. Close that "
                          "program (a terminal program, or another copy of this one), then %4.")
        .arg(ports.displayName(choice), result.systemReason, ports.deviceFor(choice), retryAdvice);
}

QString otherPortsTail(const PortMap& ports, const QStringList& lines, const QString& retryAdvice)
{
    const bool someAboveCom4 = std::any_of(
        ports.reachablePorts().begin(), ports.reachablePorts().end(),
        [](const FoundPort& port) { return windowsPortNumber(port.device) > kPortCount; });
    QString text = indentedList(QStringLiteral("Other serial ports on this computer:"), lines);
    if (someAboveCom4)
        text += kParagraphBreak + kRenumberAdvice;
    return text + kParagraphBreak +
           QStringLiteral("Choose the port the meter is on, then %1.").arg(retryAdvice);
}

#else

// The group that owns a device node (dialout on Debian), or empty when unknown.
QString owningGroup(const QString& device)
{
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return {};
    if (const group* entry = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(entry->gr_name);
    return {};
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
QStringList portLines(const PortMap& ports, int portNumber, const QString& exceptDevice,
                      const QString& reachedSuffix)
{
    QStringList lines;
    for (int number = 1; number <= kPortCount; ++number) {
        const QString device = ports.deviceFor(number);
        if (device.isEmpty() || isSameDevice(ports, device, exceptDevice))
            continue;
        const std::optional<FoundPort> port = ports.portAt(device);
        if (ports.isOverridden(number) || !port)
            lines << QStringLiteral("%1 leads to %2 (named by %3)%4")
                         .arg(PortMap::comName(number), device, PortMap::overrideVariable(number),
                              reachedSuffix);
        else
            lines << QStringLiteral("%1 leads to %2%3")
                         .arg(PortMap::comName(number), PortMap::portText(*port), reachedSuffix);
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

QString missingPortAdvice(const PortMap& ports, const PortChoice& choice, const OpenResult& result,
                          const QString& retryAdvice)
{
    const int portNumber = choice.portNumber;
    const QString device = ports.deviceFor(choice);
    const qsizetype found = ports.reachablePorts().size();
    QStringList paragraphs;
    if (device.isEmpty()) {
        paragraphs << (found == 0 ? QStringLiteral("Cannot open %1: no serial port was found on "
                                                   "this computer.")
                                        .arg(PortMap::comName(portNumber))
                                  : QStringLiteral("Cannot open %1: only %2 serial port%3 found, "
                                                   "so %1 leads to none.")
                                        .arg(PortMap::comName(portNumber))
                                        .arg(found)
                                        .arg(found == 1 ? QStringLiteral(" was")
                                                        : QStringLiteral("s were")));
    } else {
        paragraphs << QStringLiteral("Cannot open %1: %2.")
                          .arg(ports.displayName(choice), result.systemReason);
        paragraphs << (result.failure == OpenFailure::NotFound
                           ? QStringLiteral("%1 does not exist: an adapter that was unplugged "
                                            "is gone until it is plugged in again.")
                                 .arg(device)
                           : QStringLiteral("%1 may have no serial hardware behind it, or may "
                                            "not be a serial port.")
                                 .arg(device));
        if (!choice.namesDevice() && ports.isOverridden(portNumber))
            paragraphs << QStringLiteral("%1 leads to %2 because %3 names it; without that "
                                         "variable %1 leads to a port found on this computer.")
                              .arg(PortMap::comName(portNumber), device,
                                   PortMap::overrideVariable(portNumber));
    }
    const QStringList lines = portLines(ports, std::max(portNumber, 1), {}, {});
    if (!lines.isEmpty())
        paragraphs << indentedList(QStringLiteral("Serial ports on this computer:"), lines);
    const QString consoles = consolesNote(ports);
    if (!consoles.isEmpty())
        paragraphs << consoles;
    // The system probes a main-board UART by opening it, which only members of its group may.
    if (found == 0)
        paragraphs << QStringLiteral("Serial ports on the main board (/dev/ttyS*) are found only "
                                     "when your user is in the group \"dialout\".");
    paragraphs << (found == 0 ? QStringLiteral("Plug in the meter's USB serial adapter, then %1.")
                                    .arg(retryAdvice)
                              : QStringLiteral("Choose the port of the meter's adapter (or plug "
                                               "the adapter in), then %1.")
                                    .arg(retryAdvice));
    return paragraphs.join(kParagraphBreak);
}

QString heldPortAdvice(const PortMap& ports, const PortChoice& choice, const OpenResult& result,
                       const QString& retryAdvice)
{
    const QString device = ports.deviceFor(choice);
    QString text =
        QStringLiteral("Cannot open %1: %2.").arg(ports.displayName(choice), result.systemReason);
    if (result.failure == OpenFailure::PermissionDenied) {
        QString group = owningGroup(device);
        if (group.isEmpty())
            group = QStringLiteral("dialout");
        text += QStringLiteral("\n\nYour user may not use %1: it belongs to the group \"%2\". "
                               "Add yourself to that group with\n  sudo usermod -aG %2 $USER\n"
                               "then log out and in again, and %3.")
                    .arg(device, group, retryAdvice);
    } else if (const QStringList holders = programsHolding(device); !holders.isEmpty()) {
        text += QStringLiteral("\n\n%1 is held by %2. Close it, then %3.")
                    .arg(device, holders.join(QStringLiteral(", ")), retryAdvice);
    } else {
        text += QStringLiteral("\n\nAnother program holds %1 (for example ModemManager, brltty, a "
                               "terminal program such as minicom or screen, or another copy of "
                               "this program). Close it, or unplug and replug the adapter, then "
                               "%2.")
                    .arg(device, retryAdvice);
    }
    return text;
}

QString otherPortsTail(const PortMap&, const QStringList& lines, const QString& retryAdvice)
{
    return indentedList(QStringLiteral("Other serial ports on this computer:"), lines) +
           kParagraphBreak +
           QStringLiteral("Choose the port the meter is on, then %1.").arg(retryAdvice);
}

#endif

} // namespace

std::optional<int> namedPortNumber(const QString& text)
{
    for (int n = 1; n <= kPortCount; ++n) {
        if (text == PortMap::comName(n))
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

QString describeOpenFailure(const PortMap& ports, const PortChoice& choice,
                            const OpenResult& result, const QString& retryAdvice)
{
    switch (result.failure) {
    case OpenFailure::PermissionDenied:
    case OpenFailure::Busy:
        return heldPortAdvice(ports, choice, result, retryAdvice);
    case OpenFailure::NotFound:
    case OpenFailure::Other:
    case OpenFailure::None:
        break;
    }
    return missingPortAdvice(ports, choice, result, retryAdvice);
}

QString describeOtherPorts(const PortMap& ports, const PortChoice& choice,
                           const QString& retryAdvice)
{
    const QStringList lines = portLines(ports, std::max(choice.portNumber, 1),
                                        ports.deviceFor(choice), QStringLiteral(": try it"));
    if (lines.isEmpty())
        return QStringLiteral("No other serial port was found on this computer: check the cable "
                              "between the meter and this port, then %1.")
            .arg(retryAdvice);
    return otherPortsTail(ports, lines, retryAdvice);
}

} // namespace cablemeter
