// The text screens: the lines each prints for its record, and the frame they share (which pages
// are read, the status, what a failed read leaves).
#include "screen_bench.h"

#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

// Slot 0: header page 512, first data page 513, fourth data page 516.
constexpr int kFirstPage = 513;
constexpr int kTablePage = 516;

// The examples the meter's manual gives for each screen.
const PageBytes kLevelExample = {{1, 0},  {4, 0},   {18, 'C'}, {19, '2'}, {20, '1'},
                                 {21, 0}, {22, 21}, {23, 149}, {33, 3},   {34, 37}};
const PageBytes kFreqExample = {{1, 2}, {24, 0}, {25, 168}, {26, 64}, {33, 2}, {34, 238}};
const PageBytes kDigiExample = {{1, 1},    {18, 'D'}, {19, '4'}, {20, '5'}, {21, 0},
                                {22, 188}, {23, 52},  {33, 2},   {34, 188}};
const PageBytes kVoltExample = {{17, 1}, {18, 4}, {19, 0}, {20, 120}, {21, 0}, {22, 75}};
const PageBytes kCNExample = {{1, 0},   {4, 1},   {18, 'S'}, {19, '0'}, {20, '8'}, {21, 0},
                              {22, 57}, {23, 12}, {33, 2},   {34, 218}, {37, 1},   {38, 196}};
const PageBytes kVAExample = {{1, 0},   {18, 'C'}, {19, '2'}, {20, '1'}, {21, 0},
                              {22, 21}, {23, 149}, {32, 0},   {33, 3},   {34, 37},
                              {35, 2},  {36, 188}, {37, 0},   {38, 150}};

PageBytes with(PageBytes bytes, const PageBytes& changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        bytes[it.key()] = it.value();
    return bytes;
}

// Row r of the tilt table: name, kind and level bytes.
PageBytes tiltRow(int r, const char* name, int kind, int high, int low)
{
    const int base = 16 * r;
    return {{base + 2, name[0]}, {base + 3, name[1]}, {base + 4, name[2]},
            {base + 11, kind},   {base + 14, high},   {base + 15, low}};
}

const QString kTiltHeader = QStringLiteral(" NO.  Chan  Type     Level");

} // namespace

class TextScreensTest : public QObject {
    Q_OBJECT
private slots:
    void printsTheRecordsLines_data();
    void printsTheRecordsLines();

    void tiltRows_data();
    void tiltRows();
    void tiltWithoutUnitRunsTheRowsTogether();
    void tiltReadsTheTableAfterPrintingTheHeader();
    void tiltStopsWhenTheTableDoesNotArrive();

    void firstDataPageOfTheSlot_data();
    void firstDataPageOfTheSlot();
    void failedFirstReadChangesNothing_data();
    void failedFirstReadChangesNothing();
};

