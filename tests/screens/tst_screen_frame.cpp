// The shared parts of the screens: number text, the common fields with the level floor and the
// unit conversion, and the screen picture the renderers draw on.
#include "screen_bench.h"

#include "screens/number_text.h"
#include "screens/record_fields.h"
#include "screens/screen_printer.h"

#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

class ScreenFrameTest : public QObject {
    Q_OBJECT
private slots:
    void numberText_data();
    void numberText();

    void levelLine_data();
    void levelLine();
    void frequencyLine_data();
    void frequencyLine();
    void channelNameKeepsEveryByte_data();
    void channelNameKeepsEveryByte();

    void printMovesAlongTheLineAndNewLineDown();
    void printZonesAreCountedFromTheLeftEdge();
    void clearReturnsToTheBackground();
    void linesAreClippedToThePicture();
    void everyDrawingIsAnnounced();
    void fontSizeIsTakenAt96Dpi();

    void tiltFitsTheScreen();
    void widestFrequencyFitsAt26Points();
};

void ScreenFrameTest::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("801 / 10") << 801 / 10.0 << " 80.1 ";
    QTest::newRow("805 / 10") << 805 / 10.0 << " 80.5 ";
    QTest::newRow("zero") << 0.0 << " 0 ";
    QTest::newRow("whole") << 86200 / 100.0 << " 862 ";
    QTest::newRow("trailing zero dropped") << 5530 / 100.0 << " 55.3 ";
    QTest::newRow("two decimals") << 5525 / 100.0 << " 55.25 ";
    QTest::newRow("largest frequency") << 16777215 / 100.0 << " 167772.15 ";
    QTest::newRow("largest level") << 65535 / 10.0 << " 6553.5 ";
    QTest::newRow("half") << 0.5 << " 0.5 ";
    QTest::newRow("minus a tenth") << -1 / 10.0 << "-0.1 ";
    QTest::newRow("negative whole") << (250 - 600) / 10.0 << "-35 ";
    QTest::newRow("negative decimals") << (853 - 1070) / 10.0 << "-21.7 ";
    QTest::newRow("negative zero") << -0.0 << " 0 ";
    QTest::newRow("fifteen digits") << 1.0 / 3.0 << " 0.333333333333333 ";
    QTest::newRow("rounded at fifteen digits") << 2.0 / 3.0 << " 0.666666666666667 ";
}

void ScreenFrameTest::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(cablemeter::numberText(value), text);
}

void ScreenFrameTest::levelLine_data()
{
    QTest::addColumn<int>("unitCode");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<QString>("line");
    QTest::newRow("dBuv 801") << 0 << 3 << 33 << "   80.1  dBuv";
    QTest::newRow("dBmv 600 is zero") << 1 << 2 << 88 << "   0  dBmv";
    QTest::newRow("dBmv 599") << 1 << 2 << 87 << "  -0.1  dBmv";
    QTest::newRow("dBm 1070 is zero") << 2 << 4 << 46 << "   0  dBm";
    QTest::newRow("no upper limit") << 0 << 255 << 255 << "   6553.5  dBuv";
    QTest::newRow("floor in dBuv") << 0 << 0 << 0 << "   25  dBuv";
    QTest::newRow("floor before dBmv") << 1 << 0 << 0 << "  -35  dBmv";
    QTest::newRow("floor before dBm") << 2 << 0 << 0 << "  -82  dBm";
    QTest::newRow("249 raised") << 0 << 0 << 249 << "   25  dBuv";
    QTest::newRow("250 kept") << 0 << 0 << 250 << "   25  dBuv";
    QTest::newRow("251 kept") << 0 << 0 << 251 << "   25.1  dBuv";
}

void ScreenFrameTest::levelLine()
{
    QFETCH(int, unitCode);
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(QString, line);
    const CommonFields fields = decodeCommonFields(pageOf({{1, unitCode}, {33, high}, {34, low}}));
    ScreenPicture picture;
    ScreenPrinter(picture).levelLine(fields.unitCode, fields.level);
    QCOMPARE(picture.printedLines(), QStringList{line});
}

