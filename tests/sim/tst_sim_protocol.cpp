// The simulator's building blocks without a pty: frame parsing, burst pacing, fault options.

#include "sim/line_pacing.h"
#include "sim/meter_traits.h"
#include "sim/reply_fault.h"
#include "sim/request_parser.h"

#include <QTest>

using namespace cablemeter::sim;
using namespace std::chrono_literals;

class SimProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void parserCutsFrames_data();
    void parserCutsFrames();
    void parserAssemblesAFrameFedByteByByte();
    void resetDropsAPartialFrame();
    void lineTimeIsExactAtNineteenTwoHundredBaud();
    void unpacedBurstIsOneChunk();
    void usbBurstComesInSixteenMillisecondPackets();
    void uartBurstComesEveryTwoMilliseconds();
    void emptyBurstHasNoChunks();
    void faultOptionIsRead_data();
    void faultOptionIsRead();
    void answerTimeIsRead_data();
    void answerTimeIsRead();
    void pacingNameIsRead_data();
    void pacingNameIsRead();
};

void SimProtocolTest::parserCutsFrames_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("goodFrames"); // hex
    QTest::addColumn<QStringList>("badFrames");  // hex
    QTest::addColumn<bool>("partialLeft");

    QTest::newRow("page request 512") << QByteArray::fromHex("aafa020200a8")
                                      << QStringList{"aafa020200a8"} << QStringList{} << false;
    QTest::newRow("page request 0") << QByteArray::fromHex("aafa020000a6")
                                    << QStringList{"aafa020000a6"} << QStringList{} << false;
    QTest::newRow("page request 1023: checksum wraps")
        << QByteArray::fromHex("aafa0203ffa8") << QStringList{"aafa0203ffa8"} << QStringList{}
        << false;
    QTest::newRow("beep") << QByteArray::fromHex("aa0301ffad") << QStringList{"aa0301ffad"}
                          << QStringList{} << false;
    QTest::newRow("two frames back to back")
        << QByteArray::fromHex("aa0301ffadaafa020201a9")
        << QStringList{"aa0301ffad", "aafa020201a9"} << QStringList{} << false;
    QTest::newRow("bad checksum") << QByteArray::fromHex("aafa020200a9") << QStringList{}
                                  << QStringList{"aafa020200a9"} << false;
    QTest::newRow("noise, then a request") << QByteArray::fromHex("0102fffaaafa020200a8")
                                           << QStringList{"aafa020200a8"} << QStringList{} << false;
    QTest::newRow("broken frame hides the start of a request")
        << QByteArray::fromHex("aa0102aafa020200a8") << QStringList{"aafa020200a8"}
        << QStringList{"aa0102aafa02"} << false;
    QTest::newRow("parameter count too large")
        << QByteArray::fromHex("aa03ffaa0301ffad") << QStringList{"aa0301ffad"} << QStringList{}
        << false;
    QTest::newRow("unfinished frame waits")
        << QByteArray::fromHex("aafa0202") << QStringList{} << QStringList{} << true;
    QTest::newRow("lone start byte waits")
        << QByteArray::fromHex("aa") << QStringList{} << QStringList{} << true;
}

void SimProtocolTest::parserCutsFrames()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, goodFrames);
    QFETCH(QStringList, badFrames);
    QFETCH(bool, partialLeft);
    RequestParser parser;

    QStringList good;
    QStringList bad;
    for (const RequestFrame& frame : parser.feed(input))
        (frame.checksumOk ? good : bad).append(QString::fromLatin1(frame.bytes.toHex()));

    QCOMPARE(good, goodFrames);
    QCOMPARE(bad, badFrames);
    QCOMPARE(parser.hasPartialFrame(), partialLeft);
}

void SimProtocolTest::parserAssemblesAFrameFedByteByByte()
{
    RequestParser parser;
    const QByteArray request = QByteArray::fromHex("aafa020201a9");
    QList<RequestFrame> frames;
    for (const char byte : request)
        frames += parser.feed(QByteArray(1, byte));

    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().bytes, request);
    QVERIFY(frames.first().checksumOk);
    QCOMPARE(parser.skippedBytes(), 0);
}

