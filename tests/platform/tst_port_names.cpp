// How the selector's text becomes a device: which serial ports COM1 to COM4 lead to, how they
// are named to the user, and what the user is told when a port will not open or the meter is
// silent. The ports are given as a list, in the format of the test variable, and handed over.
#include "platform/listed_port_discovery.h"
#include "platform/port_access_advice.h"
#include "platform/port_advice.h"
#include "platform/port_holders.h"
#include "platform/port_names.h"
#include "platform/system_port_discovery.h"
#include "support/fake_serial_port.h"
#include "support/message_shape.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace cablemeter;
using cablemeter::testing::checkMessageShape;

namespace {

const QString kPressOpen = QStringLiteral("press Open");
const QString kRunAgain = QStringLiteral("run the command again");

// The window's advice, or the command line's when `retry` is its own.
PortAdvice adviceEndingWith(const QString& retry)
{
    if (retry == kPressOpen)
        return {QStringLiteral("choose the meter's port"), kPressOpen};
    return {QStringLiteral("give the meter's device with --port"), retry};
}

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

    void checkText(const QString& text, const QStringList& wanted, const QStringList& unwanted)
    {
        for (const QString& part : wanted)
            QVERIFY2(text.contains(part),
                     qPrintable(QStringLiteral("missing \"%1\" in:\n%2").arg(part, text)));
        for (const QString& part : unwanted)
            QVERIFY2(!text.contains(part),
                     qPrintable(QStringLiteral("unwanted \"%1\" in:\n%2").arg(part, text)));
    }

private slots:
    void selectorText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("anyCase");   // the command line's reading; 0: names no port
        QTest::addColumn<int>("offeredAt"); // its place in the selector's list; -1: not offered
        QTest::newRow("COM1") << "COM1" << 1 << 1 << 0;
        QTest::newRow("COM2") << "COM2" << 2 << 2 << 1;
        QTest::newRow("COM3") << "COM3" << 3 << 3 << 2;
        QTest::newRow("COM4") << "COM4" << 4 << 4 << 3;
        QTest::newRow("lower case") << "com3" << 1 << 3 << -1;
        QTest::newRow("mixed case") << "Com2" << 1 << 2 << -1;
        QTest::newRow("COM5") << "COM5" << 1 << 0 << -1;
        QTest::newRow("empty") << "" << 1 << 0 << -1;
        QTest::newRow("trailing blank") << "COM3 " << 1 << 0 << -1;
        QTest::newRow("device path typed") << "/dev/ttyUSB0" << 1 << 0 << -1;
    }
    void selectorText()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QFETCH(int, anyCase);
        QFETCH(int, offeredAt);
        QCOMPARE(portNumberFromSelector(text), port);
        QCOMPARE(namedPortNumber(text, Qt::CaseInsensitive).value_or(0), anyCase);
        QCOMPARE(selectablePortNames().indexOf(text), offeredAt);
        QCOMPARE(selectablePortNames().size(), kPortCount);
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
        const int busy = int(OpenFailure::Busy);
        const QString noSuchFile = QStringLiteral("No such file or directory");
        QTest::newRow("fewer ports than the COM number")
            << kWorkbench << QStringList() << 4 << notFound << noSuchFile << kPressOpen
            << QStringList{"Cannot open COM4: only 3 serial ports were found, so COM4 leads to "
                           "none.\nChoose the meter's port (the details list the ports found), "
                           "then press Open.",
                           "COM1 leads to /dev/ttyUSB0 (FT232R USB UART)",
                           "COM2 leads to /dev/ttyUSB1 (USB-Serial Controller)",
                           "COM3 leads to /dev/ttyS1",
                           "Left out: /dev/ttyS0, where the system "
                           "console runs."}
            << QStringList{noSuchFile, "COM4 leads to /"};
        QTest::newRow("no ports at all")
            << "none" << QStringList() << 1 << notFound << noSuchFile << kPressOpen
            << QStringList{"Cannot open COM1: no serial port was found on this computer.\n"
                           "Plug in the meter's USB serial adapter, then press Open.",
                           "found only when your user is in the group \"dialout\""}
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
        // The device that is gone is not listed again among the ports to choose from.
        QTest::newRow("adapter unplugged since")
            << kWorkbench << QStringList() << 2 << notFound << noSuchFile << kPressOpen
            << QStringList{"Cannot open COM2 (/dev/ttyUSB1, USB-Serial Controller): the device "
                           "does not exist (No such file or directory).\nPlug the meter's "
                           "adapter in again, or choose the meter's port, then press Open.",
                           "COM1 leads to /dev/ttyUSB0 (FT232R USB UART)"}
            << QStringList{"COM2 leads to"};
        QTest::newRow("no hardware behind the node")
            << "/dev/ttyS1|uart" << QStringList() << 1 << int(OpenFailure::Other)
            << "Input/output error" << kPressOpen
            << QStringList{"Cannot open COM1 (/dev/ttyS1): it may have no serial hardware behind "
                           "it, or may not be a serial port (Input/output error).\nChoose the "
                           "meter's port, then press Open."}
            << QStringList{"dialout", "COM1 leads to"};
        QTest::newRow("variable names a missing device")
            << kWorkbench << QStringList{"2=/dev/ttyUSB9"} << 2 << notFound << noSuchFile
            << kPressOpen
            << QStringList{"Cannot open COM2 (/dev/ttyUSB9): the device does not exist",
                           "COM2 leads to /dev/ttyUSB9 because CABLEMETER_COM2 names it",
                           "COM1 leads to /dev/ttyUSB0"}
            << QStringList{"(named by CABLEMETER_COM2)"};
        QTest::newRow("a port beyond COM4")
            << "/dev/ttyS1,/dev/ttyS2,/dev/ttyS3,/dev/ttyS4,/dev/ttyS5" << QStringList() << 1
            << int(OpenFailure::Other) << "Input/output error" << kPressOpen
            << QStringList{"COM4 leads to /dev/ttyS4",
                           "/dev/ttyS5: no COM number leads to it; start the program with "
                           "CABLEMETER_COM1=/dev/ttyS5 to reach it as COM1"}
            << QStringList();
        // No such device here: who owns it cannot be told, so only the administrator can help.
        QTest::newRow("permission")
            << kWorkbench << QStringList() << 1 << int(OpenFailure::PermissionDenied)
            << "Permission denied" << kPressOpen
            << QStringList{"Cannot open COM1 (/dev/ttyUSB0, FT232R USB UART): your user may not "
                           "use it (Permission denied).\nOnly the administrator can give you "
                           "access: ask them to run one of the commands in the details, then press "
                           "Open.",
                           "sudo chmod a+rw /dev/ttyUSB0",
                           "echo 'KERNEL==\"ttyUSB[0-9]*\", GROUP=\"dialout\", MODE=\"0660\"' | "
                           "sudo tee /etc/udev/rules.d/70-cablemeter-serial.rules"}
            << QStringList{"/dev/ttyS", "Join the group"};
        QTest::newRow("busy, no holder to be seen")
            << kWorkbench << QStringList() << 2 << busy << "Device or resource busy" << kPressOpen
            << QStringList{"COM2 (/dev/ttyUSB1, USB-Serial Controller) is in use by another "
                           "program.\nClose the program that uses it, or unplug the adapter and "
                           "plug it in again, then press Open.",
                           "ModemManager"}
            << QStringList{"/dev/ttyUSB0", "Device or resource busy"};
        // QSerialPort's words for a device locked by another program read as a permission problem.
        QTest::newRow("busy: the system's words for a held lock are left out")
            << kWorkbench << QStringList() << 1 << busy
            << "Permission error while locking the device" << kPressOpen
            << QStringList{"is in use by another program."}
            << QStringList{"Permission", "permission"};
        QTest::newRow("a device given on the command line (port 0) is missing")
            << kWorkbench << QStringList() << 0 << notFound << noSuchFile << kRunAgain
            << QStringList{"Cannot open /dev/ttyUSB9: the device does not exist (No such file or "
                           "directory).\nPlug the meter's adapter in again, or give the meter's "
                           "device with --port, then run the command again.",
                           "COM1 leads to /dev/ttyUSB0 (FT232R USB UART)"}
            << QStringList{"CABLEMETER_COM", "COM1 (/dev/ttyUSB9", kPressOpen};
        QTest::newRow("the command line's advice")
            << kWorkbench << QStringList() << 4 << notFound << noSuchFile << kRunAgain
            << QStringList{"Give the meter's device with --port (the details list the ports "
                           "found), then run the command again."}
            << QStringList{kPressOpen, "choose"};
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
        const PortMap map = portsOf(ports, overrides);
        const UserMessage message = describeOpenFailure(map, choice, {OpenFailure(failure), reason},
                                                        adviceEndingWith(retry));
        checkMessageShape(message, port == 0 ? choice.device : PortMap::comName(port), retry);
        if (QTest::currentTestFailed())
            return;
        checkText(message.text(), wanted, unwanted);
    }

    // A group is named for the user to join only when it may read and write the device and gives
    // no more than that; otherwise the administrator is asked. The device is a plain file here,
    // given the group and the mode as a device node would have them.
    void permissionAdvice_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("joinGroup");
        QTest::addColumn<QString>("owner"); // what the details say of the group
        QTest::newRow("dialout, which may read and write")
            << "dialout" << 0660 << true << "whose members may use it";
        QTest::newRow("dialout, which may only read")
            << "dialout" << 0640 << false << "which may not read and write it";
        QTest::newRow("dialout, which may not even read")
            << "dialout" << 0600 << false << "which may not read and write it";
        QTest::newRow("root's group") << "root" << 0660 << false << "which gives far more";
        QTest::newRow("sudo") << "sudo" << 0660 << false << "which gives far more";
        QTest::newRow("wheel") << "wheel" << 0660 << false << "which gives far more";
        QTest::newRow("adm") << "adm" << 0660 << false << "which gives far more";
        QTest::newRow("disk") << "disk" << 0660 << false << "which gives far more";
    }
    void permissionAdvice()
    {
        QFETCH(QString, group);
        QFETCH(int, mode);
        QFETCH(bool, joinGroup);
        QFETCH(QString, owner);
        const struct group* entry = ::getgrnam(group.toLocal8Bit().constData());
        if (!entry)
            QSKIP(qPrintable(QStringLiteral("this computer has no group %1").arg(group)));
        QTemporaryDir folder;
        const QString device = folder.filePath(QStringLiteral("ttyUSB3"));
        QFile node(device);
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        const QByteArray path = QFile::encodeName(device);
        if (::chown(path.constData(), uid_t(-1), entry->gr_gid) != 0)
            QSKIP(
                qPrintable(QStringLiteral("only root may give a file to the group %1").arg(group)));
        QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);

        const UserMessage message = describeOpenFailure(
            portsOf(kWorkbench, {QStringLiteral("3=") + device}), PortChoice::com(3),
            {OpenFailure::PermissionDenied, "Permission denied"}, adviceEndingWith(kPressOpen));
        checkMessageShape(message, QStringLiteral("COM3 (%1)").arg(device), kPressOpen);
        if (QTest::currentTestFailed())
            return;
        const QString joinCommand = QStringLiteral("sudo usermod -aG %1 $USER").arg(group);
        const QString text = message.text();
        QVERIFY2(text.contains(QStringLiteral("\"%1\", %2").arg(group, owner)), qPrintable(text));
        if (joinGroup) {
            QVERIFY2(message.todo.contains(joinCommand), qPrintable(text));
            QVERIFY2(!text.contains(QStringLiteral("chmod")), qPrintable(text));
        } else {
            QVERIFY2(!text.contains(joinCommand) || group == QLatin1String("dialout"),
                     qPrintable(text));
            QVERIFY2(message.todo.startsWith(QStringLiteral("Only the administrator")),
                     qPrintable(text));
            QVERIFY2(message.details.contains(QStringLiteral("sudo chmod a+rw %1").arg(device)),
                     qPrintable(text));
            QVERIFY2(message.details.contains(QStringLiteral("KERNEL==\"ttyUSB[0-9]*\", "
                                                             "GROUP=\"dialout\"")),
                     qPrintable(text));
        }
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
        // Another copy of this program: a window and the command line.
        addProcess(QStringLiteral("1001"), QStringLiteral("cablemeter"), {device});
        addProcess(QStringLiteral("1002"), QStringLiteral("cablemeter-cli"), {otherFile, device});
        // The simulator keeps its end of the line open, as the meter does: it holds nothing.
        addProcess(QStringLiteral("1003"), QStringLiteral("cablemeter-sim"), {device});

        QStringList holders;
        for (const PortHolder& holder : programsHolding(device, folder.path()))
            holders << holder.text();
        QCOMPARE(holders, (QStringList{"another cablemeter window (process 1001)",
                                       "cablemeter-cli (process 1002)", "minicom (process 4711)",
                                       "a program (process 99)"}));
        QVERIFY(programsHolding(otherFile + QStringLiteral("-gone"), folder.path()).isEmpty());
    }

    // A port that another program holds: who holds it and how to get it free.
    void heldPortAdvice_data()
    {
        QTest::addColumn<QStringList>("programs"); // "name:process"
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("todo");
        const QString port = QStringLiteral("COM1 (/dev/ttyUSB0)");
        QTest::newRow("another program")
            << QStringList{"minicom:4711"}
            << "COM1 (/dev/ttyUSB0) is in use by minicom (process 4711)."
            << "Close that program, then press Open.";
        QTest::newRow("another cablemeter window")
            << QStringList{"cablemeter:812"}
            << "COM1 (/dev/ttyUSB0) is in use by another cablemeter window (process 812)."
            << "Press Close in that window, or quit it, then press Open.";
        QTest::newRow("the command line")
            << QStringList{"cablemeter-cli:900"}
            << "COM1 (/dev/ttyUSB0) is in use by cablemeter-cli (process 900)."
            << "Let that command finish, or stop it with Ctrl-C, then press Open.";
        QTest::newRow("two programs")
            << QStringList{"minicom:4711", "cablemeter:812"}
            << "COM1 (/dev/ttyUSB0) is in use by minicom (process 4711) and another cablemeter "
               "window (process 812)."
            << "Close those programs, then press Open.";
        QTest::newRow("a program the table does not name")
            << QStringList{":99"} << "COM1 (/dev/ttyUSB0) is in use by a program (process 99)."
            << "Close that program, then press Open.";
    }
    void heldPortAdvice()
    {
        QFETCH(QStringList, programs);
        QFETCH(QString, what);
        QFETCH(QString, todo);
        QList<PortHolder> holders;
        for (const QString& program : programs)
            holders.append({program.section(u':', 0, 0), program.section(u':', 1)});
        const UserMessage message = describeHeldPort(QStringLiteral("COM1 (/dev/ttyUSB0)"), holders,
                                                     adviceEndingWith(kPressOpen));
        checkMessageShape(message, QStringLiteral("COM1 (/dev/ttyUSB0)"), kPressOpen);
        QCOMPARE(message.what, what);
        QCOMPARE(message.todo, todo);
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
            << QStringList{"Other serial ports on this computer:\n"
                           "  COM2 leads to /dev/ttyUSB1 (USB-Serial Controller)\n"
                           "  COM3 leads to /dev/ttyS1"}
            << QStringList{"COM1 leads to", "/dev/ttyS0", kPressOpen};
        QTest::newRow("the only port")
            << "/dev/ttyUSB0|usb|usb-A|FT232R USB UART" << QStringList() << 1
            << QStringList{"No other serial port was found on this computer."}
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
            << QStringList{"COM1 leads to /dev/ttyUSB0 (FT232R USB UART)",
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
        checkText(describeOtherPorts(portsOf(ports, overrides), PortChoice::com(port)), wanted,
                  unwanted);
    }

    // A name that links to a port found (a udev alias, say) is that port: COM2 sent to the
    // alias leaves the adapter out of the other ports, as it would its by-id name.
    void linkToAFoundPortIsThatPort()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QFile node(folder.filePath(QStringLiteral("ttyUSB0"))); // stands for the adapter's node
        QVERIFY(node.open(QIODevice::WriteOnly));
        const QString device = QFileInfo(node).canonicalFilePath();
        const QString alias = folder.filePath(QStringLiteral("meter"));
        QVERIFY(QFile::link(device, alias));
        const PortMap map = portsOf(device + QStringLiteral("|usb||FT232R USB UART,/dev/ttyS1"),
                                    {QStringLiteral("2=") + alias});
        QCOMPARE(map.portAt(alias).value_or(FoundPort{}).device, device);
        QCOMPARE(map.portNumberOf(alias), 1);
        checkText(describeOtherPorts(map, PortChoice::com(2)), {QStringLiteral("/dev/ttyS1")},
                  {device});
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
