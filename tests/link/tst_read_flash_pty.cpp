// The page read over a real QSerialPort on the simulator's pseudo-terminal: what the meter
// receives, what lands in the page buffer, and how the read survives a misbehaving meter.
#include "link/meter_link.h"
#include "platform/qt_serial_port.h"
#include "sim/meter_simulator.h"
#include "support/fake_window_controls.h"
#include "support/test_port_map.h"

#include <linux/serial.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace cablemeter;
using cablemeter::sim::MeterSimulator;
using cablemeter::sim::Pacing;
using cablemeter::sim::ReplyFault;
using cablemeter::testing::FakeWindowControls;

namespace {

// An image whose bytes differ page by page: byte i of page p is (p * 7 + i) mod 256.
QByteArray patternImage(int pages)
{
    QByteArray image(pages * kPageSize, '\0');
    for (int p = 0; p < pages; ++p)
        for (int i = 0; i < kPageSize; ++i)
            image[p * kPageSize + i] = char((p * 7 + i) & 0xFF);
    return image;
}

constexpr int kImagePages = 1024;

} // namespace

class ReadFlashPtyTest : public QObject {
    Q_OBJECT

    QByteArray image = patternImage(kImagePages);
    std::unique_ptr<MeterSimulator> meter;
    PortMap ports = testing::testPortMap();
    std::unique_ptr<QtSerialPort> port;
    std::unique_ptr<FakeWindowControls> controls;
    std::unique_ptr<MeterLink> link;

    void startMeter(Pacing pacing)
    {
        meter = std::make_unique<MeterSimulator>(image, pacing);
        QVERIFY2(meter->start(), qPrintable(meter->errorString()));
        port = std::make_unique<QtSerialPort>();
        controls = std::make_unique<FakeWindowControls>();
        const PortChoice device = PortChoice::path(meter->devicePath());
        link = std::make_unique<MeterLink>(*port, ports, *controls, [device] { return device; });
    }

    void verifyPage(int page) { verifyBuffer(link->pageBuffer(), page); }
    void verifyBuffer(const PageBuffer& buffer, int page)
    {
        for (int n = 1; n <= 254; ++n)
            QCOMPARE(int(buffer[n]), int(quint8(image[page * kPageSize + n - 1])));
        QCOMPARE(int(buffer[255]), 0);
        QCOMPARE(int(buffer[256]), 0);
    }

private slots:
    void cleanup()
    {
        link.reset();
        port.reset();
        controls.reset();
        meter.reset();
    }

    void framesAsTheMeterReceivesThem()
    {
        startMeter(Pacing::Unpaced);
        for (int page : {0, 512, 513, 1023})
            QVERIFY2(link->ReadFlash(page), qPrintable(link->lastError()));
        link->Command4_Click();
        QVERIFY(meter->waitForFrames(5, std::chrono::seconds(2)));
        const QList<QByteArray> expected = {
            QByteArray::fromHex("aafa020000a6"), QByteArray::fromHex("aafa020200a8"),
            QByteArray::fromHex("aafa020201a9"), QByteArray::fromHex("aafa0203ffa8"),
            QByteArray::fromHex("aa0301ffad")};
        QCOMPARE(meter->receivedFrames(), expected);
        QCOMPARE(meter->beepCount(), 1);
    }

    void pagesArriveWhateverTheAdapter_data()
    {
        QTest::addColumn<int>("pacing");
        QTest::newRow("unpaced") << int(Pacing::Unpaced);
        QTest::newRow("uart: a few bytes at a time") << int(Pacing::Uart);
        QTest::newRow("usb: 16 ms packets") << int(Pacing::Usb);
        QTest::newRow("usb in low-latency mode: 1 ms packets") << int(Pacing::UsbLowLatency);
    }
    void pagesArriveWhateverTheAdapter()
    {
        QFETCH(int, pacing);
        startMeter(Pacing(pacing));
        QVERIFY2(link->ReadFlash(700), qPrintable(link->lastError()));
        verifyPage(700);
        QCOMPARE(controls->indicatorColours.last(), QColor(0, 255, 255));
        // The meter's reply is 257 bytes; its tail must not spoil the next page.
        QVERIFY2(link->ReadFlash(701), qPrintable(link->lastError()));
        verifyPage(701);
        if (Pacing(pacing) != Pacing::Unpaced)
            QVERIFY(meter->lastReplyWrites().size() > 1);
    }