void ScreenFrameTest::frequencyLine_data()
{
    QTest::addColumn<PageBytes>("bytes");
    QTest::addColumn<QString>("line");
    QTest::newRow("0") << PageBytes{} << "  0  MHz";
    QTest::newRow("5525") << PageBytes{{22, 21}, {23, 149}} << "  55.25  MHz";
    QTest::newRow("16777215") << PageBytes{{21, 255}, {22, 255}, {23, 255}} << "  167772.15  MHz";
    QTest::newRow("50 is half a MHz") << PageBytes{{23, 50}} << "  0.5  MHz";
}

void ScreenFrameTest::frequencyLine()
{
    QFETCH(PageBytes, bytes);
    QFETCH(QString, line);
    ScreenPicture picture;
    ScreenPrinter(picture).frequencyLine(decodeCommonFields(pageOf(bytes)).frequency);
    QCOMPARE(picture.printedLines(), QStringList{line});
}

void ScreenFrameTest::channelNameKeepsEveryByte_data()
{
    QTest::addColumn<PageBytes>("bytes");
    QTest::addColumn<QString>("name");
    QTest::newRow("ASCII") << PageBytes{{18, 'C'}, {19, '2'}, {20, '1'}} << "C21";
    QTest::newRow("spaces kept") << PageBytes{{18, ' '}, {19, 'A'}, {20, ' '}} << " A ";
    QTest::newRow("zero bytes kept") << PageBytes{{19, 'x'}} << QString(QChar(0)) + "x" + QChar(0);
    QTest::newRow("euro, quote, Y diaeresis")
        << PageBytes{{18, 0x80}, {19, 0x92}, {20, 0x9F}} << QString::fromUtf8("€’Ÿ");
    QTest::newRow("undefined codes stay themselves")
        << PageBytes{{18, 0x81}, {19, 0x8D}, {20, 0x9D}}
        << QString(QChar(0x81)) + QChar(0x8D) + QChar(0x9D);
    QTest::newRow("Latin-1 above 0x9F")
        << PageBytes{{18, 0xA0}, {19, 0xE9}, {20, 0xFF}} << QString::fromUtf8("\u00A0éÿ");
}

void ScreenFrameTest::channelNameKeepsEveryByte()
{
    QFETCH(PageBytes, bytes);
    QFETCH(QString, name);
    QCOMPARE(decodeCommonFields(pageOf(bytes)).channelName, name);
}

void ScreenFrameTest::printMovesAlongTheLineAndNewLineDown()
{
    ScreenPicture picture;
    picture.setFontSize(26);
    picture.setBold(true);
    picture.print("CH");
    picture.print("A");
    QCOMPARE(picture.textPosition().y(), 0.0);
    QVERIFY(picture.textPosition().x() > 0);
    QCOMPARE(picture.openLine(), QStringLiteral("CHA"));
    picture.newLine();
    picture.newLine();
    QCOMPARE(picture.textPosition(), QPointF(0, 2 * picture.lineHeight()));
    QCOMPARE(picture.printedLines(), (QStringList{"CHA", ""}));
    QVERIFY(picture.openLine().isEmpty());
}

void ScreenFrameTest::printZonesAreCountedFromTheLeftEdge()
{
    ScreenPicture picture;
    picture.setFontSize(13);
    const double zone = picture.printZoneWidth();
    QVERIFY(zone > 0);
    picture.nextPrintZone();
    QCOMPARE(picture.textPosition().x(), zone);
    picture.print("x");
    picture.nextPrintZone();
    QCOMPARE(picture.textPosition().x(), 2 * zone);
    picture.newLine();
    QCOMPARE(picture.printedLines(), QStringList{"\tx\t"});
}

