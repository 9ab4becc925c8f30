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

#include <tuple>

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

// The line errors a serial driver would count for what the simulated meter sends (a pty counts
// none).
class SimulatedLineErrors : public LineErrorCounter {
public:
    explicit SimulatedLineErrors(const MeterSimulator& meter) : m_meter(meter) {}
    std::optional<quint64> count(SerialHandle) override { return m_meter.lineErrors(); }

private:
    const MeterSimulator& m_meter;
};

} // namespace

class ReadFlashPtyTest : public QObject {
    Q_OBJECT

    QByteArray image = patternImage(kImagePages);
    std::unique_ptr<MeterSimulator> meter;
    PortMap ports = testing::testPortMap();
    std::unique_ptr<QtSerialPort> port;
    std::unique_ptr<FakeWindowControls> controls;
    std::unique_ptr<MeterLink> link;

    void startMeter(Pacing pacing, const sim::MeterTraits& traits = {})
    {
        meter = std::make_unique<MeterSimulator>(image, pacing);
        meter->setTraits(traits);
        QVERIFY2(meter->start(), qPrintable(meter->errorString()));
        port =
            std::make_unique<QtSerialPort>(nullptr, std::make_unique<SimulatedLineErrors>(*meter));
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

    // One request a page, and a beep, whatever the meter and adapter do that a sound pair may.
    void framesAsTheMeterReceivesThem_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<bool>("answersBeep");
        QTest::addColumn<QString>("firstByte");
        QTest::addColumn<QString>("answerTime");
        QTest::newRow("the simulator's defaults") << false << false << "constant"
                                                  << "0";
        QTest::newRow("a meter that answers a beep") << false << true << "constant"
                                                     << "0";
        QTest::newRow("an echoing adapter, and a beep answered") << true << true << "counting"
                                                                 << "0";
        QTest::newRow("answer times of 1 to 20 ms, byte 0 random") << false << false << "random"
                                                                   << "1-20";
    }
    void framesAsTheMeterReceivesThem()
    {
        QFETCH(bool, echo);
        QFETCH(bool, answersBeep);
        QFETCH(QString, firstByte);
        QFETCH(QString, answerTime);
        sim::MeterTraits traits;
        traits.echo = echo;
        traits.answersBeep = answersBeep;
        traits.firstByte = *sim::MeterTraits::parseFirstByte(firstByte);
        std::tie(traits.fastestAnswer, traits.slowestAnswer) =
            *sim::MeterTraits::parseAnswerTime(answerTime);
        startMeter(Pacing::Unpaced, traits);
        link->beginOperation();
        for (int page : {0, 512}) {
            QVERIFY2(link->ReadFlash(page), qPrintable(link->lastError()));
            verifyPage(page);
        }
        // What answers the beep is its answer, not bytes that cast doubt on page 512.
        link->Command4_Click();
        QVERIFY(meter->waitForFrames(3, std::chrono::seconds(2)));
        QTest::qWait(50);
        for (int page : {513, 1023}) {
            QVERIFY2(link->ReadFlash(page), qPrintable(link->lastError()));
            verifyPage(page);
        }
        QVERIFY2(link->endOperation(), qPrintable(link->lastError()));
        const QList<QByteArray> expected = {
            QByteArray::fromHex("aafa020000a6"), QByteArray::fromHex("aafa020200a8"),
            QByteArray::fromHex("aa0301ffad"), QByteArray::fromHex("aafa020201a9"),
            QByteArray::fromHex("aafa0203ffa8")};
        QCOMPARE(meter->receivedFrames(), expected);
        QCOMPARE(meter->beepCount(), 1);
        QVERIFY(controls->errors.isEmpty());
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
        QTest::newRow("one reply at 9600 baud: line errors, read again")
            << "baud:9600@1" << false << true << "";
        QTest::newRow("every reply at 9600 baud: the meter's settings are named")
            << "baud:9600" << false << false << "19200 baud, 8 data bits, no parity, 1 stop bit";
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
        QTest::addColumn<bool>("pagesExact"); // false: the fault cannot be told from the page
        QTest::newRow("stray bytes after every reply") << "stray-after:3:40" << true;
        // Every reply one byte late looks like a sound meter's: the protocol has no checksum.
        QTest::newRow("a stray byte before every reply") << "stray-before:1" << false;
        QTest::newRow("every reply twice") << "repeat:25" << true;
        QTest::newRow("noise") << "noise:3000" << true;
    }
    void glitchOnEveryReplyDoesNotHang()
    {
        QFETCH(QString, fault);
        QFETCH(bool, pagesExact);
        startMeter(Pacing::Uart);
        meter->setFault(*ReplyFault::parse(fault));
        // Each read ends, within the judge's reads, with the page or a failure that names it.
        for (int page = 600; page < 603; ++page) {
            const int requestsBefore = link->pageRequestsSent();
            if (link->ReadFlash(page)) {
                if (pagesExact)
                    verifyPage(page);
            } else {
                QVERIFY(link->lastError().contains(QStringLiteral("page %1").arg(page),
                                                   Qt::CaseInsensitive));
            }
            QVERIFY(!link->isReading());
            QVERIFY(link->pageRequestsSent() - requestsBefore <= ReplyJudge::kMostReads);
        }

        // The meter recovers and so does the link, at the latest on the read after the one
        // that notices the change.
        meter->setFault(ReplyFault::none());
        QTest::qWait(600); // let a late answer pass
        if (!link->ReadFlash(603))
            QVERIFY(!link->lastError().isEmpty());
        QVERIFY2(link->ReadFlash(604), qPrintable(link->lastError()));
        verifyPage(604);
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
    // CMake) plays a driver: it shows what the port asks for, and keeps the flags it is given
    // when told to accept them.
    void lowLatencyIsOursOnlyWhileWeHoldThePort_data()
    {
        QTest::addColumn<bool>("driverAccepts");
        QTest::addColumn<int>("flagsBefore");
        QTest::addColumn<QStringList>("requests"); // TIOCSSERIAL flags asked for, in order
        const QString withLowLatency = QString::number(0x0004 | ASYNC_LOW_LATENCY, 16);
        QTest::newRow("a pty refuses it: the port works all the same")
            << false << 0x0004 << QStringList{withLowLatency};
        QTest::newRow("set at open, cleared at close, the other flags kept")
            << true << 0x0004 << QStringList{withLowLatency, QStringLiteral("4")};
        QTest::newRow("already set by someone else: left as found")
            << true << int(0x0004 | ASYNC_LOW_LATENCY) << QStringList();
    }
    void lowLatencyIsOursOnlyWhileWeHoldThePort()
    {
        QFETCH(bool, driverAccepts);
        QFETCH(int, flagsBefore);
        QFETCH(QStringList, requests);
        const QByteArray log = qgetenv("CABLEMETER_IOCTL_LOG");
        if (log.isEmpty())
            QSKIP("run through ctest: needs the ioctl recorder preloaded");
        QFile::remove(QString::fromLocal8Bit(log));
        qputenv("CABLEMETER_IOCTL_FLAGS", QByteArray::number(flagsBefore, 16));
        qputenv("CABLEMETER_IOCTL_ACCEPT", driverAccepts ? "1" : "0");
        startMeter(Pacing::Unpaced);
        QVERIFY2(link->ReadFlash(700), qPrintable(link->lastError()));
        verifyPage(700);
        link->Command2_Click();
        QFile recorded(QString::fromLocal8Bit(log));
        QStringList asked;
        if (recorded.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : recorded.readAll().split('\n')) {
                if (line.startsWith("TIOCSSERIAL flags="))
                    asked << QString::fromLatin1(line.mid(int(qstrlen("TIOCSSERIAL flags="))));
            }
        }
        QCOMPARE(asked, requests);
        // The driver is left as it was found.
        if (driverAccepts)
            QCOMPARE(qgetenv("CABLEMETER_IOCTL_FLAGS"), QByteArray::number(flagsBefore, 16));
        qunsetenv("CABLEMETER_IOCTL_FLAGS");
        qunsetenv("CABLEMETER_IOCTL_ACCEPT");
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