void TextScreensTest::printsTheRecordsLines_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<PageBytes>("bytes");
    QTest::addColumn<QStringList>("lines");

    const QStringList level = {"", "  CHA C21", "  55.25  MHz", "   80.5  dBuv"};
    QTest::newRow("Level example") << "Level" << kLevelExample << level;
    QTest::newRow("Level in dBmv") << "Level" << with(kLevelExample, {{1, 1}})
                                   << QStringList{level[0], level[1], level[2], "   20.5  dBmv"};
    QTest::newRow("Level in dBm") << "Level" << with(kLevelExample, {{1, 2}})
                                  << QStringList{level[0], level[1], level[2], "  -26.5  dBm"};
    QTest::newRow("Level type 1") << "Level" << with(kLevelExample, {{4, 1}})
                                  << QStringList{"", "  CHV C21", level[2], level[3]};
    QTest::newRow("Level type 2") << "Level" << with(kLevelExample, {{4, 2}})
                                  << QStringList{"", "  CHD C21", level[2], level[3]};
    QTest::newRow("Level type 3") << "Level" << with(kLevelExample, {{4, 3}})
                                  << QStringList{"", level[2], level[3]};
    QTest::newRow("Level type 255")
        << "Level" << with(kLevelExample, {{4, 255}}) << QStringList{"", level[2], level[3]};
    QTest::newRow("Level unit 3") << "Level" << with(kLevelExample, {{1, 3}})
                                  << QStringList{"", level[1], level[2]};
    QTest::newRow("Level unit 255")
        << "Level" << with(kLevelExample, {{1, 255}}) << QStringList{"", level[1], level[2]};
    QTest::newRow("Level both codes 3")
        << "Level" << with(kLevelExample, {{1, 3}, {4, 3}}) << QStringList{"", level[2]};
    QTest::newRow("Level 200 raised") << "Level" << with(kLevelExample, {{33, 0}, {34, 200}})
                                      << QStringList{"", level[1], level[2], "   25  dBuv"};
    QTest::newRow("Level 600 dBmv") << "Level" << with(kLevelExample, {{1, 1}, {33, 2}, {34, 88}})
                                    << QStringList{"", level[1], level[2], "   0  dBmv"};
    QTest::newRow("Level 599 dBmv") << "Level" << with(kLevelExample, {{1, 1}, {33, 2}, {34, 87}})
                                    << QStringList{"", level[1], level[2], "  -0.1  dBmv"};
    QTest::newRow("Level frequency 0") << "Level" << with(kLevelExample, {{22, 0}, {23, 0}})
                                       << QStringList{"", level[1], "  0  MHz", level[3]};

    const QStringList freq = {"", "  430.72  MHz", "  -32  dBm"};
    QTest::newRow("Freq example") << "Freq" << kFreqExample << freq;
    QTest::newRow("Freq ignores bytes 21 to 23")
        << "Freq" << with(kFreqExample, {{21, 0}, {22, 21}, {23, 149}}) << freq;
    QTest::newRow("Freq unit 3") << "Freq" << with(kFreqExample, {{1, 3}})
                                 << QStringList{"", freq[1]};
    QTest::newRow("Freq floor in dBm") << "Freq" << with(kFreqExample, {{33, 0}, {34, 0}})
                                       << QStringList{"", freq[1], "  -82  dBm"};
    QTest::newRow("Freq 1070 dBm") << "Freq" << with(kFreqExample, {{33, 4}, {34, 46}})
                                   << QStringList{"", freq[1], "   0  dBm"};
    QTest::newRow("Freq 1200 dBm") << "Freq" << with(kFreqExample, {{33, 4}, {34, 176}})
                                   << QStringList{"", freq[1], "   13  dBm"};
    QTest::newRow("Freq 86200") << "Freq" << with(kFreqExample, {{24, 1}, {25, 80}, {26, 184}})
                                << QStringList{"", "  862  MHz", freq[2]};
    QTest::newRow("Freq 5530") << "Freq" << with(kFreqExample, {{24, 0}, {25, 21}, {26, 154}})
                               << QStringList{"", "  55.3  MHz", freq[2]};

    const QStringList digi = {"  CHD D45", "  481.8  MHz", "   10  dBmv"};
    QTest::newRow("Digi example") << "Digi" << kDigiExample << digi;
    QTest::newRow("Digi type 0") << "Digi" << with(kDigiExample, {{4, 0}}) << digi;
    QTest::newRow("Digi type 1") << "Digi" << with(kDigiExample, {{4, 1}}) << digi;
    QTest::newRow("Digi type 255") << "Digi" << with(kDigiExample, {{4, 255}}) << digi;
    QTest::newRow("Digi unit 3") << "Digi" << with(kDigiExample, {{1, 3}})
                                 << QStringList{digi[0], digi[1]};
    QTest::newRow("Digi 599 dBmv") << "Digi" << with(kDigiExample, {{33, 2}, {34, 87}})
                                   << QStringList{digi[0], digi[1], "  -0.1  dBmv"};
    QTest::newRow("Digi 1069 dBm") << "Digi" << with(kDigiExample, {{1, 2}, {33, 4}, {34, 45}})
                                   << QStringList{digi[0], digi[1], "  -0.1  dBm"};

    const QStringList volt = {"", " VOLT", " DC   : 12 V", " Batter: 7.5 V"};
    QTest::newRow("Volt example") << "Volt" << kVoltExample << volt;
    QTest::newRow("Volt tie") << "Volt" << PageBytes{}
                              << QStringList{"", " VOLT", " AC    : 0 V", " Batter: 0 V"};
    QTest::newRow("Volt A=1 D=0") << "Volt" << PageBytes{{18, 1}}
                                  << QStringList{"", " VOLT", " DC   : 0 V", " Batter: 0 V"};
    QTest::newRow("Volt A=0 D=600") << "Volt" << PageBytes{{19, 2}, {20, 88}}
                                    << QStringList{"", " VOLT", " AC    : 0 V", " Batter: 0 V"};
    QTest::newRow("Volt A=D=260") << "Volt" << with(kVoltExample, {{19, 1}, {20, 4}})
                                  << QStringList{"", " VOLT", " AC    : 26 V", volt[3]};
    QTest::newRow("Volt largest battery")
        << "Volt" << with(kVoltExample, {{21, 255}, {22, 255}})
        << QStringList{volt[0], volt[1], volt[2], " Batter: 6553.5 V"};
    QTest::newRow("Volt ignores the level fields")
        << "Volt" << with(kVoltExample, {{1, 2}, {4, 1}, {23, 9}, {33, 200}, {34, 7}}) << volt;

    const QStringList cn = {"", "  CHV S08", "  146.04  MHz", "   73  dBuv", "  C/N: 45.2  dB"};
    QTest::newRow("CN example") << "CN" << kCNExample << cn;
    QTest::newRow("CN unit 3") << "CN" << with(kCNExample, {{1, 3}})
                               << QStringList{cn[0], cn[1], cn[2], cn[4]};
    QTest::newRow("CN both codes 3")
        << "CN" << with(kCNExample, {{1, 3}, {4, 3}}) << QStringList{cn[0], cn[2], cn[4]};
    QTest::newRow("CN type 0") << "CN" << with(kCNExample, {{4, 0}})
                               << QStringList{cn[0], "  CHA S08", cn[2], cn[3], cn[4]};
    QTest::newRow("CN zero") << "CN" << with(kCNExample, {{37, 0}, {38, 0}})
                             << QStringList{cn[0], cn[1], cn[2], cn[3], "  C/N: 0  dB"};
    QTest::newRow("CN negative") << "CN" << with(kCNExample, {{37, 255}, {38, 206}})
                                 << QStringList{cn[0], cn[1], cn[2], cn[3], "  C/N:-5  dB"};
    QTest::newRow("CN most negative")
        << "CN" << with(kCNExample, {{37, 128}, {38, 0}})
        << QStringList{cn[0], cn[1], cn[2], cn[3], "  C/N:-3276.8  dB"};
    QTest::newRow("CN most positive")
        << "CN" << with(kCNExample, {{37, 127}, {38, 255}})
        << QStringList{cn[0], cn[1], cn[2], cn[3], "  C/N: 3276.7  dB"};
    QTest::newRow("CN 600 dBmv") << "CN" << with(kCNExample, {{1, 1}, {33, 2}, {34, 88}})
                                 << QStringList{cn[0], cn[1], cn[2], "   0  dBmv", cn[4]};
    QTest::newRow("CN 1070 dBm") << "CN" << with(kCNExample, {{1, 2}, {33, 4}, {34, 46}})
                                 << QStringList{cn[0], cn[1], cn[2], "   0  dBm", cn[4]};

    const QStringList va = {"  CHV C21",         "Video  55.25  MHz", "   80.5  dBuv",
                            "Audio  55.25  MHz", "   70  dBuv",       "  V/A: 15  dB"};
    QTest::newRow("VA example") << "VA" << kVAExample << va;
    QTest::newRow("VA audio offset 100")
        << "VA" << with(kVAExample, {{32, 100}})
        << QStringList{va[0], va[1], va[2], "Audio  56.25  MHz", va[4], va[5]};
    QTest::newRow("VA unit 3 has four lines")
        << "VA" << with(kVAExample, {{1, 3}}) << QStringList{va[0], va[1], va[3], va[5]};
    QTest::newRow("VA floors in dBuv")
        << "VA" << with(kVAExample, {{33, 0}, {34, 0}, {35, 0}, {36, 249}})
        << QStringList{va[0], va[1], "   25  dBuv", va[3], "   25  dBuv", va[5]};
    QTest::newRow("VA floor in dBmv")
        << "VA" << with(kVAExample, {{1, 1}, {33, 0}, {34, 0}})
        << QStringList{va[0], va[1], "  -35  dBmv", va[3], "   10  dBmv", va[5]};
    QTest::newRow("VA floor in dBm")
        << "VA" << with(kVAExample, {{1, 2}, {33, 0}, {34, 0}, {35, 4}, {36, 46}})
        << QStringList{va[0], va[1], "  -82  dBm", va[3], "   0  dBm", va[5]};
    QTest::newRow("VA ratio 0") << "VA" << with(kVAExample, {{37, 0}, {38, 0}})
                                << QStringList{va[0], va[1], va[2], va[3], va[4], "  V/A: 0  dB"};
    QTest::newRow("VA type code 2 still CHV") << "VA" << with(kVAExample, {{4, 2}}) << va;
}

