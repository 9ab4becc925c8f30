#include "cli/ports_command.h"

#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "platform/port_names.h"

#include <QCommandLineParser>
#include <QSerialPortInfo>

namespace cablemeter::cli {

namespace {

constexpr int kIdDigits = 4;
constexpr int kDeviceColumnWidth = 16;

QString usbId(bool known, quint16 id)
{
    return known ? QStringLiteral("%1").arg(id, kIdDigits, 16, QLatin1Char('0'))
                 : QStringLiteral("----");
}

// "COM2" when the window's COM2 leads to this device; empty when no COM port does.
QString windowPortOf(const QString& device)
{
    QStringList ports;
    for (int n = 1; n <= kPortCount; ++n) {
        if (deviceForPort(n) == device)
            ports << QStringLiteral("COM%1").arg(n);
    }
    return ports.join(QLatin1Char(' '));
}

void listSerialPorts()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    printLine(QStringLiteral("Serial ports found:"));
    if (ports.isEmpty())
        printLine(QStringLiteral("  (none)"));
    for (const QSerialPortInfo& port : ports) {
        QString line = QStringLiteral("  %1  vendor %2  product %3")
                           .arg(port.systemLocation(), -kDeviceColumnWidth)
                           .arg(usbId(port.hasVendorIdentifier(), port.vendorIdentifier()),
                                usbId(port.hasProductIdentifier(), port.productIdentifier()));
        const QString description =
            port.description().isEmpty() ? QStringLiteral("no description") : port.description();
        line += QStringLiteral("  %1").arg(description);
        if (!port.manufacturer().isEmpty())
            line += QStringLiteral(" (%1)").arg(port.manufacturer());
        const QString windowPort = windowPortOf(port.systemLocation());
        if (!windowPort.isEmpty())
            line += QStringLiteral("  = ") + windowPort;
        printLine(line);
    }
}

void listWindowPorts()
{
    printLine(QStringLiteral("The window's ports (CABLEMETER_COM<n>=DEVICE maps COM<n>):"));
    for (int n = 1; n <= kPortCount; ++n) {
        const QString variable = QStringLiteral("CABLEMETER_COM%1").arg(n);
        const QString origin = !qEnvironmentVariableIsEmpty(variable.toLatin1().constData())
                                   ? QStringLiteral("from ") + variable
                                   : QStringLiteral("default");
        printLine(QStringLiteral("  COM%1  %2  %3")
                      .arg(n)
                      .arg(deviceForPort(n), -kDeviceColumnWidth)
                      .arg(origin));
    }
}

} // namespace

int PortsCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the serial ports found, with their description and USB vendor and product ids,\n"
        "and the device each of the window's COM1 to COM4 leads to."));
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(parser, QStringLiteral("cablemeter-cli ports"), arguments, exitCode))
        return exitCode;
    listSerialPorts();
    listWindowPorts();
    return kExitSuccess;
}

} // namespace cablemeter::cli
