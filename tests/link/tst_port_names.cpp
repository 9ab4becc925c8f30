// How the selector's text becomes a device, and what the user is told when it will not open.
#include "platform/port_names.h"

#include <QTest>

using namespace cablemeter;

class PortNamesTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (int n = 1; n <= kPortCount; ++n)
            qunsetenv(QStringLiteral("CABLEMETER_COM%1").arg(n).toLatin1().constData());
    }

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

    void deviceMapping()
    {
        QCOMPARE(deviceForPort(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(deviceForPort(4), QStringLiteral("/dev/ttyS3"));
        qputenv("CABLEMETER_COM2", "/dev/serial/by-id/usb-FTDI_meter-if00-port0");
        QCOMPARE(deviceForPort(2), QStringLiteral("/dev/serial/by-id/usb-FTDI_meter-if00-port0"));
        QCOMPARE(deviceForPort(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(portDisplayName(2),
                 QStringLiteral("COM2 (/dev/serial/by-id/usb-FTDI_meter-if00-port0)"));
    }

    void failureAdvice_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("advice");
        QTest::newRow("permission") << int(OpenFailure::PermissionDenied) << "Permission denied"
                                    << "usermod -aG";
        QTest::newRow("busy") << int(OpenFailure::Busy) << "Device or resource busy"
                              << "ModemManager";
        QTest::newRow("missing") << int(OpenFailure::NotFound) << "No such file or directory"
                                 << "CABLEMETER_COM2=";
        QTest::newRow("other") << int(OpenFailure::Other) << "Unknown error"
                               << "Unknown error";
    }
    void failureAdvice()
    {
        QFETCH(int, failure);
        QFETCH(QString, reason);
        QFETCH(QString, advice);
        const QString text = describeOpenFailure(2, {OpenFailure(failure), reason});
        QVERIFY2(text.contains(QStringLiteral("/dev/ttyS1")), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
        QVERIFY2(text.contains(advice), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(PortNamesTest)
#include "tst_port_names.moc"
