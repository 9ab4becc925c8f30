// The report's parts without the meter: each record kind as the list, the pictures and the report
// show it, the limits file and its mistakes, the checks of records against it with the meter's own
// unit conversion and the screens' floors and clamps, the reading of records, and the HTML's
// escaping and self-contained pictures.
#include "export/limits.h"
#include "export/picture_file_name.h"
#include "export/report_document.h"
#include "export/report_reading.h"
#include "export/report_text.h"
#include "export/screen_drawing.h"
#include "sim/demo_image.h"
#include "support/fake_page_reader.h"

#include <QRegularExpression>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::testing;

namespace {

constexpr int kTiltSlot = 5;
constexpr int kFlooredLevelSlot = 31;
constexpr int kNoUnitSlot = 13;
constexpr int kHostileNameSlot = 0;
constexpr int kScreens = 22;
const QByteArray kHostileName("<b>&\"'");
// A record list line: six name characters, two blanks, then the five-character label.
constexpr int kLabelStart = 8;
constexpr int kLabelLength = 5;

// Page byte N of page p sits at offset 256 * p + N - 1.
void putByte(QByteArray& image, int page, int pageByte, int value)
{
    image[qsizetype(page) * kPageSize + pageByte - 1] = char(value);
}

// The demo meter with a level below the screens' floor, a tilt row above the table's range, a
// level record whose unit code names no unit and a name that HTML would act on.
QByteArray testImage()
{
    QByteArray image = sim::makeDemoImage();
    putByte(image, dataPage(kFlooredLevelSlot, 1), 33, 0);
    putByte(image, dataPage(kFlooredLevelSlot, 1), 34, 100);
    putByte(image, dataPage(kTiltSlot, 4), 14, 0x05); // row 1: 1300, shown as 120.0 dB uV
    putByte(image, dataPage(kTiltSlot, 4), 15, 0x14);
    putByte(image, dataPage(kNoUnitSlot, 1), 1, 7);
    for (int i = 0; i < kHostileName.size(); ++i)
        putByte(image, headerPage(kHostileNameSlot), 3 + i, kHostileName.at(i));
    return image;
}

QList<ReportedRecord> readRecords(const QByteArray& image, const Limits& limits = {})
{
    FakePageReader reader(image);
    ReportReading reading(reader, QImage(), limits);
    if (!reading.read())
        qWarning("%s", qPrintable(reading.error().text()));
    return reading.records();
}

const ReportedRecord* recordInSlot(const QList<ReportedRecord>& records, int slot)
{
    for (const ReportedRecord& record : records) {
        if (record.entry.slot == slot)
            return &record;
    }
    return nullptr;
}

} // namespace

class ReportPartsTest : public QObject {
    Q_OBJECT

private slots:
    void everyKindIsListedDrawnAndReported_data();
    void everyKindIsListedDrawnAndReported();
    void limitsMistakesNameTheLine_data();
    void limitsMistakesNameTheLine();
    void limitLevelsUseTheMetersConversion_data();
    void limitLevelsUseTheMetersConversion();
    void exampleLimitsParse();
    void limitsFileIsReadOnlyAsText();
    void recordsGetTheirVerdicts_data();
    void recordsGetTheirVerdicts();
    void readingStopsOrNamesTheSlot();
    void htmlIsSelfContainedAndEscaped();
};

