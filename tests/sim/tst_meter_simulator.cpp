// The simulator driven over its pty by a plain file descriptor, as the program's port would.

#include "pty_client.h"
#include "sim/meter_simulator.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <numeric>
#include <thread>

using namespace cablemeter::sim;
using cablemeter::testing::beepRequest;
using cablemeter::testing::pageRequest;
using cablemeter::testing::PtyClient;
using namespace std::chrono_literals;

namespace {

constexpr int kReplyLength = 257; // echo byte and 256 page bytes
constexpr char kEcho = char(0xFA);
// Generous: only reached when something is broken.
constexpr std::chrono::milliseconds kPatience = 3000ms;
// After the simulator says it has finished answering, anything it wrote is already in the pty.
constexpr std::chrono::milliseconds kSettled = 100ms;

// 1023 whole pages and 100 bytes of page 1023: every page differs from its neighbours.
QByteArray testImage()
{
    QByteArray image(1023 * 256 + 100, Qt::Uninitialized);
    for (qsizetype offset = 0; offset < image.size(); ++offset)
        image[offset] = char((offset * 31 + offset / 256) & 0xFF);
    return image;
}

// Page byte n (1..256) as a flash image file defines it: offset 256 * page + n - 1, erased 0xFF
// past the end of the file.
char expectedPageByte(const QByteArray& image, int page, int n)
{
    const qsizetype offset = qsizetype(page) * 256 + n - 1;
    return offset < image.size() ? image.at(offset) : char(0xFF);
}

// Everything the simulator sent for its first `requests` page requests: it counts a request as
// handled only after its last byte went out, so nothing is still on the way.
QByteArray wholeAnswer(const MeterSimulator& simulator, PtyClient& client, int requests = 1)
{
    if (!simulator.waitForHandledPageRequests(requests, kPatience))
        return "(no answer)";
    return client.read(100000, kSettled);
}

QByteArray expectedReply(const QByteArray& image, int page)
{
    QByteArray reply(1, kEcho);
    for (int n = 1; n <= 256; ++n)
        reply += expectedPageByte(image, page, n);
    return reply;
}

} // namespace

class MeterSimulatorTest : public QObject {
    Q_OBJECT

private slots:
    void pageRequestIsAnsweredWithEchoAndPage_data();
    void pageRequestIsAnsweredWithEchoAndPage();
    void requestSentOneByteAtATimeIsAnswered();
    void badChecksumIsNotAnswered();
    void beepIsCountedAndNotAnswered();
    void bytesBeforeAFrameAreSkipped_data();
    void bytesBeforeAFrameAreSkipped();
    void faultShapesTheReply_data();
    void faultShapesTheReply();
    void strayBytesSurroundTheReply_data();
    void strayBytesSurroundTheReply();
    void previousAnswersWithTheReplyBefore();
    void traitsShapeEveryAnswer();
    void faultStaysUntilChanged();
    void splitReplyArrivesInTwoPartsWithAGap();
    void delayedReplyComesNoEarlierThanTheDelay();
    void portCanBeClosedAndReopened();
    void closeLineHangsUpTheClient();
    void qSerialPortSeesTheLineGo();
    void pacingShapesTheWrites_data();
    void pacingShapesTheWrites();

private:
    QByteArray m_image = testImage();
};

void MeterSimulatorTest::pageRequestIsAnsweredWithEchoAndPage_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("page 0") << 0;
    QTest::newRow("first header page 512") << 512;
    QTest::newRow("first data page 513") << 513;
    QTest::newRow("last page, partly in the file") << 1023;
    QTest::newRow("just past the file: erased") << 1024;
    QTest::newRow("highest page: erased") << 0x7FFF;
}

