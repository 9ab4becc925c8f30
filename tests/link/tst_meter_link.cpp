// The link's handlers against an in-memory port: receive rules, page buffer, open/close, beep,
// the failures a user must be told about.
#include "link/meter_link.h"
#include "link/request_frame.h"
#include "platform/port_names.h"
#include "support/fake_serial_port.h"
#include "support/fake_window_controls.h"

#include <QTest>
#include <QTimer>

#include <functional>

using namespace cablemeter;
using cablemeter::testing::FakeSerialPort;
using cablemeter::testing::FakeWindowControls;

namespace {

const QColor kCyan{0, 255, 255};
const QColor kRed{255, 0, 0};

// A 257-byte reply as this test's meter sends it: byte 0 = 0xFA, then bytes that differ per page.
QByteArray meterReply(int page, int salt = 0)
{
    QByteArray bytes(1, char(0xFA));
    for (int i = 0; i < 256; ++i)
        bytes.append(char((page * 7 + i + salt) & 0xFF));
    return bytes;
}

QByteArray countingBytes(int count, int first = 0)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char((first + i) & 0xFF));
    return bytes;
}

} // namespace

class MeterLinkTest : public QObject {
    Q_OBJECT

    FakeSerialPort* port = nullptr;
    FakeWindowControls* controls = nullptr;
    MeterLink* link = nullptr;

    // The meter answers every complete page request with `reply`, as one receive event.
    void answerRequestsWith(const QByteArray& reply)
    {
        answerRequestsBy([reply](int, int) { return reply; });
    }
    // ... with reply(page, n) for the nth request (from 1) it answers.
    void answerRequestsBy(std::function<QByteArray(int page, int request)> reply)
    {
        port->written.clear();
        port->onWrite = [this, reply] {
            if (port->written.size() % 6 != 0)
                return;
            const QByteArray frame = port->written.right(6);
            const int page = quint8(frame[3]) * 256 + quint8(frame[4]);
            const QByteArray bytes = reply(page, int(port->written.size() / 6));
            QTimer::singleShot(0, port, [this, bytes] { port->receive(bytes); });
        };
    }
    // The pages the link asked for, in order.
    QList<int> requestedPages() const
    {
        QList<int> pages;
        for (qsizetype at = 0; at + 6 <= port->written.size(); at += 6)
            pages.append(quint8(port->written[at + 3]) * 256 + quint8(port->written[at + 4]));
        return pages;
    }

private slots:
    void initTestCase()
    {
        // COM1 leads to one adapter, whatever this computer has; the fake port plays it.
        qputenv("CABLEMETER_TEST_PORTS",
                "/dev/cablemeter-test/ttyUSB0|usb|usb-Test-if00|Test adapter");
    }

    void init()
    {
        port = new FakeSerialPort;
        controls = new FakeWindowControls;
        link = new MeterLink(*port, *controls);
    }
    void cleanup()
    {
        delete link;
        delete controls;
        delete port;
        qunsetenv("CABLEMETER_COM3");
    }

    void receiveHandler_data()
    {
        QTest::addColumn<bool>("afterPageRead");
        QTest::addColumn<QList<QByteArray>>("events");
        QTest::addColumn<QByteArray>("expectedStore"); // slots from 0 on
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("position");

        const QByteArray b300 = countingBytes(300, 1);
        QTest::newRow("300 bytes in one event: cut at 255")
            << true << QList<QByteArray>{b300} << b300.left(255) + QByteArray(10, '\0') << true
            << 0;
        const QByteArray first = countingBytes(200, 1);
        const QByteArray second = countingBytes(100, 0x80);
        QTest::newRow("200 then 100: the second event starts over")
            << true << QList<QByteArray>{first, second}
            << second + first.mid(100) + QByteArray(10, '\0') << false << 100;
        QTest::newRow("data before the first request: one byte completes")
            << false << QList<QByteArray>{QByteArray("\x11\x22\x33")}
            << QByteArray("\x11\x00\x00", 3) << true << 0;
    }
    void receiveHandler()
    {
        QFETCH(bool, afterPageRead);
        QFETCH(QList<QByteArray>, events);
        QFETCH(QByteArray, expectedStore);
        QFETCH(bool, complete);
        QFETCH(int, position);

        if (afterPageRead) {
            QVERIFY(link->OpenCom());
            answerRequestsWith(QByteArray(255, '\0'));
            QVERIFY(link->ReadFlash(512));
            port->onWrite = {};
        }
        for (const QByteArray& event : events)
            port->receive(event);

        for (int slot = 0; slot < expectedStore.size(); ++slot)
            QCOMPARE(int(link->replyStore()[slot]), int(quint8(expectedStore[slot])));
        QCOMPARE(link->replyComplete(), complete);
        QCOMPARE(link->receivePosition(), position);
        QVERIFY(port->pending.isEmpty());
    }