void TextScreensTest::printsTheRecordsLines()
{
    QFETCH(QString, screen);
    QFETCH(PageBytes, bytes);
    QFETCH(QStringList, lines);
    ScreenBench bench;
    bench.setPage(kFirstPage, bytes);
    QVERIFY(rendererNamed(screen)(bench.context, 0));
    QCOMPARE(bench.picture.printedLines(), lines);
    QVERIFY(bench.picture.openLine().isEmpty());
    QCOMPARE(bench.statuses, QStringList{"Page OK "});
    QCOMPARE(bench.reader.requestedPages(), QList<int>{kFirstPage});
}

void TextScreensTest::tiltRows_data()
{
    QTest::addColumn<int>("unitCode");
    QTest::addColumn<PageBytes>("table");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("line");

    // A zone jump shows as a tab in the printed line.
    QTest::newRow("example") << 0 << tiltRow(0, "C21", 0, 3, 85) << 0
                             << " 1     C21  ANAL   85.3 \tdBuv";
    QTest::newRow("row 9 one-digit")
        << 0 << tiltRow(8, "S12", 0, 3, 85) << 8 << " 9     S12  ANAL   85.3 \tdBuv";
    QTest::newRow("row 10 two-digit")
        << 0 << tiltRow(9, "S13", 0, 3, 85) << 9 << " 10    S13  ANAL   85.3 \tdBuv";
    QTest::newRow("row 12 last bytes")
        << 0 << tiltRow(11, "E05", 1, 2, 188) << 11 << " 12    E05  DIGI   70 \tdBuv";
    QTest::newRow("level 0 held at 20")
        << 0 << tiltRow(0, "C21", 0, 0, 0) << 0 << " 1     C21  ANAL   20 \tdBuv";
    QTest::newRow("level 199 held at 20")
        << 0 << tiltRow(0, "C21", 0, 0, 199) << 0 << " 1     C21  ANAL   20 \tdBuv";
    QTest::newRow("level 201 kept")
        << 0 << tiltRow(0, "C21", 0, 0, 201) << 0 << " 1     C21  ANAL   20.1 \tdBuv";
    QTest::newRow("level 65535 held at 120")
        << 0 << tiltRow(0, "C21", 0, 255, 255) << 0 << " 1     C21  ANAL   120 \tdBuv";
    QTest::newRow("dBmv 600") << 1 << tiltRow(0, "C21", 0, 2, 88) << 0
                              << " 1     C21  ANAL   0 \tdBmv";
    QTest::newRow("dBmv 200") << 1 << tiltRow(0, "C21", 0, 0, 200) << 0
                              << " 1     C21  ANAL  -40 \tdBmv";
    QTest::newRow("dBm 853") << 2 << tiltRow(0, "C21", 0, 3, 85) << 0
                             << " 1     C21  ANAL  -21.7 \tdBm";
    QTest::newRow("dBm 1200") << 2 << tiltRow(0, "C21", 0, 4, 176) << 0
                              << " 1     C21  ANAL   13 \tdBm";
    QTest::newRow("kind 1") << 0 << tiltRow(0, "C21", 1, 3, 85) << 0
                            << " 1     C21  DIGI   85.3 \tdBuv";
    QTest::newRow("kind 2") << 0 << tiltRow(0, "C21", 2, 3, 85) << 0
                            << " 1     C21  DIGI   85.3 \tdBuv";
    QTest::newRow("kind 255") << 0 << tiltRow(0, "C21", 255, 3, 85) << 0
                              << " 1     C21  DIGI   85.3 \tdBuv";
    QTest::newRow("empty row") << 0 << PageBytes{} << 4
                               << QString(" 5     ") + QChar(0) + QChar(0) + QChar(0) +
                                      "  ANAL   20 \tdBuv";
}