void SimProtocolTest::resetDropsAPartialFrame()
{
    RequestParser parser;
    QVERIFY(parser.feed(QByteArray::fromHex("aafa02")).isEmpty());

    parser.reset();
    // Without the reset these bytes would complete the old frame as parameters and checksum.
    const QList<RequestFrame> frames = parser.feed(QByteArray::fromHex("aa0301ffad"));

    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().bytes, QByteArray::fromHex("aa0301ffad"));
    QCOMPARE(parser.skippedBytes(), 3);
}

void SimProtocolTest::lineTimeIsExactAtNineteenTwoHundredBaud()
{
    QCOMPARE(lineTime(0).count(), 520833);            // one byte: 10 bits / 19200 baud
    QCOMPARE(lineTimeOf(6).count(), 3125000);         // a page request
    QCOMPARE(lineTimeOf(1920).count(), 1000000000LL); // whole bytes add up without drift
    QCOMPARE(lineTime(256).count(), 133854166);       // the last byte of a 257-byte reply
}

void SimProtocolTest::unpacedBurstIsOneChunk()
{
    const QList<PacedChunk> chunks = planBurst(257, Pacing::Unpaced);
    QCOMPARE(chunks.size(), 1);
    QCOMPARE(chunks.first().bytes, 257);
    QCOMPARE(chunks.first().at, 0ns);
}

void SimProtocolTest::usbBurstComesInSixteenMillisecondPackets()
{
    const QList<PacedChunk> chunks = planBurst(257, Pacing::Usb);

    // Each packet holds what arrived in its 16 ms; the last, partial one goes at the next tick
    // after the 257th byte (133.9 ms), that is at 144 ms.
    QList<int> sizes;
    for (int i = 0; i < chunks.size(); ++i) {
        QCOMPARE(chunks.at(i).at, std::chrono::nanoseconds(16ms * (i + 1)));
        sizes.append(chunks.at(i).bytes);
    }
    QCOMPARE(sizes, (QList<int>{30, 31, 31, 30, 31, 31, 31, 30, 12}));
}

void SimProtocolTest::uartBurstComesEveryTwoMilliseconds()
{
    const QList<PacedChunk> chunks = planBurst(257, Pacing::Uart);

    int total = 0;
    std::chrono::nanoseconds previous{0};
    for (const PacedChunk& chunk : chunks) {
        QVERIFY(chunk.bytes == 3 || chunk.bytes == 4 || &chunk == &chunks.last());
        QVERIFY(chunk.at > previous);
        QCOMPARE(chunk.at % 2ms, 0ns);
        previous = chunk.at;
        total += chunk.bytes;
    }
    QCOMPARE(total, 257);
    QCOMPARE(chunks.last().at, std::chrono::nanoseconds(134ms));
}

void SimProtocolTest::emptyBurstHasNoChunks()
{
    QVERIFY(planBurst(0, Pacing::Usb).isEmpty());
    QVERIFY(planBurst(0, Pacing::Unpaced).isEmpty());
}

