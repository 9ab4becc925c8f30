// How the selector's text becomes a device: which serial ports COM1 to COM4 lead to, how they
// are named to the user, and what the user is told when a port will not open or the meter is
// silent. The ports are given as a list, in the format of the test variable, and handed over.
#include "platform/listed_port_discovery.h"
#include "platform/port_holders.h"
#include "platform/port_names.h"
#include "platform/system_port_discovery.h"
#include "support/fake_serial_port.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace cablemeter;

namespace {

const QString kPressOpen = QStringLiteral("press Open");

// Two adapters, a UART and the console, listed in no useful order.
const QString kWorkbench =
    QStringLiteral("/dev/ttyS0|uart|||console,"
                   "/dev/ttyS1|uart,"
                   "/dev/ttyUSB1|usb|usb-Prolific_PL2303-if00-port0|USB-Serial Controller,"
                   "/dev/ttyUSB0|usb|usb-FTDI_FT232R_USB_UART_A10K-if00-port0|FT232R USB UART");

// The ports of `list`, with "2=/dev/pts/7" in `overrides` sending COM2 there as the user's
// CABLEMETER_COM2 would.
PortMap portsOf(const QString& list, const QStringList& overrides = {})
{
    PortMap::Overrides devices;
    for (const QString& each : overrides) {
        const QStringList parts = each.split(QLatin1Char('='));
        devices[std::size_t(parts[0].toInt() - 1)] = parts[1];
    }
    return PortMap(devices, [list] { return ListedPortDiscovery(list).findPorts(); });
}

} // namespace

class PortNamesTest : public QObject {
    Q_OBJECT