void TextScreensTest::tiltRows()
{
    QFETCH(int, unitCode);
    QFETCH(PageBytes, table);
    QFETCH(int, row);
    QFETCH(QString, line);
    ScreenBench bench;
    bench.setPage(kFirstPage, {{1, unitCode}});
    bench.setPage(kTablePage, table);
    QVERIFY(DrawTilt(bench.context, 0));
    const QStringList lines = bench.picture.printedLines();
    QCOMPARE(lines.size(), 13);
    QCOMPARE(lines.first(), kTiltHeader);
    QCOMPARE(lines[1 + row], line);
    QVERIFY(bench.picture.openLine().isEmpty());
}

void TextScreensTest::tiltWithoutUnitRunsTheRowsTogether()
{
    ScreenBench bench;
    bench.setPage(kFirstPage, {{1, 3}});
    PageBytes table;
    for (int r = 0; r < 12; ++r)
        table.insert(tiltRow(r, ("A0" + QByteArray::number(r % 10)).constData(), r % 2, 3, 85));
    bench.setPage(kTablePage, table);
    QVERIFY(DrawTilt(bench.context, 0));
    QCOMPARE(bench.picture.printedLines(), QStringList{kTiltHeader});
    QCOMPARE(bench.picture.openLine(), QStringLiteral(" 1     A00  ANAL 2     A01  DIGI"
                                                      " 3     A02  ANAL 4     A03  DIGI"
                                                      " 5     A04  ANAL 6     A05  DIGI"
                                                      " 7     A06  ANAL 8     A07  DIGI"
                                                      " 9     A08  ANAL 10    A09  DIGI"
                                                      " 11    A00  ANAL 12    A01  DIGI"));
}