void MeterSimulatorTest::pageRequestIsAnsweredWithEchoAndPage()
{
    QFETCH(int, page);
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    QVERIFY2(simulator.start(), qPrintable(simulator.errorString()));
    PtyClient client(simulator.devicePath());
    QVERIFY(client.isOpen());

    QVERIFY(client.send(pageRequest(page)));
    const QByteArray reply = wholeAnswer(simulator, client);

    QCOMPARE(reply.toHex(), expectedReply(m_image, page).toHex());
    QCOMPARE(simulator.receivedFrames(), QList<QByteArray>{pageRequest(page)});
    QCOMPARE(simulator.requestedPages(), QList<int>{page});
}

void MeterSimulatorTest::requestSentOneByteAtATimeIsAnswered()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    // The program writes a request byte by byte with a short pause in between.
    for (const char byte : pageRequest(700)) {
        QVERIFY(client.send(QByteArray(1, byte)));
        std::this_thread::sleep_for(1ms);
    }

    QCOMPARE(client.read(kReplyLength, kPatience).toHex(), expectedReply(m_image, 700).toHex());
}

void MeterSimulatorTest::badChecksumIsNotAnswered()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());
    QByteArray broken = pageRequest(600);
    broken[5] = char(broken.at(5) + 1);

    QVERIFY(client.send(broken));
    QVERIFY(client.send(pageRequest(601)));

    // Only the good request is answered: one reply, and it is page 601's.
    QCOMPARE(wholeAnswer(simulator, client).toHex(), expectedReply(m_image, 601).toHex());
    QCOMPARE(simulator.requestedPages(), QList<int>{601});
    QCOMPARE(simulator.rejectedFrames(), QList<QByteArray>{broken});
}

void MeterSimulatorTest::beepIsCountedAndNotAnswered()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    QVERIFY(client.send(beepRequest()));
    QVERIFY(simulator.waitForFrames(1, kPatience));
    QCOMPARE(simulator.beepCount(), 1);
    QVERIFY(client.read(1, kSettled).isEmpty());

    QVERIFY(client.send(pageRequest(2)));
    QCOMPARE(wholeAnswer(simulator, client).toHex(), expectedReply(m_image, 2).toHex());
    QCOMPARE(simulator.receivedFrames(), (QList<QByteArray>{beepRequest(), pageRequest(2)}));
    QCOMPARE(simulator.requestedPages(), QList<int>{2});
}

void MeterSimulatorTest::bytesBeforeAFrameAreSkipped_data()
{
    QTest::addColumn<QByteArray>("noise");
    QTest::newRow("line noise") << QByteArray::fromHex("0011fe7f");
    QTest::newRow("stray start bytes") << QByteArray::fromHex("aaaa");
    QTest::newRow("start with an impossible parameter count") << QByteArray::fromHex("aafa09");
    QTest::newRow("a frame without its start byte") << QByteArray::fromHex("fa020200a8");
    // Its parameters and checksum swallow the real request's first bytes; the request is still
    // found when the broken frame is rejected.
    QTest::newRow("broken frame overlapping the request") << QByteArray::fromHex("aa0102");
}

void MeterSimulatorTest::bytesBeforeAFrameAreSkipped()
{
    QFETCH(QByteArray, noise);
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    QVERIFY(client.send(noise + pageRequest(512)));

    QCOMPARE(wholeAnswer(simulator, client).toHex(), expectedReply(m_image, 512).toHex());
    QCOMPARE(simulator.requestedPages(), QList<int>{512});
}