    void checkText(const QString& text, const QStringList& wanted, const QStringList& unwanted,
                   const QString& retry)
    {
        for (const QString& part : wanted)
            QVERIFY2(text.contains(part),
                     qPrintable(QStringLiteral("missing \"%1\" in:\n%2").arg(part, text)));
        for (const QString& part : unwanted)
            QVERIFY2(!text.contains(part),
                     qPrintable(QStringLiteral("unwanted \"%1\" in:\n%2").arg(part, text)));
        QVERIFY2(text.endsWith(retry + QLatin1Char('.')), qPrintable(text));
    }

private slots:
    void selectorText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("COM1") << "COM1" << 1;
        QTest::newRow("COM2") << "COM2" << 2;
        QTest::newRow("COM3") << "COM3" << 3;
        QTest::newRow("COM4") << "COM4" << 4;
        QTest::newRow("lower case") << "com3" << 1;
        QTest::newRow("COM5") << "COM5" << 1;
        QTest::newRow("empty") << "" << 1;
        QTest::newRow("trailing blank") << "COM3 " << 1;
        QTest::newRow("device path typed") << "/dev/ttyUSB0" << 1;
    }
    void selectorText()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(portNumberFromSelector(text), port);
    }

    void deviceMapping_data()
    {
        QTest::addColumn<QString>("ports");
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<QStringList>("devices"); // COM1 to COM4; empty: leads to no device

        QTest::newRow("one adapter is COM1")
            << "/dev/ttyUSB0|usb|usb-FTDI_A-if00-port0|FT232R USB UART" << QStringList()
            << QStringList{"/dev/ttyUSB0", "", "", ""};
        QTest::newRow("adapters by by-id name, then UARTs, console left out")
            << kWorkbench << QStringList()
            << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyS1", ""};
        QTest::newRow("ACM adapters rank with USB ones")
            << "/dev/ttyS1|uart,/dev/ttyUSB0|usb|usb-Prolific_B,/dev/ttyACM0|acm|usb-Arduino_C"
            << QStringList() << QStringList{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyS1", ""};
        QTest::newRow("an adapter without a by-id name after those with one")
            << "/dev/ttyUSB0|usb,/dev/ttyUSB1|usb|usb-Z" << QStringList()
            << QStringList{"/dev/ttyUSB1", "/dev/ttyUSB0", "", ""};
        QTest::newRow("UARTs in number order")
            << "/dev/ttyS10|uart,/dev/ttyS2|uart,/dev/ttyS3" << QStringList()
            << QStringList{"/dev/ttyS2", "/dev/ttyS3", "/dev/ttyS10", ""};
        QTest::newRow("more ports than COM numbers")
            << "/dev/ttyS1,/dev/ttyS2,/dev/ttyS3,/dev/ttyS4,/dev/ttyS5" << QStringList()
            << QStringList{"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3", "/dev/ttyS4"};
        QTest::newRow("only the console: nothing")
            << "/dev/ttyS0|uart|||console" << QStringList() << QStringList{"", "", "", ""};
        QTest::newRow("no ports") << "none" << QStringList() << QStringList{"", "", "", ""};
        QTest::newRow("empty list") << "" << QStringList() << QStringList{"", "", "", ""};
        QTest::newRow("unreadable entries are left out")
            << "/dev/ttyUSB7|modem,|usb,/dev/ttyUSB0|usb" << QStringList()
            << QStringList{"/dev/ttyUSB0", "", "", ""};
        QTest::newRow("a variable wins; the other ports keep their place")
            << kWorkbench << QStringList{"2=/dev/pts/7"}
            << QStringList{"/dev/ttyUSB0", "/dev/pts/7", "/dev/ttyS1", ""};
        QTest::newRow("a variable reaches a port beyond the ports found")
            << "none" << QStringList{"4=/dev/serial/by-id/usb-FTDI_meter-if00-port0"}
            << QStringList{"", "", "", "/dev/serial/by-id/usb-FTDI_meter-if00-port0"};
    }
    void deviceMapping()
    {
        QFETCH(QString, ports);
        QFETCH(QStringList, overrides);
        QFETCH(QStringList, devices);
        const PortMap map = portsOf(ports, overrides);
        for (int n = 1; n <= kPortCount; ++n)
            QCOMPARE(map.deviceFor(n), devices[n - 1]);
    }

    void displayName_data()
    {
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("name");
        QTest::newRow("adapter with its description")
            << QStringList() << 1 << "COM1 (/dev/ttyUSB0, FT232R USB UART)";
        QTest::newRow("UART without one") << QStringList() << 3 << "COM3 (/dev/ttyS1)";
        QTest::newRow("no port") << QStringList() << 4 << "COM4 (no serial port)";
        QTest::newRow("named by its variable")
            << QStringList{"4=/dev/pts/7"} << 4 << "COM4 (/dev/pts/7)";
    }
    void displayName()
    {
        QFETCH(QStringList, overrides);
        QFETCH(int, port);
        QFETCH(QString, name);
        QCOMPARE(portsOf(kWorkbench, overrides).displayName(port), name);
    }

    void deviceGivenDirectlyIsNamedAsGiven()
    {
        const PortMap map = portsOf(kWorkbench);
        const PortChoice choice = PortChoice::path(QStringLiteral("/dev/serial/by-id/usb-meter"));
        QCOMPARE(map.deviceFor(choice), choice.device);
        QCOMPARE(map.displayName(choice), choice.device);
        QCOMPARE(map.displayName(PortChoice::com(2)),
                 QStringLiteral("COM2 (/dev/ttyUSB1, USB-Serial Controller)"));
    }

    void adapterPluggedInLaterIsFound()
    {
        QString plugged = QStringLiteral("none");
        PortMap map(PortMap::Overrides{},
                    [&plugged] { return ListedPortDiscovery(plugged).findPorts(); });
        QCOMPARE(map.displayName(1), QStringLiteral("COM1 (no serial port)"));
        plugged = QStringLiteral("/dev/ttyUSB0|usb|usb-FTDI_A|FT232R USB UART");
        map.refresh();
        QCOMPARE(map.displayName(1), QStringLiteral("COM1 (/dev/ttyUSB0, FT232R USB UART)"));
    }

    void portNamedByItsVariableNeedsNoSearch()
    {
        int searches = 0;
        const PortMap ports({QStringLiteral("/dev/pts/7"), {}, {}, {}}, [&searches] {
            ++searches;
            FoundPort adapter;
            adapter.device = QStringLiteral("/dev/ttyUSB0");
            adapter.kind = PortKind::Usb;
            return QList<FoundPort>{adapter};
        });
        QCOMPARE(ports.deviceFor(1), QStringLiteral("/dev/pts/7"));
        QCOMPARE(ports.displayName(1), QStringLiteral("COM1 (/dev/pts/7)"));
        QCOMPARE(searches, 0);
        QCOMPARE(ports.deviceFor(2), QString()); // COM2 would be a second port found
        QCOMPARE(searches, 1);
        QCOMPARE(ports.portNumberOf(QStringLiteral("/dev/ttyUSB0")), 0);
        QCOMPARE(searches, 1); // one search answers every question
    }

    void openFailureAdvice_data()
    {
        QTest::addColumn<QString>("ports");
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("retry");
        QTest::addColumn<QStringList>("wanted");
        QTest::addColumn<QStringList>("unwanted");

        const int notFound = int(OpenFailure::NotFound);
        const QString noSuchFile = QStringLiteral("No such file or directory");
        QTest::newRow("fewer ports than the COM number")
            << kWorkbench << QStringList() << 4 << notFound << noSuchFile << kPressOpen
            << QStringList{"Cannot open COM4: only 3 serial ports were found, so COM4 leads to "
                           "none.",
                           "COM1 leads to /dev/ttyUSB0 (FT232R USB UART)",
                           "COM2 leads to /dev/ttyUSB1 (USB-Serial Controller)",
                           "COM3 leads to /dev/ttyS1",
                           "Left out: /dev/ttyS0, where the system "
                           "console runs."}
            << QStringList{noSuchFile, "COM4 leads to /"};
        QTest::newRow("no ports at all")
            << "none" << QStringList() << 1 << notFound << noSuchFile << kPressOpen
            << QStringList{"Cannot open COM1: no serial port was found on this computer.",
                           "found only when your user is in the group \"dialout\"",
                           "Plug in the meter's USB serial adapter, then press Open."}
            << QStringList{"/dev/ttyS0", "leads to"};
        QTest::newRow("one adapter, COM2 chosen")
            << "/dev/ttyUSB0|usb|usb-A|FT232R USB UART" << QStringList() << 2 << notFound
            << noSuchFile << kPressOpen
            << QStringList{"Cannot open COM2: only 1 serial port was found, so COM2 leads to "
                           "none.",
                           "COM1 leads to /dev/ttyUSB0 (FT232R USB UART)"}
            << QStringList{"dialout", "Left out"};
        QTest::newRow("only the console")
            << "/dev/ttyS0|uart|||console" << QStringList() << 1 << notFound << noSuchFile
            << kPressOpen
            << QStringList{"no serial port was found", "Left out: /dev/ttyS0, where the "
                                                       "system console runs."}
            << QStringList{"COM1 leads to"};
        QTest::newRow("adapter unplugged since")
            << kWorkbench << QStringList() << 2 << notFound << noSuchFile << kPressOpen
            << QStringList{"Cannot open COM2 (/dev/ttyUSB1, USB-Serial Controller): No such "
                           "file or directory.",
                           "/dev/ttyUSB1 does not exist",
                           "COM1 leads to /dev/ttyUSB0 (FT232R USB UART)"}
            << QStringList();
        QTest::newRow("no hardware behind the node")
            << "/dev/ttyS1|uart" << QStringList() << 1 << int(OpenFailure::Other)
            << "Input/output error" << kPressOpen
            << QStringList{"Cannot open COM1 (/dev/ttyS1): Input/output error.",
                           "/dev/ttyS1 may have no serial hardware behind it"}
            << QStringList{"dialout"};
        QTest::newRow("variable names a missing device")
            << kWorkbench << QStringList{"2=/dev/ttyUSB9"} << 2 << notFound << noSuchFile
            << kPressOpen
            << QStringList{"Cannot open COM2 (/dev/ttyUSB9)", "/dev/ttyUSB9 does not exist",
                           "because CABLEMETER_COM2 names it",
                           "COM2 leads to /dev/ttyUSB9 (named by CABLEMETER_COM2)",
                           "COM1 leads to /dev/ttyUSB0"}
            << QStringList();
        QTest::newRow("a port beyond COM4")
            << "/dev/ttyS1,/dev/ttyS2,/dev/ttyS3,/dev/ttyS4,/dev/ttyS5" << QStringList() << 1
            << int(OpenFailure::Other) << "Input/output error" << kPressOpen
            << QStringList{"COM4 leads to /dev/ttyS4",
                           "/dev/ttyS5: no COM number leads to it; start the program with "
                           "CABLEMETER_COM1=/dev/ttyS5 to reach it as COM1"}
            << QStringList();
        QTest::newRow("permission")
            << kWorkbench << QStringList() << 1 << int(OpenFailure::PermissionDenied)
            << "Permission denied" << kPressOpen
            << QStringList{"Cannot open COM1 (/dev/ttyUSB0, FT232R USB UART): Permission denied.",
                           "Your user may not use /dev/ttyUSB0", "sudo usermod -aG dialout $USER",
                           "log out and in again, and press Open."}
            << QStringList{"/dev/ttyS"};
        QTest::newRow("busy") << kWorkbench << QStringList() << 2 << int(OpenFailure::Busy)
                              << "Device or resource busy" << kPressOpen
                              << QStringList{"Another program holds /dev/ttyUSB1", "ModemManager"}
                              << QStringList{"/dev/ttyUSB0"};
        QTest::newRow("a device given on the command line (port 0) is missing")
            << kWorkbench << QStringList() << 0 << notFound << noSuchFile << kPressOpen
            << QStringList{"Cannot open /dev/ttyUSB9: No such file or directory.",
                           "/dev/ttyUSB9 does not exist",
                           "COM1 leads to /dev/ttyUSB0 (FT232R USB UART)"}
            << QStringList{"CABLEMETER_COM", "COM1 (/dev/ttyUSB9"};
        QTest::newRow("the command line's retry advice")
            << kWorkbench << QStringList() << 4 << notFound << noSuchFile << "run the command again"
            << QStringList{"then run the command again"} << QStringList{kPressOpen};
    }
    void openFailureAdvice()
    {
        QFETCH(QString, ports);
        QFETCH(QStringList, overrides);
        QFETCH(int, port);
        QFETCH(int, failure);
        QFETCH(QString, reason);
        QFETCH(QString, retry);
        QFETCH(QStringList, wanted);
        QFETCH(QStringList, unwanted);
        const PortChoice choice =
            port == 0 ? PortChoice::path(QStringLiteral("/dev/ttyUSB9")) : PortChoice::com(port);
        checkText(describeOpenFailure(portsOf(ports, overrides), choice,
                                      {OpenFailure(failure), reason}, retry),
                  wanted, unwanted, retry);
    }

    void permissionAdviceNamesTheDevicesGroup()
    {
        QTemporaryDir folder;
        const QString device = folder.filePath(QStringLiteral("ttyUSB0"));
        QFile node(device);
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        const QString group = QFileInfo(device).group();
        QVERIFY(!group.isEmpty());
        const QString text = describeOpenFailure(
            portsOf(kWorkbench, {QStringLiteral("3=") + device}), PortChoice::com(3),
            {OpenFailure::PermissionDenied, "Permission denied"}, kPressOpen);
        QVERIFY2(text.contains(QStringLiteral("sudo usermod -aG %1 $USER").arg(group)),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Your user may not use %1").arg(device)),
                 qPrintable(text));
    }

    void programsHoldingADeviceAreNamed()
    {
        // A process table as /proc shows it: each process's open files are links under fd/.
        QTemporaryDir folder;
        const QDir root(folder.path());
        const QString device = root.filePath(QStringLiteral("ttyUSB0"));
        const QString otherFile = root.filePath(QStringLiteral("other"));
        for (const QString& path : {device, otherFile}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const auto addProcess = [&](const QString& id, const QString& name,
                                    const QStringList& openFiles) {
            QVERIFY(root.mkpath(id + QStringLiteral("/fd")));
            for (int fd = 0; fd < openFiles.size(); ++fd)
                QVERIFY(QFile::link(openFiles[fd],
                                    root.filePath(QStringLiteral("%1/fd/%2").arg(id).arg(fd))));
            if (name.isEmpty())
                return;
            QFile comm(root.filePath(id + QStringLiteral("/comm")));
            QVERIFY(comm.open(QIODevice::WriteOnly));
            comm.write(name.toLocal8Bit() + '\n');
        };
        addProcess(QStringLiteral("4711"), QStringLiteral("minicom"), {otherFile, device});
        addProcess(QStringLiteral("812"), QStringLiteral("bash"), {otherFile});
        addProcess(QStringLiteral("99"), QString(), {device});
        addProcess(QStringLiteral("self"), QStringLiteral("cablemeter"), {device});

        QCOMPARE(programsHolding(device, folder.path()),
                 (QStringList{"minicom (process 4711)", "a program (process 99)"}));
        QCOMPARE(programsHolding(otherFile + QStringLiteral("-gone"), folder.path()),
                 QStringList());
    }

    void noDeviceIsNotOpened()
    {
        const PortMap map = portsOf(QStringLiteral("/dev/ttyUSB0|usb"));
        testing::FakeSerialPort port;
        const OpenResult result = openChosenPort(port, map, PortChoice::com(2));
        QCOMPARE(result.failure, OpenFailure::NotFound);
        QVERIFY(port.openedDevices.isEmpty());
        QVERIFY(openChosenPort(port, map, PortChoice::com(1)).ok());
        QCOMPARE(port.openedDevices, QStringList{QStringLiteral("/dev/ttyUSB0")});
    }

    void otherPortsAdvice_data()
    {
        QTest::addColumn<QString>("ports");
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<int>("port");
        QTest::addColumn<QStringList>("wanted");
        QTest::addColumn<QStringList>("unwanted");

        QTest::newRow("the other adapter and the UART")
            << kWorkbench << QStringList() << 1
            << QStringList{"COM2 leads to /dev/ttyUSB1 (USB-Serial Controller): try it",
                           "COM3 leads to /dev/ttyS1: try it",
                           "Choose the port the meter is on, then press Open."}
            << QStringList{"COM1 leads to", "/dev/ttyS0"};
        QTest::newRow("the only port")
            << "/dev/ttyUSB0|usb|usb-A|FT232R USB UART" << QStringList() << 1
            << QStringList{"No other serial port was found on this computer"}
            << QStringList{"leads to"};
        QTest::newRow("a variable sends COM2 to the same adapter")
            << "/dev/ttyUSB0|usb|usb-A|FT232R USB UART" << QStringList{"2=/dev/serial/by-id/usb-A"}
            << 1 << QStringList{"No other serial port was found"} << QStringList{"COM2"};
        QTest::newRow("silent on a port named by its variable")
            << "/dev/ttyUSB0|usb|usb-A|FT232R USB UART" << QStringList{"1=/dev/pts/7"} << 1
            << QStringList{"/dev/ttyUSB0 (FT232R USB UART): no COM number leads to it; start "
                           "the program with CABLEMETER_COM1=/dev/ttyUSB0"}
            << QStringList{"/dev/pts/7"};
        QTest::newRow("a variable sends COM1 to the adapter COM2 leads to")
            << "/dev/ttyUSB0|usb|usb-A|FT232R USB UART,/dev/ttyUSB1|usb|usb-B|CP2102"
            << QStringList{"1=/dev/serial/by-id/usb-B"} << 1
            << QStringList{"/dev/ttyUSB0 (FT232R USB UART): no COM number leads to it"}
            << QStringList{"COM2", "CP2102"};
        QTest::newRow("from the last port back to the first")
            << kWorkbench << QStringList() << 3
            << QStringList{"COM1 leads to /dev/ttyUSB0 (FT232R USB UART): try it",
                           "COM2 leads to /dev/ttyUSB1"}
            << QStringList{"COM3 leads to"};
    }
    void otherPortsAdvice()
    {
        QFETCH(QString, ports);
        QFETCH(QStringList, overrides);
        QFETCH(int, port);
        QFETCH(QStringList, wanted);
        QFETCH(QStringList, unwanted);
        checkText(describeOtherPorts(portsOf(ports, overrides), PortChoice::com(port), kPressOpen),
                  wanted, unwanted, kPressOpen);
    }

    void consoleNames_data()
    {
        QTest::addColumn<QByteArray>("procConsoles");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("serial console and the screen")
            << QByteArray("ttyS0                -W- (EC  p a)    4:64\n"
                          "tty0                 -WU (E  p  )    4:7\n")
            << QStringList{"ttyS0", "tty0"};
        QTest::newRow("none") << QByteArray() << QStringList();
        QTest::newRow("no final newline")
            << QByteArray("ttyUSB0 -W- (EC p a) 188:0") << QStringList{"ttyUSB0"};
    }
    void consoleNames()
    {
        QFETCH(QByteArray, procConsoles);
        QFETCH(QStringList, names);
        QCOMPARE(SystemPortDiscovery::consoleNames(procConsoles), names);
    }
};

QTEST_GUILESS_MAIN(PortNamesTest)
#include "tst_port_names.moc"