void ReportPartsTest::everyKindIsListedDrawnAndReported_data()
{
    // One demo record of each kind code that has a label of its own, and one with a blank label.
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("listLabel");
    QTest::addColumn<QString>("summaryKind"); // the kind in the report's summary
    QTest::addColumn<QString>("picture");     // empty: no screen
    QTest::addColumn<QString>("mainValues");
    QTest::addColumn<QStringList>("valuesHeader");
    QTest::addColumn<int>("valuesRows");
    QTest::addColumn<QStringList>("firstCells"); // of the first rows of the values table

    const QStringList quantity = {"Quantity", "Value"};
    QTest::newRow("2 Level without a screen")
        << 10 << 2 << "Level"
        << "Level" << QString() << QString() << quantity << 0 << QStringList();
    QTest::newRow("3 Level") << 22 << 3 << "Level"
                             << "Level"
                             << "slot22-level-LVL-04.png"
                             << "C60, 783.25 MHz, 88.3 dBuv" << quantity << 3
                             << QStringList{"Channel", "Frequency", "Level"};
    QTest::newRow("4 Freq") << 1 << 4 << "Freq "
                            << "Freq"
                            << "slot01-freq-FRQ-01.png"
                            << "612.00 MHz, -38.6 dBm" << quantity << 2
                            << QStringList{"Frequency", "Level"};
    QTest::newRow("5 Digi") << 2 << 5 << "Digi "
                            << "Digi"
                            << "slot02-digi-DIG-01.png"
                            << "D45, 666.00 MHz, 1.5 dBmv" << quantity << 3
                            << QStringList{"Channel", "Frequency", "Level"};
    QTest::newRow("6 Spect") << 3 << 6 << "Spect"
                             << "Spect"
                             << "slot03-spect-SPC-01.png"
                             << "381 points, 26.8 to 82.0 dBuv" << QStringList{"Point", "dBuv"}
                             << 381 << QStringList{"1", "2"};
    QTest::newRow("7 Scan") << 4 << 7 << "Scan "
                            << "Scan"
                            << "slot04-scan-SCN-01.png"
                            << "100 channels, 23.1 to 80.0 dBuv" << QStringList{"Channel", "dBuv"}
                            << 100 << QStringList{"1", "2"};
    QTest::newRow("8 Title, the tilt record")
        << 17 << 8 << "Title"
        << "Title (tilt)"
        << "slot17-tilt-TLT-02.png"
        << "12 rows, 9.4 to 26.6 dBmv" << QStringList{"Row", "Channel", "Type", "dBmv"} << 12
        << QStringList{"1", "2"};
    QTest::newRow("9 Volt") << 6 << 9 << "Volt "
                            << "Volt"
                            << "slot06-volt-VLT-01.png"
                            << "AC 65.2 V, DC 0.3 V, Battery 7.4 V" << quantity << 3
                            << QStringList{"AC", "DC", "Battery"};
    QTest::newRow("10 C/N") << 7 << 10 << "C/N  "
                            << "C/N"
                            << "slot07-cn-CNR-01.png"
                            << "S08, 154.25 MHz, 73.8 dBuv, C/N 45.2 dB" << quantity << 4
                            << QStringList{"Channel", "Frequency", "Level", "C/N"};
    QTest::newRow("11 V/A") << 8 << 11 << "V/A  "
                            << "V/A"
                            << "slot08-va-V_A-01.png"
                            << "E05, 175.25 MHz, 78.1 dBuv, Audio frequency 177.75 MHz, Audio "
                               "level 65.1 dBuv, V/A 13.0 dB"
                            << quantity << 6
                            << QStringList{"Channel",         "Frequency",   "Level",
                                           "Audio frequency", "Audio level", "V/A"};
    QTest::newRow("12 Auto") << 9 << 12 << "Auto "
                             << "Auto" << QString() << QString() << quantity << 0 << QStringList();
    QTest::newRow("20 blank label")
        << 14 << 20 << "     "
        << "kind 20" << QString() << QString() << quantity << 0 << QStringList();
}

void ReportPartsTest::everyKindIsListedDrawnAndReported()
{
    QFETCH(int, slot);
    QFETCH(int, kind);
    QFETCH(QString, listLabel);
    QFETCH(QString, summaryKind);
    QFETCH(QString, picture);
    QFETCH(QString, mainValues);
    QFETCH(QStringList, valuesHeader);
    QFETCH(int, valuesRows);
    QFETCH(QStringList, firstCells);
    const QList<ReportedRecord> records = readRecords(sim::makeDemoImage());
    const ReportedRecord* record = recordInSlot(records, slot);
    QVERIFY(record);
    QCOMPARE(record->entry.kind, kind);

    QCOMPARE(record->entry.line.mid(kLabelStart, kLabelLength), listLabel);
    QCOMPARE(kindText(*record), summaryKind);
    QCOMPARE(record->screen.isNull(), picture.isEmpty());
    QCOMPARE(ScreenDrawing(QImage()).hasScreen(kind), !picture.isEmpty());
    if (!picture.isEmpty())
        QCOMPARE(pictureFileName(slot, kind, record->entry.name, QStringLiteral("png")), picture);
    QCOMPARE(mainValuesText(*record), mainValues);
    const TextTable table = valuesTable(*record);
    QCOMPARE(table.header, valuesHeader);
    QCOMPARE(table.rows.size(), valuesRows);
    for (qsizetype row = 0; row < firstCells.size(); ++row)
        QCOMPARE(table.rows.at(row).value(0), firstCells.at(row));
}