void MeterSimulatorTest::faultShapesTheReply_data()
{
    const QByteArray reply = expectedReply(m_image, 515);
    QTest::addColumn<ReplyFault>("fault");
    QTest::addColumn<QByteArray>("expected"); // empty with `garbageLength`: random bytes
    QTest::addColumn<int>("garbageLength");

    QTest::newRow("no answer") << ReplyFault::noAnswer() << QByteArray() << 0;
    QTest::newRow("short reply") << ReplyFault::shortReply(100) << reply.left(100) << 0;
    QTest::newRow("one byte short of the program's 255")
        << ReplyFault::shortReply(254) << reply.left(254) << 0;
    QTest::newRow("300 bytes") << ReplyFault::longReply(300)
                               << reply +
                                      QByteArray(300 - kReplyLength, MeterSimulator::kFillerByte)
                               << 0;
    QTest::newRow("garbage") << ReplyFault::garbage(255) << QByteArray() << 255;
    QTest::newRow("the reply twice") << ReplyFault::repeat(20) << reply + reply << 0;
    QTest::newRow("struck on another request: the normal reply")
        << ReplyFault::shortReply(10).onlyOnRequest(2) << reply << 0;
    QByteArray corrupted = reply;
    corrupted[40] = char(~corrupted.at(40));
    QTest::newRow("a corrupted byte, the length right")
        << ReplyFault::corrupt(40) << corrupted << 0;
    QTest::newRow("a lost byte") << ReplyFault::loseByte(100) << reply.left(100) + reply.mid(101)
                                 << 0;
    QTest::newRow("nothing before: the previous reply is this one")
        << ReplyFault::previous() << reply << 0;
    // 257 bytes sent at 9600 baud span 514 frames at 19200, each one a line error.
    QTest::newRow("at 9600 baud: garbled, twice as long")
        << ReplyFault::wrongBaud(9600) << QByteArray() << 2 * kReplyLength;
}

// Faults that add random bytes around the normal reply.
void MeterSimulatorTest::strayBytesSurroundTheReply_data()
{
    QTest::addColumn<ReplyFault>("fault");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("stray bytes after") << ReplyFault::strayAfter(3, 40) << 0 << 3;
    QTest::newRow("a stray byte before") << ReplyFault::strayBefore(1) << 1 << 0;
    // 100 ms of line at 19200 baud, 10 bits a byte.
    QTest::newRow("noise") << ReplyFault::noise(100) << 0 << 192;
}

void MeterSimulatorTest::strayBytesSurroundTheReply()
{
    QFETCH(ReplyFault, fault);
    QFETCH(int, before);
    QFETCH(int, after);
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    simulator.setFault(fault);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    QVERIFY(client.send(pageRequest(515)));
    const QByteArray received = wholeAnswer(simulator, client);
    QCOMPARE(received.size(), before + kReplyLength + after);
    QCOMPARE(received.mid(before, kReplyLength).toHex(), expectedReply(m_image, 515).toHex());
}

void MeterSimulatorTest::faultShapesTheReply()
{
    QFETCH(ReplyFault, fault);
    QFETCH(QByteArray, expected);
    QFETCH(int, garbageLength);
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    simulator.setFault(fault);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    QVERIFY(client.send(pageRequest(515)));
    const QByteArray received = wholeAnswer(simulator, client);

    if (garbageLength == 0) {
        QCOMPARE(received.toHex(), expected.toHex());
    } else {
        QCOMPARE(received.size(), garbageLength);
        const QByteArray reply = expectedReply(m_image, 515);
        QVERIFY(received != reply.left(garbageLength));
        QVERIFY(received.count(received.at(0)) < garbageLength); // not one repeated byte
    }
    const bool garbled = fault.kind == ReplyFault::Kind::WrongBaud;
    QCOMPARE(simulator.lineErrors(), garbled ? quint64(garbageLength) : 0);
}

void MeterSimulatorTest::previousAnswersWithTheReplyBefore()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    simulator.setFault(ReplyFault::previous().onlyOnRequest(2));
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());
    QVERIFY(client.send(pageRequest(515)));
    QCOMPARE(wholeAnswer(simulator, client, 1).toHex(), expectedReply(m_image, 515).toHex());
    QVERIFY(client.send(pageRequest(516)));
    QCOMPARE(wholeAnswer(simulator, client, 2).toHex(), expectedReply(m_image, 515).toHex());
    QVERIFY(client.send(pageRequest(517)));
    QCOMPARE(wholeAnswer(simulator, client, 3).toHex(), expectedReply(m_image, 517).toHex());
}