    void otherEventCodeStoresNothing()
    {
        port->receive(QByteArray("\x01\x02", 2)); // completes: expected length is still 0
        QVERIFY(link->replyComplete());
        port->receive(QByteArray("\x55\x66", 2), SerialPort::kLineError);
        QCOMPARE(int(link->replyStore()[0]), 1);
        QVERIFY(link->replyComplete());
        QVERIFY(port->pending.isEmpty());
    }

    void readFlashFillsThePageBuffer()
    {
        QVERIFY(link->OpenCom());
        const QByteArray reply = countingBytes(257, 0x40); // echo, 256 page bytes
        answerRequestsWith(reply);
        QVERIFY(link->ReadFlash(513));

        QCOMPARE(port->written, pageRequest(513));
        QCOMPARE(port->writeCalls.size(), 6); // one byte per write
        const PageBuffer& page = link->pageBuffer();
        QCOMPARE(int(page[0]), 0);
        for (int n = 1; n <= 254; ++n)
            QCOMPARE(int(page[n]), int(quint8(reply[n])));
        QCOMPARE(int(page[255]), 0);
        QCOMPARE(int(page[256]), 0);
        QCOMPARE(link->expectedReplyLength(), 255);
        QCOMPARE(port->burstLength, 255);
        QVERIFY(!link->replyComplete());

        // A second read overwrites every page byte; 255 and 256 stay 0.
        answerRequestsWith(reply.left(1) + QByteArray(256, char(0xEE)));
        QVERIFY(link->ReadFlash(514));
        for (int n = 1; n <= 254; ++n)
            QCOMPARE(int(link->pageBuffer()[n]), 0xEE);
        QCOMPARE(int(link->pageBuffer()[255]), 0);
        QCOMPARE(int(link->pageBuffer()[256]), 0);
    }