void ReportPartsTest::limitsMistakesNameTheLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("says");
    QTest::newRow("unknown key") << "[level]\n# min\nlevel minimum = 60 dBuV" << 3
                                 << "no limit \"level minimum\"";
    QTest::newRow("key of another kind") << "[c/n]\nlevel min = 60 dBuV" << 2 << "c/n min";
    QTest::newRow("kind without limits") << "\n[spect]" << 2 << "no record kind";
    QTest::newRow("limit before a section") << "level min = 60 dBuV" << 1 << "before any";
    QTest::newRow("no unit") << "[c/n]\nc/n min = 43" << 2 << "needs its unit";
    QTest::newRow("level in dB") << "[level]\nlevel max = 80 dB" << 2 << "dBuV, dBmV or dBm";
    QTest::newRow("ratio in dBuV") << "[v/a]\nv/a min = 10 dBuV" << 2 << "its unit is dB";
    QTest::newRow("hundredths") << "[level]\nlevel min = 60.25 dBuV" << 2 << "one decimal";
    QTest::newRow("not a number") << "[volt]\nac min = forty V" << 2 << "not a number";
    QTest::newRow("channel type where none") << "[freq digital]" << 1 << "no channel type";
    QTest::newRow("unknown channel type") << "[level hybrid]" << 1 << "analogue or digital";
    QTest::newRow("section twice") << "[tilt]\ntilt max = 3 dB\n[TILT]" << 3 << "line 1";
    QTest::newRow("key twice") << "[volt]\nac min = 1 V\nac min = 2 V" << 3 << "line 2";
    QTest::newRow("minimum above maximum")
        << "[level]\nlevel max = 20 dBmV\nlevel min = 90 dBuV" << 3 << "above level max";
    QTest::newRow("neither section nor limit") << "[level]\nlevel min 60 dBuV" << 2 << "neither";
    QTest::newRow("unclosed section") << "[level" << 1 << "closing";
    QTest::newRow("negative voltage") << "[volt]\nbattery min = -1 V" << 2 << "negative";
}

void ReportPartsTest::limitsMistakesNameTheLine()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, says);
    QString error;
    QVERIFY(!parseLimits(text, error));
    QVERIFY2(error.startsWith(QStringLiteral("line %1: ").arg(line)), qPrintable(error));
    QVERIFY2(error.contains(says), qPrintable(error));
}

void ReportPartsTest::limitLevelsUseTheMetersConversion_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("tenthsOfDbuv");
    QTest::newRow("dBuV") << "75 dBuV" << 750;
    QTest::newRow("micro sign, any case") << "75.0 DB\u00b5v" << 750;
    QTest::newRow("dBmV is dBuV - 60") << "15 dBmV" << 750;
    QTest::newRow("dBm is dBuV - 107") << "-32 dBm" << 750;
    QTest::newRow("tenths") << "-0.1 dBmV" << 599;
}

void ReportPartsTest::limitLevelsUseTheMetersConversion()
{
    QFETCH(QString, value);
    QFETCH(int, tenthsOfDbuv);
    QString error;
    const std::optional<Limits> limits =
        parseLimits(QStringLiteral("[level]\nlevel min = %1  # comment").arg(value), error);
    QVERIFY2(limits, qPrintable(error));
    QCOMPARE(limits->sections.size(), 1);
    QCOMPARE(limits->sections[0].limits.value(0).tenths, tenthsOfDbuv);
}

void ReportPartsTest::exampleLimitsParse()
{
    const QString path =
        QStringLiteral(CABLEMETER_TEST_DATA "/../../packaging/data/example-limits.txt");
    Limits limits;
    QString error;
    QCOMPARE(loadLimits(path, limits, error), LimitsLoading::Loaded);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(limits.sections.size(), 10);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().contains("EXAMPLE"));
}