// A sound meter may differ from the defaults: an adapter that echoes, byte 0 that counts, an
// answer to a beep, an answer time of its own.
void MeterSimulatorTest::traitsShapeEveryAnswer()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    MeterTraits traits;
    traits.echo = true;
    traits.firstByte = MeterTraits::FirstByte::Counting;
    traits.answersBeep = true;
    traits.fastestAnswer = 40ms;
    traits.slowestAnswer = 60ms;
    simulator.setTraits(traits);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    for (int request = 1; request <= 2; ++request) {
        const auto sent = std::chrono::steady_clock::now();
        QVERIFY(client.send(pageRequest(515)));
        // The echo comes at once, the answer only after the meter's answer time.
        QCOMPARE(client.read(6, kPatience).toHex(), pageRequest(515).toHex());
        const QByteArray answer = wholeAnswer(simulator, client, request);
        QVERIFY(std::chrono::steady_clock::now() - sent >= 40ms);
        QByteArray expected = expectedReply(m_image, 515);
        expected[0] = char(request - 1);
        QCOMPARE(answer.toHex(), expected.toHex());
    }
    QVERIFY(client.send(beepRequest()));
    QCOMPARE(client.read(6, kPatience).toHex(),
             (beepRequest() + QByteArray(1, MeterSimulator::kBeepAnswer)).toHex());
}

void MeterSimulatorTest::faultStaysUntilChanged()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    simulator.setFault(ReplyFault::shortReply(10));
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    for (int request = 1; request <= 2; ++request) {
        QVERIFY(client.send(pageRequest(520)));
        QCOMPARE(wholeAnswer(simulator, client, request).size(), 10);
    }
    simulator.setFault(ReplyFault::none());
    QVERIFY(client.send(pageRequest(520)));
    QCOMPARE(wholeAnswer(simulator, client, 3).toHex(), expectedReply(m_image, 520).toHex());
}

void MeterSimulatorTest::splitReplyArrivesInTwoPartsWithAGap()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    simulator.setFault(ReplyFault::splitReply(100, 600));
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    QVERIFY(client.send(pageRequest(530)));
    // The line goes quiet after the first part, long before the gap is over.
    const QByteArray first = client.read(kReplyLength, 250ms);
    const QByteArray rest = client.read(kReplyLength - int(first.size()), kPatience);

    const QByteArray reply = expectedReply(m_image, 530);
    QCOMPARE(first.toHex(), reply.left(100).toHex());
    QCOMPARE(rest.toHex(), reply.mid(100).toHex());
}

void MeterSimulatorTest::delayedReplyComesNoEarlierThanTheDelay()
{
    constexpr auto kDelay = 300ms;
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    simulator.setFault(ReplyFault::delay(int(kDelay.count())));
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    const auto sentAt = std::chrono::steady_clock::now();
    QVERIFY(client.send(pageRequest(540)));
    const QByteArray reply = client.read(kReplyLength, kPatience);
    const auto elapsed = std::chrono::steady_clock::now() - sentAt;

    QCOMPARE(reply.toHex(), expectedReply(m_image, 540).toHex());
    // A lower bound only: the simulator cannot be early, whatever the machine's load.
    QVERIFY(elapsed >= kDelay);
}

void MeterSimulatorTest::portCanBeClosedAndReopened()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    QVERIFY(simulator.start());
    for (int session = 0; session < 3; ++session) {
        PtyClient client(simulator.devicePath());
        QVERIFY(client.isOpen());
        QVERIFY(client.send(pageRequest(550 + session)));
        QCOMPARE(client.read(kReplyLength, kPatience).toHex(),
                 expectedReply(m_image, 550 + session).toHex());
    }
    QVERIFY(simulator.isRunning());
}