void SimProtocolTest::faultOptionIsRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<ReplyFault>("fault");

    QTest::newRow("none") << "none" << true << ReplyFault::none();
    QTest::newRow("silent") << "silent" << true << ReplyFault::noAnswer();
    QTest::newRow("short") << "short:100" << true << ReplyFault::shortReply(100);
    QTest::newRow("split") << "split:128:500" << true << ReplyFault::splitReply(128, 500);
    QTest::newRow("long") << "long:300" << true << ReplyFault::longReply(300);
    QTest::newRow("garbage") << "garbage:255" << true << ReplyFault::garbage(255);
    QTest::newRow("delay, upper case") << "DELAY:2500" << true << ReplyFault::delay(2500);
    QTest::newRow("stray after") << "stray-after:3:40" << true << ReplyFault::strayAfter(3, 40);
    QTest::newRow("stray before") << "stray-before:1" << true << ReplyFault::strayBefore(1);
    QTest::newRow("repeat") << "repeat:25" << true << ReplyFault::repeat(25);
    QTest::newRow("noise") << "noise:3000" << true << ReplyFault::noise(3000);
    QTest::newRow("stall is a short reply") << "stall:128" << true << ReplyFault::shortReply(128);
    QTest::newRow("corrupt") << "corrupt:40" << true << ReplyFault::corrupt(40);
    QTest::newRow("lose") << "lose:100" << true << ReplyFault::loseByte(100);
    QTest::newRow("previous on the 3rd")
        << "previous@3" << true << ReplyFault::previous().onlyOnRequest(3);
    QTest::newRow("baud") << "baud:9600" << true << ReplyFault::wrongBaud(9600);
    QTest::newRow("previous takes no number") << "previous:2" << false << ReplyFault();
    QTest::newRow("baud without a rate") << "baud" << false << ReplyFault();
    QTest::newRow("on the 5th request only")
        << "stray-after:3:40@5" << true << ReplyFault::strayAfter(3, 40).onlyOnRequest(5);
    QTest::newRow("silent on the 2nd only")
        << "silent@2" << true << ReplyFault::noAnswer().onlyOnRequest(2);
    QTest::newRow("none on the Nth makes no sense") << "none@2" << false << ReplyFault();
    QTest::newRow("request 0") << "repeat:25@0" << false << ReplyFault();
    QTest::newRow("two request numbers") << "repeat:25@1@2" << false << ReplyFault();
    QTest::newRow("stray after without delay") << "stray-after:3" << false << ReplyFault();
    QTest::newRow("unknown name") << "wobble" << false << ReplyFault();
    QTest::newRow("count missing") << "short" << false << ReplyFault();
    QTest::newRow("zero count") << "short:0" << false << ReplyFault();
    QTest::newRow("negative count") << "delay:-5" << false << ReplyFault();
    QTest::newRow("not a number") << "long:many" << false << ReplyFault();
    QTest::newRow("split without gap") << "split:100" << false << ReplyFault();
    QTest::newRow("extra part") << "short:1:2" << false << ReplyFault();
    QTest::newRow("empty") << "" << false << ReplyFault();
}

void SimProtocolTest::faultOptionIsRead()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(ReplyFault, fault);

    const std::optional<ReplyFault> parsed = ReplyFault::parse(text);

    QCOMPARE(parsed.has_value(), valid);
    if (valid) {
        QVERIFY(*parsed == fault);
        QVERIFY(ReplyFault::parse(parsed->toString()) == parsed);
    }
}

void SimProtocolTest::answerTimeIsRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fastest"); // -1: refused
    QTest::addColumn<int>("slowest");
    QTest::newRow("a fixed time") << "15" << 15 << 15;
    QTest::newRow("a range") << "1-20" << 1 << 20;
    QTest::newRow("none") << "0" << 0 << 0;
    QTest::newRow("backwards") << "20-1" << -1 << 0;
    QTest::newRow("negative") << "-5" << -1 << 0;
    QTest::newRow("words") << "soon" << -1 << 0;
    QTest::newRow("three numbers") << "1-2-3" << -1 << 0;
}

void SimProtocolTest::answerTimeIsRead()
{
    QFETCH(QString, text);
    QFETCH(int, fastest);
    QFETCH(int, slowest);
    const auto parsed = MeterTraits::parseAnswerTime(text);
    QCOMPARE(parsed.has_value(), fastest >= 0);
    if (parsed) {
        QCOMPARE(int(parsed->first.count()), fastest);
        QCOMPARE(int(parsed->second.count()), slowest);
    }
    QCOMPARE(MeterTraits::parseFirstByte(QStringLiteral("Counting")),
             MeterTraits::FirstByte::Counting);
    QVERIFY(!MeterTraits::parseFirstByte(text));
}

void SimProtocolTest::pacingNameIsRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pacing"); // -1: refused
    QTest::newRow("unpaced") << "unpaced" << int(Pacing::Unpaced);
    QTest::newRow("uart") << "uart" << int(Pacing::Uart);
    QTest::newRow("USB") << "USB" << int(Pacing::Usb);
    QTest::newRow("usb-low-latency") << "usb-low-latency" << int(Pacing::UsbLowLatency);
    QTest::newRow("unknown") << "fast" << -1;
}

void SimProtocolTest::pacingNameIsRead()
{
    QFETCH(QString, name);
    QFETCH(int, pacing);
    const std::optional<Pacing> parsed = pacingFromName(name);
    QCOMPARE(parsed ? int(*parsed) : -1, pacing);
    if (parsed)
        QCOMPARE(pacingFromName(pacingName(*parsed)), parsed);
}

QTEST_GUILESS_MAIN(SimProtocolTest)
#include "tst_sim_protocol.moc"