void ReportPartsTest::limitsFileIsReadOnlyAsText()
{
    QTemporaryDir folder;
    Limits limits;
    QString error;
    QCOMPARE(loadLimits(folder.path(), limits, error), LimitsLoading::Unreadable);
    QVERIFY2(error.contains(folder.path()), qPrintable(error));
    const QString binary = folder.filePath(QStringLiteral("limits.txt"));
    QFile file(binary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[level]\nlevel min = 60 dBuV \xff\xfe\n");
    file.close();
    QCOMPARE(loadLimits(binary, limits, error), LimitsLoading::Mistaken);
    QVERIFY2(error.contains(QStringLiteral("UTF-8")), qPrintable(error));
}

void ReportPartsTest::recordsGetTheirVerdicts_data()
{
    QTest::addColumn<QString>("limits");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("value");

    QTest::newRow("level within") << "[level analogue]\nlevel min = 60 dBuV" << 0 << "PASS"
                                  << "75.2 dBuv";
    QTest::newRow("level above") << "[level analogue]\nlevel max = 80 dBuV" << 22
                                 << "FAIL: level max (analogue) 80.0 dBuv"
                                 << "88.3 dBuv";
    QTest::newRow("limit shown in the record's unit")
        << "[level]\nlevel max = 20 dBmV" << 12 << "FAIL: level max 20.0 dBmv"
        << "21.2 dBmv";
    QTest::newRow("limit in another unit")
        << "[level]\nlevel max = 80 dBuV" << 12 << "FAIL: level max 20.0 dBmv (80 dBuV as written)"
        << "21.2 dBmv";
    QTest::newRow("dBm record at its minimum") << "[freq]\nlevel min = 68.4 dBuV" << 1 << "PASS"
                                               << "-38.6 dBm";
    QTest::newRow("dBm record just below")
        << "[freq]\nlevel min = -38.5 dBm" << 1 << "FAIL: level min -38.5 dBm"
        << "-38.6 dBm";
    QTest::newRow("other channel type") << "[level digital]\nlevel min = 60 dBuV" << 0 << "-"
                                        << "";
    QTest::newRow("floored level passes nothing")
        << "[level]\nlevel min = 20 dBuV" << kFlooredLevelSlot
        << "true value unknown: level min 20.0 dBuv"
        << "25.0 dBuv";
    QTest::newRow("floored level fails nothing")
        << "[level]\nlevel min = 60 dBuV" << kFlooredLevelSlot << "true value unknown"
        << "25.0 dBuv";
    QTest::newRow("unit code without a unit")
        << "[level]\nlevel min = 0 dBuV" << kNoUnitSlot << "true value unknown"
        << "not shown";
    QTest::newRow("tilt over analogue rows")
        << "[tilt analogue]\ntilt max = 12 dB" << 17 << "FAIL: tilt max (analogue) 12.0 dB"
        << "12.1 dB (row 1 C21 to row 12 C60)";
    QTest::newRow("tilt at its maximum") << "[tilt analogue]\ntilt max = 12.1 dB" << 17 << "PASS"
                                         << "12.1 dB (row 1 C21 to row 12 C60)";
    QTest::newRow("tilt over digital rows") << "[tilt digital]\ntilt max = 6.6 dB" << 17 << "PASS"
                                            << "6.6 dB (row 5 D33 to row 11 D52)";
    QTest::newRow("tilt with a held row")
        << "[tilt]\ntilt max = 50 dB" << kTiltSlot << "true value unknown"
        << "";
    QTest::newRow("tilt row above maximum")
        << "[tilt]\nlevel max = 75 dBuV" << 17 << "FAIL: level max 15.0 dBmv (75 dBuV as written)"
        << "26.6 dBmv (row 12 C60)";
    QTest::newRow("tilt row held passes no maximum")
        << "[tilt]\nlevel max = 125 dBuV" << kTiltSlot << "true value unknown"
        << "";
    QTest::newRow("C/N within") << "[c/n]\nc/n min = 43 dB" << 7 << "PASS"
                                << "45.2 dB";
    QTest::newRow("C/N negative") << "[c/n]\nc/n min = 43 dB" << 26 << "FAIL: c/n min 43.0 dB"
                                  << "-2.3 dB";
    QTest::newRow("C/N of the other type") << "[c/n digital]\nc/n min = 43 dB" << 7 << "-"
                                           << "";
    QTest::newRow("C/N digital") << "[c/n digital]\nc/n min = 43 dB" << 18 << "FAIL"
                                 << "38.4 dB";
    QTest::newRow("V/A ratio low") << "[v/a]\nv/a min = 13.5 dB" << 8 << "FAIL"
                                   << "13.0 dB";
    QTest::newRow("V/A ratio within") << "[v/a]\nv/a min = 13.5 dB" << 19 << "PASS"
                                      << "13.6 dB";
    QTest::newRow("audio carrier low") << "[v/a]\nlevel min = 70 dBuV" << 8 << "FAIL"
                                       << "65.1 dBuv (audio carrier)";
    QTest::newRow("line voltage missing") << "[volt]\nac min = 40 V" << 21 << "FAIL"
                                          << "0.0 V";
    QTest::newRow("line voltage there") << "[volt]\nac min = 40 V" << 6 << "PASS"
                                        << "65.2 V";
    QTest::newRow("battery low") << "[volt]\nbattery min = 7 V" << 21 << "FAIL"
                                 << "6.9 V";
    QTest::newRow("scan's empty channels")
        << "[scan]\nlevel min = 24 dBuV" << 4 << "FAIL: level min 24.0 dBuv"
        << "";
    QTest::newRow("frequency record") << "[freq]\nlevel min = 50 dBuV" << 1 << "PASS"
                                      << "-38.6 dBm";
}

void ReportPartsTest::recordsGetTheirVerdicts()
{
    QFETCH(QString, limits);
    QFETCH(int, slot);
    QFETCH(QString, verdict);
    QFETCH(QString, value);
    QString error;
    const std::optional<Limits> parsed = parseLimits(limits, error);
    QVERIFY2(parsed, qPrintable(error));
    const QList<ReportedRecord> records = readRecords(testImage(), *parsed);
    const ReportedRecord* record = recordInSlot(records, slot);
    QVERIFY(record);
    const QString actual = recordVerdict(record->checks);
    QVERIFY2(actual.startsWith(verdict), qPrintable(actual));
    if (!value.isEmpty())
        QCOMPARE(record->checks.value(0).value, value);
    if (verdict.startsWith(QLatin1String("true value unknown")))
        QVERIFY2(record->checks.value(0).note.contains(QLatin1String("unknown")),
                 qPrintable(record->checks.value(0).note));
}

void ReportPartsTest::readingStopsOrNamesTheSlot()
{
    FakePageReader reader(sim::makeDemoImage());
    int asked = 0;
    ReportReading stopped(reader, QImage(), {});
    stopped.setStopRequested([&asked] { return ++asked > kSlotCount + 3; });
    QVERIFY(!stopped.read());
    QVERIFY(stopped.wasStopped());
    QVERIFY(stopped.error().isEmpty());

    FakePageReader failing(sim::makeDemoImage());
    failing.failAtRead(kSlotCount + 1); // a page of the first record
    ReportReading reading(failing, QImage(), {});
    QVERIFY(!reading.read());
    QVERIFY(!reading.wasStopped());
    QCOMPARE(reading.error().text(), failing.failure().text());
    QVERIFY2(reading.error().text().contains(QStringLiteral("page 513 did not arrive")),
             qPrintable(reading.error().text()));
}

void ReportPartsTest::htmlIsSelfContainedAndEscaped()
{
    const QList<ReportedRecord> records = readRecords(testImage());
    ReportHeading heading;
    heading.title = QStringLiteral("Site <12> & \"north\"");
    const QString html = QString::fromUtf8(htmlReport(heading, records));

    QVERIFY(html.contains(QStringLiteral("Site &lt;12&gt; &amp; &quot;north&quot;")));
    QVERIFY(!html.contains(QStringLiteral("<12>")));
    QVERIFY(html.contains(QStringLiteral("&lt;b&gt;&amp;&quot;'")));
    QVERIFY(!html.contains(QString::fromLatin1(kHostileName)));
    QVERIFY(html.contains(QStringLiteral("image-rendering: pixelated")));

    static const QRegularExpression reference(QStringLiteral("(src|href)\\s*=\\s*\"([^\"]*)\""));
    int pictures = 0;
    for (const QRegularExpressionMatch& match : reference.globalMatch(html)) {
        const QString target = match.captured(2);
        if (match.captured(1) == QLatin1String("href")) {
            QVERIFY2(target.startsWith(QLatin1Char('#')), qPrintable(target));
            continue;
        }
        QVERIFY2(target.startsWith(QStringLiteral("data:image/png;base64,")),
                 qPrintable(target.left(80)));
        const QImage shown = QImage::fromData(
            QByteArray::fromBase64(target.section(QLatin1Char(','), 1).toLatin1()), "PNG");
        const ReportedRecord& record = records[0];
        if (pictures == 0)
            QCOMPARE(shown.convertToFormat(QImage::Format_RGB32),
                     pixelScaled(record.screen, 2).convertToFormat(QImage::Format_RGB32));
        ++pictures;
    }
    QCOMPARE(pictures, kScreens);
    QVERIFY(!html.contains(QStringLiteral("url(")));
}

QTEST_MAIN(ReportPartsTest)
#include "tst_report_parts.moc"