    void overLongReplyIsCutAndTheNextReadWorks_data()
    {
        QTest::addColumn<int>("pacing");
        QTest::newRow("uart") << int(Pacing::Uart);
        QTest::newRow("usb") << int(Pacing::Usb);
    }
    void overLongReplyIsCutAndTheNextReadWorks()
    {
        QFETCH(int, pacing);
        startMeter(Pacing(pacing));
        meter->setFault(ReplyFault::longReply(300));
        QVERIFY2(link->ReadFlash(800), qPrintable(link->lastError()));
        verifyPage(800);
        QVERIFY2(link->ReadFlash(801), qPrintable(link->lastError()));
        verifyPage(801);
        meter->setFault(ReplyFault::none());
        QVERIFY2(link->ReadFlash(802), qPrintable(link->lastError()));
        verifyPage(802);
    }

    void failedReadsKeepTheBuffer_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("silent") << "silent";
        QTest::newRow("short reply") << "short:200";
        QTest::newRow("split by a long gap") << "split:120:300";
        QTest::newRow("answer after the limit") << "delay:2500";
    }
    void failedReadsKeepTheBuffer()
    {
        QFETCH(QString, fault);
        startMeter(Pacing::Uart);
        QVERIFY(link->ReadFlash(600));
        verifyPage(600);
        meter->setFault(*ReplyFault::parse(fault));
        QVERIFY(!link->ReadFlash(601));
        verifyPage(600);
        QVERIFY(link->lastError().contains(QStringLiteral("page 601")));
        QVERIFY(link->lastError().contains(meter->devicePath()));

        // The meter recovers and so does the link.
        meter->setFault(ReplyFault::none());
        QVERIFY(meter->waitForHandledPageRequests(2, std::chrono::seconds(5)));
        QTest::qWait(600); // let a late answer pass
        QVERIFY2(link->ReadFlash(602), qPrintable(link->lastError()));
        verifyPage(602);
    }

    // Glitches on the line after the link has learned the meter's replies: an operation (its
    // reads and its end) gives every page exact, or one clear failure; never a wrong page.
    void glitchesGiveTheRightPageOrAClearFailure_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<bool>("allRead");    // every page must arrive (the glitch is recoverable)
        QTest::addColumn<QString>("failure"); // what a failure must say, when it fails
        QTest::newRow("3 stray bytes 40 ms after a reply")
            << "stray-after:3:40@1" << false << true << "";
        QTest::newRow("a stray byte before a reply") << "stray-before:1@1" << false << true << "";
        QTest::newRow("a reply twice, again 25 ms later") << "repeat:25@1" << false << false << "";
        QTest::newRow("noise after a reply")
            << "noise:2500@1" << false << false << "never went quiet";
        QTest::newRow("a stall mid-reply: asked again") << "stall:128@1" << false << true << "";
        QTest::newRow("a 150 ms pause mid-reply: asked again")
            << "split:128:150@1" << false << true << "";
        QTest::newRow("a lost byte: read again") << "lose:100@1" << false << true << "";
        QTest::newRow("an answer after the limit: asked again")
            << "delay:2500@1" << false << true << "";
        QTest::newRow("a corrupted byte, verified: the page read again decides")
            << "corrupt:40@1" << true << true << "";
        QTest::newRow("the previous page's reply, verified") << "previous@2" << true << true << "";
        QTest::newRow("stalls on every request: reported")
            << "stall:128" << false << false << "stopped after 128 of 257 bytes";
    }
    void glitchesGiveTheRightPageOrAClearFailure()
    {
        QFETCH(QString, fault);
        QFETCH(bool, verify);
        QFETCH(bool, allRead);
        QFETCH(QString, failure);
        startMeter(Pacing::Uart);
        link->setVerifyPages(verify);
        link->beginOperation();
        for (int page : {600, 601})
            QVERIFY2(link->ReadFlash(page), qPrintable(link->lastError()));
        meter->setFault(*ReplyFault::parse(fault));
        QList<std::pair<int, PageBuffer>> read;
        bool ended = true;
        for (int page = 602; page <= 605 && ended; ++page) {
            ended = link->ReadFlash(page);
            if (ended)
                read.append({page, link->pageBuffer()});
        }
        // The operation's end checks its last page too.
        ended = ended && link->endOperation();
        if (ended) {
            // Only an operation that ended well hands its pages on: each must be exact.
            for (const auto& [page, buffer] : read)
                verifyBuffer(buffer, page);
            return;
        }
        QVERIFY2(!allRead, qPrintable(link->lastError()));
        QVERIFY2(link->lastError().contains(meter->devicePath()), qPrintable(link->lastError()));
        QVERIFY2(link->lastError().contains(failure), qPrintable(link->lastError()));
    }

    // A glitch on every reply from the first one looks like the meter's own format: whatever the
    // link makes of it, it ends.
    void glitchOnEveryReplyDoesNotHang_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("stray bytes after every reply") << "stray-after:3:40";
        QTest::newRow("a stray byte before every reply") << "stray-before:1";
        QTest::newRow("every reply twice") << "repeat:25";
        QTest::newRow("noise") << "noise:3000";
    }
    void glitchOnEveryReplyDoesNotHang()
    {
        QFETCH(QString, fault);
        startMeter(Pacing::Uart);
        meter->setFault(*ReplyFault::parse(fault));
        for (int page = 600; page < 603; ++page)
            (void)link->ReadFlash(page);
        QVERIFY(!link->isReading());
    }

    // A symlink to the meter's device and the device itself are one port: a second program
    // through either name is told that another program holds it.
    void secondOpenOfTheSameDeviceIsBusy()
    {
        startMeter(Pacing::Unpaced);
        QTemporaryDir folder;
        const QString symlink = folder.filePath(QStringLiteral("meter"));
        QVERIFY(QFile::link(meter->devicePath(), symlink));
        QtSerialPort first;
        QtSerialPort second;
        QVERIFY(first.open(symlink).ok());
        const OpenResult result = second.open(meter->devicePath());
        QCOMPARE(int(result.failure), int(OpenFailure::Busy));
        first.close();
        QVERIFY(second.open(meter->devicePath()).ok());
        QCOMPARE(second.device(), meter->devicePath());
    }

    // A pty cannot take low-latency mode; the preloaded ioctl recorder (set up by the test's
    // CMake) shows that the port asks for it when it opens.
    void openAsksTheDriverForLowLatency()
    {
        const QByteArray log = qgetenv("CABLEMETER_IOCTL_LOG");
        if (log.isEmpty())
            QSKIP("run through ctest: needs the ioctl recorder preloaded");
        QFile::remove(QString::fromLocal8Bit(log));
        startMeter(Pacing::Unpaced);
        QVERIFY(port->open(meter->devicePath()).ok());
        QFile recorded(QString::fromLocal8Bit(log));
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        // One line per TIOCSSERIAL: the flags asked for. The recorder reports the flags
        // 0x0004 for TIOCGSERIAL; they must be kept.
        const QList<QByteArray> lines = recorded.readAll().split('\n');
        const QByteArray expected = QByteArray::number(0x0004 | ASYNC_LOW_LATENCY, 16);
        QVERIFY2(lines.contains("TIOCSSERIAL flags=" + expected), lines.join(' ').constData());
        // The pty refuses it, and the port is open and works all the same.
        QVERIFY(port->isOpen());
        QVERIFY2(link->ReadFlash(700), qPrintable(link->lastError()));
        verifyPage(700);
    }

    void slowMeterJustUnderTheLimit()
    {
        startMeter(Pacing::Uart);
        meter->setFault(ReplyFault::delay(1500));
        QVERIFY2(link->ReadFlash(650), qPrintable(link->lastError()));
        verifyPage(650);
    }

    void garbageIsTakenAsThePage()
    {
        // Garbage of one length on every reply from the first looks like the meter's own format.
        startMeter(Pacing::Unpaced);
        meter->setFault(ReplyFault::garbage(255));
        QVERIFY(link->ReadFlash(600));
    }

    void pulledCableFailsTheReadAndTurnsTheIndicatorRed()
    {
        startMeter(Pacing::Uart);
        QVERIFY(link->ReadFlash(600));
        meter->setFault(ReplyFault::noAnswer());
        QTimer::singleShot(100, [this] { meter->closeLine(); });
        QVERIFY(!link->ReadFlash(601));
        QVERIFY2(link->lastError().contains(QStringLiteral("went away")),
                 qPrintable(link->lastError()));
        QCOMPARE(controls->indicatorColours.last(), QColor(255, 0, 0));
        QVERIFY(controls->errors.isEmpty());
        QVERIFY(!port->isOpen());
    }
};

QTEST_GUILESS_MAIN(ReadFlashPtyTest)
#include "tst_read_flash_pty.moc"
