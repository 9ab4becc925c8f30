// The graph screens: the exact segments of the scan bars and of the spectrum trace.
#include "screen_bench.h"

#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

const QColor kGreen(80, 255, 80);

// Slot 0: the first data page, then the scan page or the three spectrum pages.
constexpr int kFirstPage = 513;
constexpr int kScanPage = 516;
constexpr int kSpectrumPages[] = {516, 517, 518};

// Point p of a scan or spectrum page: high byte 2p + 1, low byte 2p + 2.
PageBytes point(int p, int high, int low)
{
    return {{2 * p + 1, high}, {2 * p + 2, low}};
}

} // namespace

class GraphScreensTest : public QObject {
    Q_OBJECT
private slots:
    void scanBar_data();
    void scanBar();
    void scanDrawsAllHundredBars();

    void spectrumPoint_data();
    void spectrumPoint();
    void spectrumFlatTraceRunsInThreeParts();
    void spectrumCarriesTheHeightAcrossPages();
    void spectrumStopsAtX309();
    void spectrumReportsEachPage();
    void spectrumStopsWhenAPageDoesNotArrive();
};

void GraphScreensTest::scanBar_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("top");
    QTest::newRow("0 drawn as 20") << 0 << 0 << 0 << 226;
    QTest::newRow("1200 full height") << 0 << 4 << 176 << 26;
    QTest::newRow("1205 rounds to 120") << 0 << 4 << 181 << 26;
    QTest::newRow("1210 overflow drawn as 25") << 0 << 4 << 186 << 216;
    QTest::newRow("high byte 6 counts as 0") << 0 << 6 << 100 << 226;
    QTest::newRow("high byte 255 counts as 0") << 0 << 255 << 250 << 232 - 2 * (25 - 17);
    QTest::newRow("high byte 5 used") << 0 << 5 << 0 << 216;
    QTest::newRow("845 half to even 84") << 0 << 3 << 77 << 232 - 2 * (84 - 17);
    QTest::newRow("855 half to even 86") << 0 << 3 << 87 << 232 - 2 * (86 - 17);
    QTest::newRow("846 rounds up") << 0 << 3 << 78 << 232 - 2 * (85 - 17);
    QTest::newRow("195 half to even 20") << 0 << 0 << 195 << 226;
    QTest::newRow("last channel") << 99 << 2 << 188 << 232 - 2 * (70 - 17);
}

void GraphScreensTest::scanBar()
{
    QFETCH(int, channel);
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(int, top);
    ScreenBench bench;
    bench.setPage(kScanPage, point(channel, high, low));
    QVERIFY(DrawScan(bench.context, 0));
    const QList<DrawnLine>& lines = bench.picture.drawnLines();
    QCOMPARE(lines.size(), 200);
    const int x = 10 + 3 * channel;
    QCOMPARE(lines[2 * channel], (DrawnLine{{x, 232}, {x, top}, kGreen}));
    QCOMPARE(lines[2 * channel + 1], (DrawnLine{{x + 1, 232}, {x + 1, top}, kGreen}));
}

void GraphScreensTest::scanDrawsAllHundredBars()
{
    ScreenBench bench;
    bench.setPage(kScanPage, {});
    QVERIFY(DrawScan(bench.context, 0));
    QCOMPARE(bench.reader.requestedPages(), (QList<int>{kFirstPage, kScanPage}));
    QCOMPARE(bench.statuses, QStringList{"Page OK "});
    const QList<DrawnLine>& lines = bench.picture.drawnLines();
    QCOMPARE(lines.size(), 200);
    QCOMPARE(lines.first(), (DrawnLine{{10, 232}, {10, 226}, kGreen}));
    QCOMPARE(lines.last(), (DrawnLine{{308, 232}, {308, 226}, kGreen}));
    QVERIFY(bench.picture.printedLines().isEmpty());
}

void GraphScreensTest::spectrumPoint_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("y");
    QTest::newRow("0 on the baseline") << 0 << 0 << 196;
    QTest::newRow("1200 at the top") << 4 << 176 << 96;
    QTest::newRow("1210 held at the top") << 4 << 186 << 96;
    QTest::newRow("high byte 6 counts as 0") << 6 << 100 << 196;
    QTest::newRow("845 half to even 84") << 3 << 77 << 196 - 64;
    QTest::newRow("855 half to even 86") << 3 << 87 << 196 - 66;
    QTest::newRow("205 half to even 20") << 0 << 205 << 196;
    QTest::newRow("215 half to even 22") << 0 << 215 << 194;
}

