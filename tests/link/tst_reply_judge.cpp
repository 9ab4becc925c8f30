// The reply rules on their own: each row is what arrived for a run of requests and what the judge
// must make of it. No port, no event loop, no clock: every rule fails a row here when it goes.
#include "link/reply_judge.h"
#include "link/request_frame.h"

#include <QTest>

using namespace cablemeter;
using Burst = ReplyJudge::Burst;
using End = ReplyJudge::End;
using Finding = ReplyJudge::Finding;
using Verdict = ReplyJudge::Verdict;
using std::chrono::milliseconds;

namespace {

constexpr int kPage = 600;
constexpr int kMeterLength = 257; // byte 0 and 256 bytes, as our simulator answers

// A reply of this test's meter: byte 0, then bytes that differ per page.
QByteArray reply(int page = kPage, int length = kMeterLength, char firstByte = char(0xFA))
{
    QByteArray bytes(1, firstByte);
    for (int i = 1; i < length; ++i)
        bytes.append(char((page * 7 + i) & 0xFF));
    return bytes;
}

// A burst that is over: it came whole, and the line has been quiet long since.
Burst over(const QByteArray& bytes, int page = kPage)
{
    Burst burst;
    burst.request = pageRequest(page);
    burst.bytes = bytes;
    burst.sinceRequest = milliseconds(300);
    burst.sinceFirstByte = bytes.isEmpty() ? milliseconds(-1) : milliseconds(150);
    burst.quiet = milliseconds(1000);
    burst.longestGap = milliseconds(2);
    return burst;
}

Burst silent()
{
    Burst burst = over({});
    burst.sinceRequest = ReplyJudge::kAnswerLimit;
    return burst;
}

Burst withGap(Burst burst, int gap)
{
    burst.longestGap = milliseconds(gap);
    return burst;
}

Burst withLineErrors(Burst burst)
{
    burst.lineErrors = true;
    return burst;
}

Burst afterStrayBytes(Burst burst)
{
    burst.bytesBeforeRequest = 3;
    return burst;
}

// Still arriving when the reply had to be finished.
Burst cutOff(const QByteArray& bytes)
{
    Burst burst = over(bytes);
    burst.quiet = milliseconds(0);
    burst.sinceFirstByte = milliseconds(5000);
    return burst;
}

// One request: what arrived, and what the judge must say. `newOperation` starts an operation
// first.
struct Step {
    Burst burst;
    Verdict verdict = Verdict::Take;
    Finding finding = Finding::Fits;
    bool checkServedPage = false;
    qsizetype replyStart = 0;
    bool newOperation = false;
};

Step take(const Burst& burst, Finding finding = Finding::Fits, bool check = false)
{
    return {burst, Verdict::Take, finding, check};
}
Step again(const Burst& burst, Finding finding, bool check = false)
{
    return {burst, Verdict::ReadAgain, finding, check};
}
Step fail(const Burst& burst, Finding finding, bool check = false)
{
    return {burst, Verdict::Fail, finding, check};
}
Step inNewOperation(Step step)
{
    step.newOperation = true;
    return step;
}
Step startingAt(Step step, qsizetype start)
{
    step.replyStart = start;
    return step;
}

// The first reply after the port opened, which every run starts with.
Step learned()
{
    return take(over(reply(kPage - 1)), Finding::FirstReply);
}

} // namespace

Q_DECLARE_METATYPE(Step)

class ReplyJudgeTest : public QObject {
    Q_OBJECT

private slots:
    void judgesEachRequest_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<int>("learnedLength");

        const QByteArray page = reply();
        const QByteArray echo = pageRequest(kPage);
        const QByteArray longer = page + "xyz";
        const QByteArray lostByte = page.left(100) + page.mid(101);