void ScreenFrameTest::clearReturnsToTheBackground()
{
    QImage background(Picture::kWidth, Picture::kHeight, QImage::Format_RGB32);
    background.fill(QColor(10, 20, 30));
    ScreenPicture picture;
    picture.setBackground(background);
    // The ground changes only when the picture is cleared.
    QVERIFY(picture.image().pixelColor(5, 5) != QColor(10, 20, 30));
    picture.clear();
    picture.setFontSize(26);
    picture.print("88888");
    picture.drawLine({0, 100}, {319, 100}, Qt::red);
    QVERIFY(picture.image() != background);
    picture.newLine();

    picture.clear();
    QCOMPARE(picture.image().convertToFormat(QImage::Format_RGB32), background);
    QCOMPARE(picture.textPosition(), QPointF(0, 0));
    QVERIFY(picture.printedLines().isEmpty());
    QVERIFY(picture.drawnLines().isEmpty());
}

void ScreenFrameTest::linesAreClippedToThePicture()
{
    ScreenPicture picture;
    picture.clear();
    picture.drawLine({-50, 120}, {400, 120}, QColor(80, 255, 80));
    picture.drawLine({10, -5}, {10, 500}, QColor(80, 255, 80));
    const QImage image = picture.image();
    QCOMPARE(image.size(), QSize(Picture::kWidth, Picture::kHeight));
    QCOMPARE(image.pixelColor(0, 120), QColor(80, 255, 80));
    QCOMPARE(image.pixelColor(319, 120), QColor(80, 255, 80));
    QCOMPARE(image.pixelColor(10, 0), QColor(80, 255, 80));
    QCOMPARE(image.pixelColor(10, 239), QColor(80, 255, 80));
    QCOMPARE(picture.drawnLines().size(), 2);
    QCOMPARE(picture.drawnLines().first(),
             (DrawnLine{{-50, 120}, {400, 120}, QColor(80, 255, 80)}));
}

void ScreenFrameTest::everyDrawingIsAnnounced()
{
    ScreenPicture picture;
    QSignalSpy changed(&picture, &ScreenPicture::changed);
    picture.clear();
    picture.print("A");
    picture.drawLine({1, 1}, {2, 2}, Qt::black);
    QCOMPARE(changed.count(), 3);
}

void ScreenFrameTest::fontSizeIsTakenAt96Dpi()
{
    // 26 points at 96 dpi are 34.67 pixels, whatever resolution the screen reports.
    ScreenPicture picture;
    picture.setFontSize(26);
    const QImage image = picture.image();
    QCOMPARE(QFontMetricsF(picture.font(), &image).fontDpi(), 96.0);
    QVERIFY(picture.lineHeight() >= 30 && picture.lineHeight() <= 40);
}

void ScreenFrameTest::tiltFitsTheScreen()
{
    // The Tilt screen: a header and twelve rows at 13 points, bold.
    ScreenPicture picture;
    picture.setFontSize(13);
    picture.setBold(true);
    QVERIFY2(13 * picture.lineHeight() <= Picture::kHeight,
             qPrintable(QString::number(picture.lineHeight())));
    // A row's number, name, kind and level end before the third print zone, and the widest
    // unit there still ends inside the picture.
    const QImage image = picture.image();
    const QFontMetricsF metrics(picture.font(), &image);
    const double zone = picture.printZoneWidth();
    for (const QString start : {" 10    C21  DIGI  -21.7 ", " 12    S40  DIGI   120 "})
        QVERIFY2(metrics.horizontalAdvance(start) < 2 * zone, qPrintable(start));
    for (const QString unit : {"dBuv", "dBmv", "dBm"})
        QVERIFY2(2 * zone + metrics.horizontalAdvance(unit) <= Picture::kWidth, qPrintable(unit));
}

void ScreenFrameTest::widestFrequencyFitsAt26Points()
{
    ScreenPicture picture;
    picture.setFontSize(26);
    picture.setBold(true);
    picture.print(" 167772.15  MHz");
    QVERIFY2(picture.textPosition().x() <= Picture::kWidth,
             qPrintable(QString::number(picture.textPosition().x())));
}

QTEST_MAIN(ScreenFrameTest)
#include "tst_screen_frame.moc"