void GraphScreensTest::spectrumPoint()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(int, y);
    // Point 10 of page 1 with this value, all other points 0.
    ScreenBench bench;
    bench.setPage(kSpectrumPages[0], point(10, high, low));
    QVERIFY(DrawSpect(bench.context, 0));
    const QList<DrawnLine>& lines = bench.picture.drawnLines();
    QCOMPARE(lines[10], (DrawnLine{{14, 196}, {15, y}, kGreen}));
    QCOMPARE(lines[11], (DrawnLine{{15, y}, {16, 196}, kGreen}));
}

void GraphScreensTest::spectrumFlatTraceRunsInThreeParts()
{
    ScreenBench bench;
    for (const int page : kSpectrumPages)
        bench.setPage(page, {});
    QVERIFY(DrawSpect(bench.context, 0));
    const QList<DrawnLine>& lines = bench.picture.drawnLines();
    QCOMPARE(lines.size(), 127 + 127 + 49);
    for (const DrawnLine& line : lines) {
        QCOMPARE(line.from.y(), 196);
        QCOMPARE(line.to.y(), 196);
        QCOMPARE(line.to.x(), line.from.x() + 1);
        QCOMPARE(line.colour, kGreen);
    }
    // Runs x = 4..131, 132..259 and 260..309, with no segment across the gaps.
    QCOMPARE(lines[0].from.x(), 4);
    QCOMPARE(lines[126].to.x(), 131);
    QCOMPARE(lines[127].from.x(), 132);
    QCOMPARE(lines[253].to.x(), 259);
    QCOMPARE(lines[254].from.x(), 260);
    QCOMPARE(lines.last().to.x(), 309);
}

void GraphScreensTest::spectrumCarriesTheHeightAcrossPages()
{
    ScreenBench bench;
    bench.setPage(kSpectrumPages[0], point(126, 4, 176)); // ends at height 100
    bench.setPage(kSpectrumPages[1], point(126, 3, 87));  // ends at height 66
    bench.setPage(kSpectrumPages[2], {});
    QVERIFY(DrawSpect(bench.context, 0));
    const QList<DrawnLine>& lines = bench.picture.drawnLines();
    QCOMPARE(lines[126], (DrawnLine{{130, 196}, {131, 96}, kGreen}));
    QCOMPARE(lines[127], (DrawnLine{{132, 96}, {133, 196}, kGreen}));
    QCOMPARE(lines[253], (DrawnLine{{258, 196}, {259, 130}, kGreen}));
    QCOMPARE(lines[254], (DrawnLine{{260, 130}, {261, 196}, kGreen}));
}

void GraphScreensTest::spectrumStopsAtX309()
{
    PageBytes third = point(48, 4, 176);
    third.insert(point(49, 3, 77));
    ScreenBench bench;
    bench.setPage(kSpectrumPages[2], third);
    QVERIFY(DrawSpect(bench.context, 0));
    const QList<DrawnLine>& lines = bench.picture.drawnLines();
    QCOMPARE(lines.size(), 303);
    QCOMPARE(lines.last(), (DrawnLine{{308, 196}, {309, 96}, kGreen}));
}

void GraphScreensTest::spectrumReportsEachPage()
{
    ScreenBench bench;
    QVERIFY(DrawSpect(bench.context, 0));
    QCOMPARE(bench.reader.requestedPages(), (QList<int>{kFirstPage, 516, 517, 518}));
    QCOMPARE(bench.statuses, (QStringList{"Page OK ", "Page OK 1", "Page OK 2", "Page OK 3"}));
    QVERIFY(bench.picture.printedLines().isEmpty());
}

void GraphScreensTest::spectrumStopsWhenAPageDoesNotArrive()
{
    ScreenBench bench;
    bench.reader.failAtRead(2); // the second spectrum page
    QVERIFY(!DrawSpect(bench.context, 0));
    QCOMPARE(bench.statuses, (QStringList{"Page OK ", "Page OK 1"}));
    QCOMPARE(bench.picture.drawnLines().size(), 127);
}

QTEST_MAIN(GraphScreensTest)
#include "tst_graph_screens.moc"
