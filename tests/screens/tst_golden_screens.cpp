// Every screen drawn from fixed pages on the real background, compared pixel for pixel with the
// pictures in golden/. CABLEMETER_UPDATE_GOLDEN=1 writes the pictures anew instead.
#include "screen_bench.h"

#include "screens/background_picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

constexpr int kSlot = 3;
constexpr int kFirstPage = 512 + 16 * kSlot + 1;

// Pages of the record in slot 3 by data page number (1 = first data page).
using RecordPages = QMap<int, PageBytes>;

PageBytes graphPage(int firstPoint, int count, int (*value)(int))
{
    PageBytes bytes;
    for (int p = 0; p < count; ++p) {
        const int v = value(firstPoint + p);
        bytes.insert(2 * p + 1, v / 256);
        bytes.insert(2 * p + 2, v % 256);
    }
    return bytes;
}

// A scan with levels from 25 to 115 dB µV, and one overflowing channel.
int scanValue(int p)
{
    return p == 50 ? 1210 : 250 + (p * 97) % 900;
}

// A spectrum: a noise floor around 28 dB µV with a carrier every 24 points.
int spectrumValue(int i)
{
    const int carrier[] = {0, 350, 600, 350};
    const int offset = i % 24;
    return 240 + (i * 37) % 90 + (offset < 4 ? carrier[offset] : 0);
}

PageBytes tiltTable()
{
    const char* names[] = {"S10", "S11", "C21", "C22", "C23", "C24",
                           "C25", "C26", "C27", "D45", "D46", "E05"};
    const int levels[] = {853, 862, 790, 801, 745, 1200, 0, 655, 702, 918, 888, 1000};
    PageBytes bytes;
    for (int r = 0; r < 12; ++r) {
        const int base = 16 * r;
        for (int i = 0; i < 3; ++i)
            bytes.insert(base + 2 + i, names[r][i]);
        bytes.insert(base + 11, r >= 9 ? 1 : 0);
        bytes.insert(base + 14, levels[r] / 256);
        bytes.insert(base + 15, levels[r] % 256);
    }
    return bytes;
}

QString goldenPath(const QString& screen)
{
    return QStringLiteral(CABLEMETER_TEST_DATA "/golden/%1.png").arg(screen.toLower());
}

} // namespace

class GoldenScreensTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void screenMatchesItsGolden_data();
    void screenMatchesItsGolden();

private:
    QImage m_background;
};

void GoldenScreensTest::initTestCase()
{
    const BackgroundPicture background =
        loadBackgroundPicture(QCoreApplication::applicationDirPath() + "/ZNull.ovl");
    QVERIFY2(background.error.isEmpty(), qPrintable(background.error));
    QCOMPARE(background.image.size(), QSize(Picture::kWidth, Picture::kHeight));
    m_background = background.image;
}

void GoldenScreensTest::screenMatchesItsGolden_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<RecordPages>("pages");
    QTest::newRow("Level") << "Level"
                           << RecordPages{{1,
                                           {{1, 0},
                                            {4, 0},
                                            {18, 'C'},
                                            {19, '2'},
                                            {20, '1'},
                                            {21, 0},
                                            {22, 21},
                                            {23, 149},
                                            {33, 3},
                                            {34, 37}}}};
    QTest::newRow("Freq")
        << "Freq"
        << RecordPages{{1, {{1, 2}, {24, 255}, {25, 255}, {26, 255}, {33, 2}, {34, 238}}}};
    QTest::newRow("Digi") << "Digi"
                          << RecordPages{{1,
                                          {{1, 1},
                                           {18, 'D'},
                                           {19, '4'},
                                           {20, '5'},
                                           {21, 0},
                                           {22, 188},
                                           {23, 52},
                                           {33, 2},
                                           {34, 188}}}};
    QTest::newRow("Volt") << "Volt"
                          << RecordPages{
                                 {1, {{17, 1}, {18, 4}, {19, 0}, {20, 120}, {21, 255}, {22, 255}}}};
    QTest::newRow("CN") << "CN"
                        << RecordPages{{1,
                                        {{1, 0},
                                         {4, 1},
                                         {18, 'S'},
                                         {19, '0'},
                                         {20, '8'},
                                         {21, 0},
                                         {22, 57},
                                         {23, 12},
                                         {33, 255},
                                         {34, 255},
                                         {37, 128},
                                         {38, 0}}}};
    QTest::newRow("VA") << "VA"
                        << RecordPages{{1,
                                        {{1, 1},
                                         {18, 0x80},
                                         {19, 'E'},
                                         {20, 0x9F},
                                         {21, 1},
                                         {22, 80},
                                         {23, 24},
                                         {32, 255},
                                         {33, 0},
                                         {34, 0},
                                         {35, 2},
                                         {36, 188},
                                         {37, 255},
                                         {38, 255}}}};
    QTest::newRow("Tilt") << "Tilt" << RecordPages{{1, {{1, 1}}}, {4, tiltTable()}};
    QTest::newRow("Scan") << "Scan" << RecordPages{{1, {}}, {4, graphPage(0, 100, scanValue)}};
    QTest::newRow("Spect") << "Spect"
                           << RecordPages{{1, {}},
                                          {4, graphPage(0, 127, spectrumValue)},
                                          {5, graphPage(127, 127, spectrumValue)},
                                          {6, graphPage(254, 127, spectrumValue)}};
}

void GoldenScreensTest::screenMatchesItsGolden()
{
    QFETCH(QString, screen);
    QFETCH(RecordPages, pages);
    ScreenBench bench;
    for (auto it = pages.cbegin(); it != pages.cend(); ++it)
        bench.setPage(kFirstPage - 1 + it.key(), it.value());
    bench.picture.setBackground(m_background);
    QVERIFY(rendererNamed(screen)(bench.context, kSlot));
    const QImage actual = bench.picture.image().convertToFormat(QImage::Format_RGB32);

    const QString golden = goldenPath(screen);
    if (qEnvironmentVariableIntValue("CABLEMETER_UPDATE_GOLDEN") == 1) {
        QVERIFY2(actual.save(golden, "PNG"), qPrintable(golden));
        QSKIP(qPrintable("wrote " + golden));
    }
    const QImage expected = QImage(golden).convertToFormat(QImage::Format_RGB32);
    if (actual != expected) {
        const QString output =
            QStringLiteral(CABLEMETER_TEST_OUTPUT "/%1-actual.png").arg(screen.toLower());
        actual.save(output, "PNG");
        QFAIL(qPrintable(QStringLiteral("%1 differs from %2; this run drew %3")
                             .arg(screen, QDir::toNativeSeparators(golden), output)));
    }
}

QTEST_MAIN(GoldenScreensTest)
#include "tst_golden_screens.moc"
