// The link's handlers against an in-memory port: receive rules, page buffer, open/close, beep,
// the failures a user must be told about.
#include "link/meter_link.h"
#include "link/request_frame.h"
#include "platform/port_names.h"
#include "support/fake_serial_port.h"
#include "support/fake_window_controls.h"
#include "support/message_shape.h"
#include "support/test_port_map.h"

#include <QTest>
#include <QTimer>

#include <functional>

using namespace cablemeter;
using cablemeter::testing::checkMessageShape;
using cablemeter::testing::FakeSerialPort;
using cablemeter::testing::FakeWindowControls;
using cablemeter::testing::testPortMap;

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
    PortMap ports = testPortMap();
    PortChoice chosen = PortChoice::com(1);
    MeterLink* link = nullptr;
    const QString com1 = QStringLiteral("COM1 (/dev/cablemeter-test/ttyUSB0, Test adapter)");

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
    void init()
    {
        // COM1 leads to the test's adapter, whatever this computer has; the fake port plays it.
        ports = testPortMap();
        chosen = PortChoice::com(1);
        port = new FakeSerialPort;
        controls = new FakeWindowControls;
        link = new MeterLink(*port, ports, *controls, [this] { return chosen; });
    }
    void cleanup()
    {
        delete link;
        delete controls;
        delete port;
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
        PortMap::Overrides overrides;
        overrides[2] = QStringLiteral("/dev/fake-meter");
        ports = PortMap(overrides, [] { return QList<FoundPort>(); });
        chosen = PortChoice::com(3);
        answerRequestsWith(QByteArray(255, '\x01'));
        QVERIFY(link->ReadFlash(600));
        QCOMPARE(port->openedDevices, QStringList{QStringLiteral("/dev/fake-meter")});
        QCOMPARE(controls->indicatorColours.last(), kCyan);
        QCOMPARE(controls->portDescription, QStringLiteral("COM3 (/dev/fake-meter)"));

        // An open port is not reopened, whatever the selector says now.
        chosen = PortChoice::com(2);
        QVERIFY(link->ReadFlash(601));
        QCOMPARE(port->openedDevices.size(), 1);
    }

    void deviceGivenDirectlyIsNamedAsGiven()
    {
        chosen = PortChoice::path(QStringLiteral("/dev/ttyUSB7"));
        port->nextOpenResult = {OpenFailure::NotFound, QStringLiteral("No such file or directory")};
        QVERIFY(!link->OpenCom());
        QCOMPARE(link->failure().what,
                 QStringLiteral("Cannot open /dev/ttyUSB7: the device does not exist (No such "
                                "file or directory)."));
        QVERIFY(!link->lastError().contains(QStringLiteral("COM1 (/dev/ttyUSB7")));
    }

    void failedOnDemandOpenSendsNothing()
    {
        port->nextOpenResult = {OpenFailure::NotFound, QStringLiteral("No such file or directory")};
        const PageBuffer before = link->pageBuffer();
        QVERIFY(!link->ReadFlash(512));
        QVERIFY(port->written.isEmpty());
        QVERIFY(link->pageBuffer() == before);
        QVERIFY(link->lastError().contains(com1));
        QCOMPARE(controls->indicatorColours, QList<QColor>{kRed}); // the port is closed
        QVERIFY(controls->errors.isEmpty());                       // the caller reports it, once
    }

    void silentMeterFailsAtOnceOnAnOperationsFirstRequest()
    {
        QVERIFY(link->OpenCom());
        answerRequestsWith(countingBytes(255, 9));
        QVERIFY(link->ReadFlash(512));
        const PageBuffer before = link->pageBuffer();
        port->onWrite = {};
        port->written.clear();
        link->beginOperation();
        QVERIFY(!link->ReadFlash(530));
        QCOMPARE(requestedPages(), QList<int>{530}); // a switched-off meter is not asked again
        QVERIFY(link->pageBuffer() == before);
        QCOMPARE(link->failure().what,
                 QStringLiteral("The meter did not answer the request for page 530 (slot 1) on "
                                "%1 within 2 s.")
                     .arg(com1));
        QVERIFY(!link->isReading());
    }

    void meterThatFallsSilentIsAskedOnceMore_data()
    {
        QTest::addColumn<bool>("answersTheSecondTime");
        QTest::newRow("answers then") << true;
        QTest::newRow("silent again") << false;
    }
    void meterThatFallsSilentIsAskedOnceMore()
    {
        QFETCH(bool, answersTheSecondTime);
        QVERIFY(link->OpenCom());
        link->beginOperation();
        answerRequestsWith(meterReply(560));
        QVERIFY(link->ReadFlash(560));
        answerRequestsBy([&](int page, int request) {
            return request == 2 && answersTheSecondTime ? meterReply(page) : QByteArray();
        });
        QCOMPARE(link->ReadFlash(561), answersTheSecondTime);
        QCOMPARE(requestedPages(), (QList<int>{561, 561}));
        if (!answersTheSecondTime)
            QVERIFY2(link->lastError().contains(
                         QStringLiteral("stopped answering: it answered earlier requests, but "
                                        "not the 2 requests for page 561 (slot 3)")),
                     qPrintable(link->lastError()));
    }

    void replyThatStopsShortIsAskedForAgain_data()
    {
        QTest::addColumn<int>("shortReplies");
        QTest::addColumn<bool>("read");
        QTest::newRow("once") << 1 << true;
        QTest::newRow("twice") << 2 << true;
        QTest::newRow("three times: reported") << 3 << false;
    }
    void replyThatStopsShortIsAskedForAgain()
    {
        QFETCH(int, shortReplies);
        QFETCH(bool, read);
        QVERIFY(link->OpenCom());
        answerRequestsBy([](int page, int) { return meterReply(page); });
        QVERIFY(link->ReadFlash(512));
        answerRequestsBy([&](int page, int request) {
            return request <= shortReplies ? meterReply(page).left(128) : meterReply(page);
        });
        QCOMPARE(link->ReadFlash(513), read);
        QCOMPARE(requestedPages().size(), read ? shortReplies + 1 : 3);
        if (read) {
            QCOMPARE(int(link->pageBuffer()[1]), int(quint8(meterReply(513)[1])));
            return;
        }
        QVERIFY(!link->replyComplete());
        QVERIFY2(link->lastError().contains(
                     QStringLiteral("reply to the request for page 513 (slot 0) on %1 stopped "
                                    "after 128 of 257 bytes (3 requests, the same each time)")
                         .arg(com1)),
                 qPrintable(link->lastError()));
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
                     .arg(com1));
        QVERIFY(port->written.isEmpty());
    }

    // What the link makes of the meter's replies once it has learned them.
    void repliesAreCheckedAgainstWhatTheMeterSends_data()
    {
        QTest::addColumn<QString>("meter");
        QTest::addColumn<bool>("read");            // whether the read of page 561 succeeds
        QTest::addColumn<QList<int>>("requested"); // pages asked for after page 560
        QTest::addColumn<QString>("error");

        QTest::newRow("clean line: one request per page")
            << "clean" << true << QList<int>{561} << "";
        QTest::newRow("byte 0 changes from reply to reply: one request per page")
            << "first byte varies" << true << QList<int>{561} << "";
        QTest::newRow("the adapter echoes the request: skipped, one request")
            << "echo" << true << QList<int>{561} << "";
        QTest::newRow("a reply that begins like the request is kept whole")
            << "begins like the request" << true << QList<int>{561} << "";
        QTest::newRow("one burst too long: read again, and the page before checked")
            << "long once" << true << QList<int>{561, 561, 560} << "";
        QTest::newRow("one byte lost: read again")
            << "lost byte once" << true << QList<int>{561, 561} << "";
        QTest::newRow("bursts that keep departing: reported, nothing taken")
            << "always long" << false << QList<int>{561, 561, 561, 561}
            << QStringLiteral("4 reads of page 561 (slot 3) on %1 departed from what this meter "
                              "sends (the last was 259 bytes long where this meter sends 257)")
                   .arg(com1);
        QTest::newRow("line errors once: read again")
            << "line errors once" << true << QList<int>{561, 561} << "";
        QTest::newRow("line errors on every read: the baud rate is named")
            << "line errors" << false << QList<int>{561, 561, 561}
            << "19200 baud, 8 data bits, no parity, 1 stop bit";
        QTest::newRow("bytes after a reply: that page is read again and compared")
            << "stray after" << true << QList<int>{561, 560} << "";
        QTest::newRow("the page read again came back different: reported")
            << "stray after, page changed" << false << QList<int>{561, 560}
            << "page 560 (slot 3), read again to check it, came back different";
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
        const PageBuffer page560 = link->pageBuffer();

        answerRequestsBy([this, meter](int page, int request) {
            QByteArray reply = meterReply(page);
            if (meter == QLatin1String("long once") && request == 1)
                reply += "xyz";
            if (meter == QLatin1String("lost byte once") && request == 1)
                reply.remove(100, 1);
            if (meter == QLatin1String("always long")) // 260, 259, 260, 259 bytes
                reply += QByteArray(2 + request % 2, char(request));
            if (meter == QLatin1String("first byte varies"))
                reply[0] = char(page + request);
            if (meter == QLatin1String("echo"))
                reply.prepend(pageRequest(page));
            if (meter == QLatin1String("begins like the request"))
                reply.replace(0, 6, pageRequest(page));
            if ((meter == QLatin1String("line errors once") && request == 1) ||
                meter == QLatin1String("line errors"))
                port->lineErrors = *port->lineErrors + 1; // counted while the reply arrived
            if (meter == QLatin1String("stray after, page changed"))
                reply = meterReply(page, 1);
            if (meter == QLatin1String("new length"))
                reply += QByteArray(43, '\0');
            return reply;
        });
        port->lineErrors = 0;
        if (meter.startsWith(QLatin1String("stray after")))
            port->receive(QByteArray("\x01\x02\x03", 3)); // after page 560's reply

        QCOMPARE(link->ReadFlash(561), read);
        QCOMPARE(requestedPages(), requested);
        if (read) {
            QByteArray expected = meterReply(561);
            if (meter == QLatin1String("begins like the request"))
                expected.replace(0, 6, pageRequest(561));
            for (int n = 1; n <= 254; ++n)
                QCOMPARE(int(link->pageBuffer()[n]), int(quint8(expected[n])));
            QVERIFY(link->lastError().isEmpty());
        } else {
            QVERIFY(link->pageBuffer() == page560);
            QVERIFY2(link->lastError().contains(error), qPrintable(link->lastError()));
            checkMessageShape(link->failure(), com1, QStringLiteral("press Open"));
        }
        if (meter == QLatin1String("new length"))
            QCOMPARE(link->learnedReplyLength(), 300);

        // The next open learns afresh.
        QVERIFY(link->OpenCom());
        QCOMPARE(link->learnedReplyLength(), 0);
    }

    // An operation ends by waiting a moment: bytes after its last reply show that reply may have
    // been another's, so that page is read again and compared.
    void operationEndChecksItsLastPage_data()
    {
        QTest::addColumn<QByteArray>("after"); // arrives after the last reply
        QTest::addColumn<bool>("pageChanged"); // what the meter sends when asked again
        QTest::addColumn<bool>("ends");
        QTest::addColumn<QList<int>>("requested");
        QTest::newRow("a quiet line: nothing more asked")
            << QByteArray() << false << true << QList<int>{600, 601};
        QTest::newRow("stray bytes, the page comes back the same")
            << QByteArray("\x55\x66", 2) << false << true << QList<int>{600, 601, 601};
        QTest::newRow("stray bytes, the page comes back different")
            << QByteArray("\x55\x66", 2) << true << false << QList<int>{600, 601, 601};
    }
    void operationEndChecksItsLastPage()
    {
        QFETCH(QByteArray, after);
        QFETCH(bool, pageChanged);
        QFETCH(bool, ends);
        QFETCH(QList<int>, requested);
        QVERIFY(link->OpenCom());
        link->beginOperation();
        answerRequestsBy([&](int page, int request) {
            return meterReply(page, request > 2 && pageChanged ? 1 : 0);
        });
        QVERIFY(link->ReadFlash(600));
        QVERIFY(link->ReadFlash(601));
        if (!after.isEmpty())
            port->receive(after);
        QCOMPARE(link->endOperation(), ends);
        QCOMPARE(requestedPages(), requested);
        if (!ends)
            QVERIFY(link->lastError().contains(QStringLiteral("page 601 (slot 5), read again")));
    }

    void beepsAnswerIsNotTakenForStrayBytes()
    {
        QVERIFY(link->OpenCom());
        answerRequestsBy([](int page, int) { return meterReply(page); });
        QVERIFY(link->ReadFlash(560));
        port->written.clear();
        link->Command4_Click();
        port->receive(beepRequest()); // the adapter's echo, or the meter's answer
        QVERIFY(controls->errors.isEmpty());
        port->written.clear();
        QVERIFY(link->ReadFlash(561));
        QCOMPARE(requestedPages(), QList<int>{561}); // page 560 is not doubted
    }

    void verifiedReadsTakeOnlyWhatTwoReadsAgreeOn_data()
    {
        QTest::addColumn<QList<int>>("salts"); // the meter's page content, read by read
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("takenSalt");
        QTest::newRow("two agree: two requests") << QList<int>{0, 0} << true << 0;
        QTest::newRow("they differ, a third agrees with the second")
            << QList<int>{1, 0, 0} << true << 0;
        QTest::newRow("three that differ: reported") << QList<int>{1, 2, 3} << false << 0;
    }
    void verifiedReadsTakeOnlyWhatTwoReadsAgreeOn()
    {
        QFETCH(QList<int>, salts);
        QFETCH(bool, read);
        QFETCH(int, takenSalt);
        link->setVerifyPages(true);
        QVERIFY(link->OpenCom());
        answerRequestsBy(
            [salts](int page, int request) { return meterReply(page, salts.value(request - 1)); });
        QCOMPARE(link->ReadFlash(700), read);
        QCOMPARE(requestedPages().size(), salts.size());
        if (read)
            QCOMPARE(int(link->pageBuffer()[1]), int(quint8(meterReply(700, takenSalt)[1])));
        else
            QVERIFY2(link->lastError().contains(
                         QStringLiteral("Three reads of page 700 (slot 11) from the meter on "
                                        "%1 all differed")
                             .arg(com1)),
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
        QVERIFY(controls->errors.first().message.contains(com1));
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
        QVERIFY2(controls->errors.first().parts.what.startsWith(
                     QStringLiteral("%1 is in use by").arg(com1)),
                 qPrintable(controls->errors.first().message));
        QCOMPARE(controls->indicatorColours, QList<QColor>{kRed});
    }

    // Whatever went wrong, the user reads first what happened on which port, then what to do;
    // lists and the system's own words come below, and no instruction twice.
    void messagesSayWhatHappenedThenWhatToDo_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("systemWords"); // only in the details; empty: none
        QTest::newRow("silent meter") << "silent meter"
                                      << "";
        QTest::newRow("meter stopped answering") << "stopped answering"
                                                 << "";
        QTest::newRow("port missing") << "port missing"
                                      << "";
        QTest::newRow("port busy") << "port busy"
                                   << "";
        QTest::newRow("permission") << "permission"
                                    << "";
        QTest::newRow("pulled cable during a read") << "pulled cable"
                                                    << "Inappropriate ioctl for device";
        QTest::newRow("pulled cable while idle") << "pulled cable while idle"
                                                 << "Inappropriate ioctl for device";
        QTest::newRow("beep with the port closed") << "beep, port closed"
                                                   << "";
        QTest::newRow("a reply that stops short") << "short reply"
                                                  << "";
        QTest::newRow("line errors") << "line errors"
                                     << "";
        QTest::newRow("a line that never goes quiet") << "never quiet"
                                                      << "";
    }
    void messagesSayWhatHappenedThenWhatToDo()
    {
        QFETCH(QString, failure);
        QFETCH(QString, systemWords);
        const auto openFails = [this](OpenFailure kind, const char* reason) {
            port->nextOpenResult = {kind, QString::fromLatin1(reason)};
            QVERIFY(!link->ReadFlash(512)); // opened on demand, as Read does
        };
        if (failure == QLatin1String("port missing"))
            openFails(OpenFailure::NotFound, "No such file or directory");
        else if (failure == QLatin1String("port busy"))
            openFails(OpenFailure::Busy, "Permission error while locking the device");
        else if (failure == QLatin1String("permission"))
            openFails(OpenFailure::PermissionDenied, "Permission denied");
        else if (failure == QLatin1String("beep, port closed"))
            link->Command4_Click();
        else
            QVERIFY(link->OpenCom());
        if (failure == QLatin1String("pulled cable while idle"))
            port->loseDevice(systemWords);
        const int page = 561;
        if (failure == QLatin1String("silent meter")) {
            link->beginOperation();
            QVERIFY(!link->ReadFlash(page));
        }
        if (failure == QLatin1String("stopped answering")) {
            link->beginOperation();
            answerRequestsWith(meterReply(560));
            QVERIFY(link->ReadFlash(560));
            answerRequestsWith({});
            QVERIFY(!link->ReadFlash(page));
        }
        if (failure == QLatin1String("pulled cable")) {
            QTimer::singleShot(20, port, [this, systemWords] { port->loseDevice(systemWords); });
            QVERIFY(!link->ReadFlash(page));
        }
        if (failure == QLatin1String("short reply") || failure == QLatin1String("line errors")) {
            answerRequestsWith(meterReply(560));
            QVERIFY(link->ReadFlash(560));
            port->lineErrors = 0;
            answerRequestsBy([this, failure](int replyPage, int) {
                if (failure == QLatin1String("short reply"))
                    return meterReply(replyPage).left(100);
                port->lineErrors = *port->lineErrors + 1; // counted while the reply arrived
                return meterReply(replyPage);
            });
            QVERIFY(!link->ReadFlash(page));
        }
        if (failure == QLatin1String("never quiet")) {
            port->quiet = 0;
            QVERIFY(!link->ReadFlash(page));
        }
        const bool reported = failure == QLatin1String("beep, port closed") ||
                              failure == QLatin1String("pulled cable while idle");
        QCOMPARE(controls->errors.size(), reported ? 1 : 0);
        const UserMessage message = reported ? controls->errors.first().parts : link->failure();
        checkMessageShape(message, com1,
                          reported && failure.startsWith(QLatin1String("beep"))
                              ? QString()
                              : QStringLiteral("press Open"));
        if (QTest::currentTestFailed())
            return;
        if (!systemWords.isEmpty()) {
            QVERIFY2(message.details.contains(systemWords), qPrintable(message.text()));
            QVERIFY2(!message.what.contains(systemWords), qPrintable(message.text()));
        }
    }
};

QTEST_GUILESS_MAIN(MeterLinkTest)
#include "tst_meter_link.moc"