void MeterSimulatorTest::closeLineHangsUpTheClient()
{
    MeterSimulator simulator(m_image, Pacing::Unpaced);
    QVERIFY(simulator.start());
    const QString device = simulator.devicePath();
    PtyClient client(device);
    QVERIFY(client.isOpen());
    QVERIFY(!client.waitForHangUp(kSettled));

    simulator.closeLine();

    QVERIFY(!simulator.isRunning());
    QVERIFY(client.waitForHangUp(kPatience));
    PtyClient reopened(device);
    QVERIFY(!reopened.isOpen());
}

void MeterSimulatorTest::qSerialPortSeesTheLineGo()
{
    MeterSimulator simulator(m_image, Pacing::Uart);
    QVERIFY(simulator.start());
    QSerialPort port;
    port.setPortName(simulator.devicePath());
    port.setBaudRate(QSerialPort::Baud19200);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));

    port.write(pageRequest(513));
    QByteArray reply;
    while (reply.size() < kReplyLength && port.waitForReadyRead(int(kPatience.count())))
        reply += port.readAll();
    QCOMPARE(reply.toHex(), expectedReply(m_image, 513).toHex());

    // QSerialPort reports the hang-up as a read error and stays open; its notifier would keep
    // firing, so a client closes the port on the first error, as here.
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    connect(&port, &QSerialPort::errorOccurred, &port, [&port](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::NoError)
            port.close();
    });
    simulator.closeLine();

    QVERIFY(errors.wait(int(kPatience.count())));
    const auto error = errors.first().first().value<QSerialPort::SerialPortError>();
    QVERIFY2(error == QSerialPort::ReadError || error == QSerialPort::ResourceError,
             qPrintable(QString::number(error)));
    QVERIFY(!port.isOpen());
}

void MeterSimulatorTest::pacingShapesTheWrites_data()
{
    QTest::addColumn<Pacing>("pacing");
    QTest::addColumn<int>("largestWrite");
    QTest::addColumn<int>("fewestWrites");
    QTest::newRow("unpaced: one write") << Pacing::Unpaced << kReplyLength << 1;
    // 2 ms of line time hold fewer than 4 bytes.
    QTest::newRow("uart: a few bytes at a time") << Pacing::Uart << 4 << kReplyLength / 4;
    // A 16 ms USB packet holds about 31 bytes.
    QTest::newRow("usb: packets") << Pacing::Usb << 40 << 8;
    // A 1 ms packet holds about 2 bytes.
    QTest::newRow("usb in low-latency mode") << Pacing::UsbLowLatency << 3 << kReplyLength / 3;
}

void MeterSimulatorTest::pacingShapesTheWrites()
{
    QFETCH(Pacing, pacing);
    QFETCH(int, largestWrite);
    QFETCH(int, fewestWrites);
    MeterSimulator simulator(m_image, pacing);
    QVERIFY(simulator.start());
    PtyClient client(simulator.devicePath());

    QVERIFY(client.send(pageRequest(560)));
    const QList<QByteArray> chunks = client.readChunks(kReplyLength, kPatience);
    QVERIFY(simulator.waitForHandledPageRequests(1, kPatience));

    QByteArray reply;
    for (const QByteArray& chunk : chunks)
        reply += chunk;
    QCOMPARE(reply.toHex(), expectedReply(m_image, 560).toHex());
    const QList<int> writes = simulator.lastReplyWrites();
    QCOMPARE(std::accumulate(writes.begin(), writes.end(), 0), kReplyLength);
    QVERIFY2(writes.size() >= fewestWrites, qPrintable(QString::number(writes.size())));
    QVERIFY(*std::max_element(writes.begin(), writes.end()) <= largestWrite);
    // The client sees the pacing too (how the pieces merge depends on its scheduling).
    if (pacing != Pacing::Unpaced)
        QVERIFY(chunks.size() > 1);
}

QTEST_GUILESS_MAIN(MeterSimulatorTest)
#include "tst_meter_simulator.moc"
