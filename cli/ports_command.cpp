#include "cli/ports_command.h"

#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "platform/port_map.h"

#include <QCommandLineParser>

namespace cablemeter::cli {

namespace {

constexpr int kDeviceColumnWidth = 16;
constexpr int kKindColumnWidth = 4;

QString kindName(PortKind kind)
{
    switch (kind) {
    case PortKind::Usb:
        return QStringLiteral("usb");
    case PortKind::Acm:
        return QStringLiteral("acm");
    case PortKind::Uart:
        break;
    }
    return QStringLiteral("uart");
}

// "  /dev/ttyUSB0      usb   FT232R USB UART  by-id usb-FTDI_...": a port's own columns.
QString portColumns(const FoundPort& port)
{
    QString line = QStringLiteral("  %1  %2")
                       .arg(port.device, -kDeviceColumnWidth)
                       .arg(kindName(port.kind), -kKindColumnWidth);
    if (!port.description.isEmpty())
        line += QStringLiteral("  ") + port.description;
    if (!port.byIdName.isEmpty())
        line += QStringLiteral("  by-id ") + port.byIdName;
    return line;
}

void listFoundPorts(const PortMap& ports)
{
    printLine(QStringLiteral("Serial ports found (USB and ACM adapters first, then UARTs):"));
    if (ports.reachablePorts().isEmpty())
        printLine(QStringLiteral("  (none)"));
    for (const FoundPort& port : ports.reachablePorts()) {
        const int number = ports.portNumberOf(port.device);
        printLine(portColumns(port) + (number > 0 ? QStringLiteral("  = COM%1").arg(number)
                                                  : QStringLiteral("  no COM number leads to it "
                                                                   "(CABLEMETER_COM<n>=%1 maps it)")
                                                        .arg(port.device)));
    }
    if (ports.consoles().isEmpty())
        return;
    printLine(QStringLiteral("Left out, because the system console runs on them:"));
    for (const FoundPort& port : ports.consoles())
        printLine(portColumns(port));
}

void listWindowPorts(const PortMap& ports)
{
    printLine(QStringLiteral("The window's ports (default: the n-th port found; "
                             "CABLEMETER_COM<n>=DEVICE maps COM<n> to DEVICE):"));
    for (int n = 1; n <= kPortCount; ++n) {
        const QString origin = ports.isOverridden(n)
                                   ? QStringLiteral("from ") + PortMap::overrideVariable(n)
                                   : QStringLiteral("default");
        const QString device = ports.deviceFor(n);
        const std::optional<FoundPort> port =
            device.isEmpty() || ports.isOverridden(n) ? std::nullopt : ports.portAt(device);
        const QString target = device.isEmpty() ? QStringLiteral("(no serial port)")
                               : port           ? PortMap::portText(*port)
                                                : device;
        printLine(
            QStringLiteral("  COM%1  %2  %3").arg(n).arg(target, -kDeviceColumnWidth).arg(origin));
    }
}

} // namespace

int PortsCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the serial ports found, with their kind, description and /dev/serial/by-id name,\n"
        "the consoles left out, and the device each of the window's COM1 to COM4 leads to."));
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(parser, QStringLiteral("cablemeter-cli ports"), arguments, exitCode))
        return exitCode;
    const PortMap ports = PortMap::current();
    listFoundPorts(ports);
    listWindowPorts(ports);
    return kExitSuccess;
}

} // namespace cablemeter::cli