        QTest::newRow("the first reply teaches its length")
            << QList<Step>{learned(), take(over(page))} << kMeterLength;
        QTest::newRow("byte 0 counts, changes or is random: never compared")
            << QList<Step>{learned(), take(over(reply(kPage, kMeterLength, 0x01))),
                           take(over(reply(kPage, kMeterLength, 0x02))),
                           take(over(reply(kPage, kMeterLength, char(0x9C))))}
            << kMeterLength;
        QTest::newRow("a meter with a longer reply of its own")
            << QList<Step>{take(over(reply(kPage, 300)), Finding::FirstReply),
                           take(over(reply(kPage, 300)))}
            << 300;
        QTest::newRow("an echo of the request ahead of the reply is skipped")
            << QList<Step>{learned(), startingAt(take(over(echo + page), Finding::Echoed), 6)}
            << kMeterLength;
        QTest::newRow("an echo ahead of the very first reply is skipped too")
            << QList<Step>{startingAt(take(over(echo + page), Finding::FirstReply), 6),
                           take(over(page))}
            << kMeterLength;
        QTest::newRow("a reply that merely begins like the request is not cut")
            << QList<Step>{learned(), take(over(echo + page.mid(echo.size())))} << kMeterLength;
        QTest::newRow("a burst too long is read again, and the page before checked")
            << QList<Step>{learned(), again(over(longer), Finding::WrongLength, true),
                           take(over(page))}
            << kMeterLength;
        QTest::newRow("a lost byte is read again; nothing before it is doubted")
            << QList<Step>{learned(), again(over(lostByte), Finding::WrongLength), take(over(page))}
            << kMeterLength;
        QTest::newRow("bursts that keep departing fail at the fourth")
            << QList<Step>{learned(), again(over(longer), Finding::WrongLength, true),
                           again(over(longer + "a"), Finding::WrongLength, true),
                           again(over(longer), Finding::WrongLength, true),
                           fail(over(longer + "a"), Finding::WrongLength, true)}
            << kMeterLength;
        QTest::newRow("two reads in a row that agree on another length teach it")
            << QList<Step>{learned(), again(over(longer), Finding::WrongLength, true),
                           take(over(longer), Finding::NewLength, true), take(over(longer))}
            << kMeterLength + 3;
        QTest::newRow("agreeing reads teach though their byte 0 differs")
            << QList<Step>{learned(), again(over(reply(kPage, 300, 1)), Finding::WrongLength, true),
                           take(over(reply(kPage, 300, 2)), Finding::NewLength, true)}
            << 300;
        QTest::newRow("reads that differ in a page byte teach nothing")
            << QList<Step>{learned(), again(over(longer), Finding::WrongLength, true),
                           again(over(reply(kPage + 1, kMeterLength + 3)), Finding::WrongLength,
                                 true)}
            << kMeterLength;
        QTest::newRow("only reads in a row teach")
            << QList<Step>{learned(), again(over(longer), Finding::WrongLength, true),
                           again(cutOff(page.left(100)), Finding::Stopped),
                           again(over(longer), Finding::WrongLength, true)}
            << kMeterLength;
        QTest::newRow("silence on an operation's first request fails at once")
            << QList<Step>{learned(), inNewOperation(fail(silent(), Finding::NoAnswer))}
            << kMeterLength;
        QTest::newRow("silence after the meter answered in this operation: asked once more")
            << QList<Step>{learned(), again(silent(), Finding::NoAnswer), take(over(page))}
            << kMeterLength;
        QTest::newRow("silence twice after the meter answered fails")
            << QList<Step>{learned(), again(silent(), Finding::NoAnswer),
                           fail(silent(), Finding::NoAnswer)}
            << kMeterLength;
        QTest::newRow("a reply that stops short is asked for twice more")
            << QList<Step>{learned(), again(cutOff(page.left(128)), Finding::Stopped),
                           again(cutOff(page.left(128)), Finding::Stopped), take(over(page))}
            << kMeterLength;
        QTest::newRow("the third reply that stops short fails")
            << QList<Step>{learned(), again(cutOff(page.left(128)), Finding::Stopped),
                           again(cutOff(page.left(128)), Finding::Stopped),
                           fail(cutOff(page.left(128)), Finding::Stopped)}
            << kMeterLength;
        QTest::newRow("a pause of 100 ms inside a reply: in pieces, asked again")
            << QList<Step>{learned(), again(withGap(over(page), 100), Finding::InPieces),
                           take(withGap(over(page), 99))}
            << kMeterLength;
        QTest::newRow("three replies in pieces fail")
            << QList<Step>{learned(), again(withGap(over(page), 150), Finding::InPieces),
                           again(cutOff(page.left(10)), Finding::Stopped),
                           fail(withGap(over(page), 150), Finding::InPieces)}
            << kMeterLength;
        QTest::newRow("line errors during a reply: read again")
            << QList<Step>{learned(), again(withLineErrors(over(page)), Finding::LineErrors),
                           take(over(page))}
            << kMeterLength;
        QTest::newRow("line errors on three reads in a row fail")
            << QList<Step>{learned(), again(withLineErrors(over(page)), Finding::LineErrors),
                           again(withLineErrors(over(page)), Finding::LineErrors),
                           fail(withLineErrors(over(page)), Finding::LineErrors)}
            << kMeterLength;
        QTest::newRow("line errors, a clean departure, line errors: not in a row")
            << QList<Step>{learned(),
                           again(withLineErrors(over(page)), Finding::LineErrors),
                           again(withLineErrors(over(page)), Finding::LineErrors),
                           again(over(longer), Finding::WrongLength, true),
                           again(withLineErrors(over(page)), Finding::LineErrors),
                           take(over(page))}
            << kMeterLength;
        QTest::newRow("a garbled first reply teaches nothing")
            << QList<Step>{again(withLineErrors(over(page)), Finding::LineErrors),
                           take(over(page), Finding::FirstReply)}
            << kMeterLength;
        QTest::newRow("bytes before the request: the page handed out before is checked")
            << QList<Step>{learned(), take(afterStrayBytes(over(page)), Finding::Fits, true)}
            << kMeterLength;
        QTest::newRow("a line that never goes quiet fails at once")
            << QList<Step>{learned(), fail(cutOff(longer + longer), Finding::NeverQuiet, true)}
            << kMeterLength;
        QTest::newRow("six reads of one page at most")
            << QList<Step>{learned(),
                           again(over(longer), Finding::WrongLength, true),
                           again(cutOff(page.left(9)), Finding::Stopped),
                           again(withLineErrors(over(page)), Finding::LineErrors),
                           again(over(longer + "b"), Finding::WrongLength, true),
                           again(cutOff(page.left(9)), Finding::Stopped),
                           fail(silent(), Finding::NoAnswer)}
            << kMeterLength;
    }
    void judgesEachRequest()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(int, learnedLength);
        ReplyJudge judge;
        judge.forgetMeter();
        for (qsizetype n = 0; n < steps.size(); ++n) {
            const Step& step = steps[n];
            if (step.newOperation)
                judge.beginOperation();
            // Each row reads one page after the page of its first step.
            if (n <= 1 || step.newOperation)
                judge.beginPage();
            const ReplyJudge::Judgement judgement = judge.judge(step.burst);
            const QByteArray where = "step " + QByteArray::number(n);
            QVERIFY2(judgement.verdict == step.verdict, where.constData());
            QVERIFY2(judgement.finding == step.finding, where.constData());
            QVERIFY2(judgement.checkServedPage == step.checkServedPage, where.constData());
            if (step.verdict == Verdict::Take)
                QVERIFY2(judgement.replyStart == step.replyStart, where.constData());
        }
        QCOMPARE(judge.learnedLength(), learnedLength);
    }

    // When a burst is over: what arrived so far, and how long the line has been quiet.
    void watchesTheLine_data()
    {
        QTest::addColumn<int>("learned"); // the meter's length, 0 while unknown
        QTest::addColumn<int>("bytes");   // how many arrived
        QTest::addColumn<bool>("echo");   // the request's echo came first
        QTest::addColumn<int>("sinceRequest");
        QTest::addColumn<int>("sinceFirstByte");
        QTest::addColumn<int>("quiet");
        QTest::addColumn<int>("gap");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("lookAgainIn"); // -1: not checked

        const int notYet = int(End::NotYet);
        const int quiet = int(End::Quiet);
        // A reply of the learned length is over after its own longest gap plus 2 ms of quiet.
        QTest::newRow("learned length, quiet 1 ms short")
            << 257 << 257 << false << 200 << 150 << 17 << 16 << notYet << 1;
        QTest::newRow("learned length, quiet long enough")
            << 257 << 257 << false << 200 << 150 << 18 << 16 << quiet << -1;
        QTest::newRow("echo and the learned length")
            << 257 << 263 << true << 200 << 150 << 4 << 2 << quiet << -1;
        // Anything else waits for a settled line, so a reply's own tail is never cut off.
        QTest::newRow("first reply, 29 ms quiet")
            << 0 << 257 << false << 200 << 150 << 29 << 2 << notYet << 1;
        QTest::newRow("first reply, 30 ms quiet")
            << 0 << 257 << false << 200 << 150 << 30 << 2 << quiet << -1;
        QTest::newRow("longer than learned, 20 ms quiet")
            << 257 << 260 << false << 200 << 150 << 20 << 2 << notYet << 10;
        QTest::newRow("a lost byte: a whole reply, not this meter's length")
            << 257 << 256 << false << 200 << 150 << 30 << 2 << quiet << -1;
        QTest::newRow("short of the learned length: its rest is due, looked for at once")
            << 257 << 255 << false << 200 << 150 << 1 << 2 << notYet << 1;
        QTest::newRow("an echo and part of a reply: its rest is due")
            << 257 << 260 << true << 200 << 150 << 1 << 2 << notYet << 1;
        // A reply that has begun has a second beyond its line time to finish.
        QTest::newRow("short of any reply, quiet long: still due")
            << 257 << 128 << false << 600 << 500 << 500 << 2 << notYet << 1;
        QTest::newRow("first reply short of any reply: waits for the finish limit")
            << 0 << 128 << false << 600 << 500 << 500 << 2 << notYet << 636;
        QTest::newRow("short of any reply at the finish limit")
            << 257 << 128 << false << 1300 << 1138 << 900 << 2 << int(End::Unfinished) << -1;
        QTest::newRow("bytes still coming at the finish limit")
            << 257 << 600 << false << 1300 << 1138 << 0 << 1 << int(End::NeverQuiet) << -1;
        // The two seconds are for the reply's start.
        QTest::newRow("nothing yet after 1.5 s")
            << 257 << 0 << false << 1500 << -1 << 0 << 0 << notYet << 500;
        QTest::newRow("nothing after 2 s")
            << 257 << 0 << false << 2000 << -1 << 0 << 0 << int(End::NoAnswer) << -1;
        QTest::newRow("a reply that began at 1.9 s is awaited after 2 s")
            << 0 << 40 << false << 2100 << 200 << 0 << 1 << notYet << 936;
    }
    void watchesTheLine()
    {
        QFETCH(int, learned);
        QFETCH(int, bytes);
        QFETCH(bool, echo);
        QFETCH(int, sinceRequest);
        QFETCH(int, sinceFirstByte);
        QFETCH(int, quiet);
        QFETCH(int, gap);
        QFETCH(int, end);
        QFETCH(int, lookAgainIn);

        ReplyJudge judge;
        judge.forgetMeter();
        if (learned > 0)
            QCOMPARE(judge.judge(over(reply(kPage, learned))).finding, Finding::FirstReply);
        Burst burst = over({});
        burst.bytes = echo ? pageRequest(kPage) + reply(kPage, bytes - 6) : reply(kPage, bytes);
        burst.bytes.truncate(bytes);
        burst.sinceRequest = milliseconds(sinceRequest);
        burst.sinceFirstByte = milliseconds(sinceFirstByte);
        burst.quiet = milliseconds(quiet);
        burst.longestGap = milliseconds(gap);
        const ReplyJudge::Watch watch = judge.watch(burst);
        QCOMPARE(int(watch.end), end);
        if (lookAgainIn >= 0)
            QCOMPARE(int(watch.lookAgainIn.count()), lookAgainIn);
    }

    void openingAgainForgetsTheMeter()
    {
        ReplyJudge judge;
        judge.forgetMeter();
        QCOMPARE(judge.judge(over(reply(kPage, 300))).finding, Finding::FirstReply);
        QCOMPARE(judge.learnedLength(), 300);
        judge.forgetMeter();
        QCOMPARE(judge.learnedLength(), 0);
        QCOMPARE(judge.judge(over(reply())).finding, Finding::FirstReply);
    }
};

QTEST_GUILESS_MAIN(ReplyJudgeTest)
#include "tst_reply_judge.moc"