    void requestFrames_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("0") << 0 << QByteArray::fromHex("aafa020000a6");
        QTest::newRow("512") << 512 << QByteArray::fromHex("aafa020200a8");
        QTest::newRow("513") << 513 << QByteArray::fromHex("aafa020201a9");
        QTest::newRow("1023") << 1023 << QByteArray::fromHex("aafa0203ffa8");
        QTest::newRow("32767") << 32767 << QByteArray::fromHex("aafa027fff24");
    }
    void requestFrames()
    {
        QFETCH(int, page);
        QFETCH(QByteArray, frame);
        QCOMPARE(pageRequest(page), frame);
    }

    void pagesOutsideTheRangeSendNothing_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("-1") << -1;
        QTest::newRow("32768") << 32768;
    }
    void pagesOutsideTheRangeSendNothing()
    {
        QFETCH(int, page);
        QVERIFY(link->OpenCom());
        const PageBuffer before = link->pageBuffer();
        QVERIFY(!link->ReadFlash(page));
        QVERIFY(port->written.isEmpty());
        QVERIFY(link->pageBuffer() == before);
    }

    void readFlashOpensTheSelectedPortOnDemand()
    {
        qputenv("CABLEMETER_COM3", "/dev/fake-meter");
        controls->portSelector = QStringLiteral("COM3");
        answerRequestsWith(QByteArray(255, '\x01'));
        QVERIFY(link->ReadFlash(600));
        QCOMPARE(port->openedDevices, QStringList{QStringLiteral("/dev/fake-meter")});
        QCOMPARE(controls->indicatorColours.last(), kCyan);
        QVERIFY(controls->portDescription.contains(QStringLiteral("/dev/fake-meter")));

        // An open port is not reopened, whatever the selector says now.
        controls->portSelector = QStringLiteral("COM2");
        QVERIFY(link->ReadFlash(601));
        QCOMPARE(port->openedDevices.size(), 1);
    }

    void failedOnDemandOpenSendsNothing()
    {
        port->nextOpenResult = {OpenFailure::NotFound, QStringLiteral("No such file or directory")};
        const PageBuffer before = link->pageBuffer();
        QVERIFY(!link->ReadFlash(512));
        QVERIFY(port->written.isEmpty());
        QVERIFY(link->pageBuffer() == before);
        QVERIFY(link->lastError().contains(QStringLiteral("COM1 (")));
        QCOMPARE(controls->indicatorColours, QList<QColor>{kRed}); // the port is closed
        QVERIFY(controls->errors.isEmpty());                       // the caller reports it, once
    }

    void silentMeterTimesOutAndKeepsTheBuffer()
    {
        QVERIFY(link->OpenCom());
        answerRequestsWith(countingBytes(255, 9));
        QVERIFY(link->ReadFlash(512));
        const PageBuffer before = link->pageBuffer();
        port->onWrite = {};
        QVERIFY(!link->ReadFlash(530));
        QVERIFY(link->pageBuffer() == before);
        QVERIFY(link->lastError().contains(QStringLiteral("page 530")));
        QVERIFY(link->lastError().contains(QStringLiteral("COM1 (")));
        QVERIFY(!link->isReading());
    }

    void shortReplyDoesNotComplete()
    {
        QVERIFY(link->OpenCom());
        answerRequestsWith(QByteArray(254, '\x01'));
        QVERIFY(!link->ReadFlash(512));
        QVERIFY(!link->replyComplete());
    }

    // Each wait of a page read ends when the read is cancelled (Quit, Ctrl-C).
    void cancelEndsAnyWaitQuietly_data()
    {
        QTest::addColumn<QString>("wait");
        QTest::newRow("for the reply") << "reply";
        QTest::newRow("for a late answer after a timeout") << "late answer";
        QTest::newRow("for a quiet line") << "quiet line";
    }
    void cancelEndsAnyWaitQuietly()
    {
        QFETCH(QString, wait);
        QVERIFY(link->OpenCom());
        if (wait == QLatin1String("late answer"))
            QVERIFY(!link->ReadFlash(512)); // silent: times out, the next read waits first
        if (wait == QLatin1String("quiet line"))
            port->quiet = 0;
        QTimer::singleShot(50, link, [this] { link->cancel(); });
        QVERIFY(!link->ReadFlash(513));
        QVERIFY(link->lastError().isEmpty());
        QVERIFY(controls->errors.isEmpty());
        QVERIFY(!link->isReading());
        if (wait != QLatin1String("reply"))
            QVERIFY(!requestedPages().contains(513));
    }

    void lineThatNeverGoesQuietEndsTheRead()
    {
        QVERIFY(link->OpenCom());
        port->quiet = 0;
        QVERIFY(!link->ReadFlash(560));
        QCOMPARE(link->lastError().section(u'\n', 0, 0),
                 QStringLiteral("Page 560 (slot 3) was not read: the line from the meter on %1 "
                                "never went quiet: another device may be sending on it.")
                     .arg(portDisplayName(1)));
        QVERIFY(port->written.isEmpty());
    }

    // What the link learns from the meter's replies and what it does with bursts that depart.
    void repliesAreCheckedAgainstWhatTheMeterSends_data()
    {
        QTest::addColumn<QString>("meter");
        QTest::addColumn<bool>("read");            // whether the read of page 561 succeeds
        QTest::addColumn<QList<int>>("requested"); // pages asked for after page 560
        QTest::addColumn<QString>("error");

        QTest::newRow("clean line: one request per page")
            << "clean" << true << QList<int>{561} << "";
        QTest::newRow("one burst too long: the page is read again")
            << "long once" << true << QList<int>{561, 561, 560} << "";
        QTest::newRow("one burst starting with another byte: read again")
            << "first byte once" << true << QList<int>{561, 561, 560} << "";
        QTest::newRow("byte 0 changes from reply to reply: no longer checked")
            << "first byte varies" << true << QList<int>{561, 561, 560} << "";
        QTest::newRow("bursts that keep departing: reported, nothing taken")
            << "always long" << false << QList<int>{561, 561, 561, 561}
            << QStringLiteral("4 of 4 reads of page 561 (slot 3) on %1 were 260 bytes long "
                              "where this meter sends 257")
                   .arg(portDisplayName(1));
        QTest::newRow("bytes after a reply: that page is read again and compared")
            << "stray after" << true << QList<int>{560, 561} << "";
        QTest::newRow("the page read again came back different: reported")
            << "stray after, page changed" << false << QList<int>{560}
            << "page 560 (slot 3), read again to check it, came back different";
        QTest::newRow("an answer sooner than the meter answers: read again")
            << "too soon once" << true << QList<int>{561, 561, 560} << "";
        QTest::newRow("the last reply again, late: read again")
            << "late repeat once" << true << QList<int>{561, 561, 560} << "";
        QTest::newRow("the meter now answers differently: learned anew, last page checked")
            << "new length" << true << QList<int>{561, 561, 560} << "";
    }
    void repliesAreCheckedAgainstWhatTheMeterSends()
    {
        QFETCH(QString, meter);
        QFETCH(bool, read);
        QFETCH(QList<int>, requested);
        QFETCH(QString, error);

        QVERIFY(link->OpenCom());
        answerRequestsBy([](int page, int) { return meterReply(page); });
        QVERIFY(link->ReadFlash(560));
        QCOMPARE(link->learnedReplyLength(), 257);
        QCOMPARE(link->learnedFirstByte(), 0xFA);
        const PageBuffer page560 = link->pageBuffer();

        answerRequestsBy([this, meter](int page, int request) {
            QByteArray reply = meterReply(page);
            const qint64 usualDelay = 5000;
            port->answerDelay = usualDelay;
            if (meter == QLatin1String("too soon once") && request == 1)
                port->answerDelay = 600;
            if (meter == QLatin1String("late repeat once") && request == 1) {
                port->answerDelay = 4 * usualDelay;
                reply = meterReply(560);
            }
            if (meter == QLatin1String("long once") && request == 1)
                reply += "xyz";
            if (meter == QLatin1String("always long"))
                reply += QByteArray(3, char(request));
            if (meter == QLatin1String("first byte once") && request == 1)
                reply[0] = 0x12;
            if (meter == QLatin1String("first byte varies"))
                reply[0] = char(page);
            if (meter == QLatin1String("stray after, page changed"))
                reply = meterReply(page, 1);
            if (meter == QLatin1String("new length"))
                reply += QByteArray(43, '\0');
            return reply;
        });
        if (meter.startsWith(QLatin1String("stray after")))
            port->receive(QByteArray("\x01\x02\x03", 3)); // after page 560's reply

        QCOMPARE(link->ReadFlash(561), read);
        QCOMPARE(requestedPages(), requested);
        if (read) {
            for (int n = 1; n <= 254; ++n)
                QCOMPARE(int(link->pageBuffer()[n]), int(quint8(meterReply(561)[n])));
            QVERIFY(link->lastError().isEmpty());
        } else {
            QVERIFY(link->pageBuffer() == page560);
            QVERIFY2(link->lastError().contains(error), qPrintable(link->lastError()));
            QVERIFY(link->lastError().endsWith(QStringLiteral("then press Open.")));
        }
        if (meter == QLatin1String("first byte varies"))
            QCOMPARE(link->learnedFirstByte(), -1);
        if (meter == QLatin1String("new length"))
            QCOMPARE(link->learnedReplyLength(), 300);

        // The next open learns afresh.
        QVERIFY(link->OpenCom());
        QCOMPARE(link->learnedReplyLength(), 0);
    }

    void cutShortReplySaysHowMuchArrived()
    {
        QVERIFY(link->OpenCom());
        answerRequestsBy([](int page, int) { return meterReply(page); });
        QVERIFY(link->ReadFlash(512));
        answerRequestsBy([](int page, int) { return meterReply(page).left(128); });
        QVERIFY(!link->ReadFlash(513));
        QVERIFY2(link->lastError().contains(
                     QStringLiteral("reply to the request for page 513 (slot 0) on %1 stopped "
                                    "after 128 of 257 bytes")
                         .arg(portDisplayName(1))),
                 qPrintable(link->lastError()));
    }

    void portLostDuringAReadFailsTheRead()
    {
        QVERIFY(link->OpenCom());
        QTimer::singleShot(20, port,
                           [this] { port->loseDevice(QStringLiteral("Input/output error")); });
        QVERIFY(!link->ReadFlash(512));
        QVERIFY(link->lastError().contains(QStringLiteral("went away")));
        QCOMPARE(controls->indicatorColours.last(), kRed);
        QVERIFY(controls->errors.isEmpty()); // the read's caller reports it
    }

    void portLostWhileIdleIsReportedOnce()
    {
        QVERIFY(link->OpenCom());
        port->loseDevice(QStringLiteral("Input/output error"));
        QCOMPARE(controls->errors.size(), 1);
        QVERIFY(controls->errors.first().message.contains(QStringLiteral("COM1 (")));
        QCOMPARE(controls->indicatorColours.last(), kRed);
    }

    void beepSendsTheBeepRequest()
    {
        QVERIFY(link->OpenCom());
        link->Command4_Click();
        QCOMPARE(port->written, QByteArray::fromHex("aa0301ffad"));
        QCOMPARE(port->writeCalls.size(), 5);
        QVERIFY(controls->errors.isEmpty());
    }

    void beepWithThePortClosedIsReported()
    {
        link->Command4_Click();
        QVERIFY(port->written.isEmpty());
        QCOMPARE(controls->errors.size(), 1);
        QVERIFY(controls->errors.first().message.contains(QStringLiteral("Open")));
    }

    void indicatorFollowsOpenAndClose()
    {
        link->Command2_Click(); // close while closed: red, nothing else
        QCOMPARE(controls->indicatorColours, QList<QColor>{kRed});
        link->Command1_Click();
        QCOMPARE(controls->indicatorColours.last(), kCyan);
        QVERIFY(port->isOpen());
        link->Command1_Click(); // open again: closed and reopened, stays cyan
        QCOMPARE(port->openedDevices.size(), 2);
        QCOMPARE(controls->indicatorColours.last(), kCyan);
        link->Command2_Click();
        QCOMPARE(controls->indicatorColours.last(), kRed);
        QVERIFY(!port->isOpen());
    }

    void failedOpenIsReportedOnceAndTurnsTheIndicatorRed()
    {
        port->nextOpenResult = {OpenFailure::Busy, QStringLiteral("Device or resource busy")};
        link->Command1_Click();
        QCOMPARE(controls->errors.size(), 1);
        QVERIFY(
            controls->errors.first().message.contains(QStringLiteral("Device or resource busy")));
        QCOMPARE(controls->indicatorColours, QList<QColor>{kRed});
    }
};

QTEST_GUILESS_MAIN(MeterLinkTest)
#include "tst_meter_link.moc"