void TextScreensTest::tiltReadsTheTableAfterPrintingTheHeader()
{
    ScreenBench bench;
    bench.setPage(545, {{1, 0}});
    QVERIFY(DrawTilt(bench.context, 2));
    QCOMPARE(bench.reader.requestedPages(), (QList<int>{545, 548}));
    QCOMPARE(bench.statuses, QStringList{"Page OK "});
}

void TextScreensTest::tiltStopsWhenTheTableDoesNotArrive()
{
    ScreenBench bench;
    bench.reader.failAtRead(1);
    QVERIFY(!DrawTilt(bench.context, 0));
    QCOMPARE(bench.picture.printedLines(), QStringList{kTiltHeader});
    QCOMPARE(bench.statuses, QStringList{"Page OK "});
}

void TextScreensTest::firstDataPageOfTheSlot_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("page");
    for (const char* screen :
         {"Level", "Freq", "Digi", "Spect", "Scan", "Tilt", "Volt", "CN", "VA"}) {
        QTest::addRow("%s slot 0", screen) << screen << 0 << 513;
        QTest::addRow("%s slot 5", screen) << screen << 5 << 593;
        QTest::addRow("%s slot 31", screen) << screen << 31 << 1009;
    }
}

void TextScreensTest::firstDataPageOfTheSlot()
{
    QFETCH(QString, screen);
    QFETCH(int, slot);
    QFETCH(int, page);
    ScreenBench bench;
    QVERIFY(rendererNamed(screen)(bench.context, slot));
    QCOMPARE(bench.reader.requestedPages().first(), page);
}

void TextScreensTest::failedFirstReadChangesNothing_data()
{
    QTest::addColumn<QString>("screen");
    for (const char* screen :
         {"Level", "Freq", "Digi", "Spect", "Scan", "Tilt", "Volt", "CN", "VA"})
        QTest::newRow(screen) << screen;
}

void TextScreensTest::failedFirstReadChangesNothing()
{
    QFETCH(QString, screen);
    ScreenBench bench;
    bench.setPage(kFirstPage, kLevelExample);
    QVERIFY(DrawLevel(bench.context, 0));
    const QImage before = bench.picture.image();
    const QStringList linesBefore = bench.picture.printedLines();
    bench.statuses.clear();

    bench.reader.failAtRead(1);
    QVERIFY(!rendererNamed(screen)(bench.context, 0));
    QCOMPARE(bench.reader.requestedPages().size(), 2);
    QVERIFY(bench.statuses.isEmpty());
    QCOMPARE(bench.picture.image(), before);
    QCOMPARE(bench.picture.printedLines(), linesBefore);
}

QTEST_MAIN(TextScreensTest)
#include "tst_text_screens.moc"
