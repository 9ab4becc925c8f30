// The pieces of cablemeter-cli that work without a meter: the image page reader, the page
// recorder, the download order, the file names, the CSV fields and the progress bar.
#include "catalogue/renderer_table.h"
#include "cli/catalogue_entry.h"
#include "cli/export_tables.h"
#include "cli/picture_file_name.h"
#include "cli/record_download.h"
#include "cli/record_values.h"
#include "cli/recording_page_reader.h"
#include "cli/transfer_progress.h"
#include "link/flash_image_reader.h"
#include "sim/demo_image.h"
#include "support/fake_page_reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::cli;
using cablemeter::testing::FakePageReader;

namespace {

constexpr int kDeliveredBytes = 254;
constexpr int kDemoListedRecords = 25;

// Byte i of page p is (p * 13 + i) mod 256: a misplaced byte shows.
QByteArray patternImage(int pages, int extraBytes = 0)
{
    QByteArray image(qsizetype(pages) * kPageSize + extraBytes, '\0');
    for (qsizetype i = 0; i < image.size(); ++i)
        image[i] = char((i / kPageSize * 13 + i % kPageSize) & 0xFF);
    return image;
}

// What the meter delivers of page p of the image: bytes 1..254 as stored, or erased past the
// image's end; 255 and 256 never arrive and stay 0.
PageBuffer deliveredPage(const QByteArray& image, int page)
{
    PageBuffer expected{};
    for (int n = 1; n <= kDeliveredBytes; ++n) {
        const qsizetype offset = qsizetype(page) * kPageSize + n - 1;
        expected[n] = offset < image.size() ? std::uint8_t(image[offset]) : 0xFF;
    }
    return expected;
}

QList<int> expectedDemoDumpPages()
{
    QList<int> pages;
    for (int slot = 0; slot < kSlotCount; ++slot)
        pages << headerPage(slot);
    for (const sim::DemoRecord& record : sim::demoRecords()) {
        if (record.kind > 48)
            continue;
        for (int k = 1; k < kPagesPerSlot; ++k)
            pages << dataPage(record.slot, k);
    }
    return pages;
}

} // namespace

class CliPartsTest : public QObject {
    Q_OBJECT
private slots:
    void imageReaderDeliversPagesAsTheMeterDoes_data();
    void imageReaderDeliversPagesAsTheMeterDoes();
    void imageReaderRefusesPagesTheMeterHasNot_data();
    void imageReaderRefusesPagesTheMeterHasNot();
    void imageReaderLoadsOnlyFlashImages_data();
    void imageReaderLoadsOnlyFlashImages();

    void recorderAsksTheMeterOncePerPage();
    void recorderKeepsNothingOfAFailedRead();

    void downloadReadsHeadersThenListedRecords();
    void downloadNamesThePageThatDidNotArrive();
    void downloadStopsWhenAsked();

    void levelValuesFollowTheScreen_data();
    void levelValuesFollowTheScreen();

    void pictureFileNames_data();
    void pictureFileNames();
    void everyRendererHasAScreenName();
    void csvFields_data();
    void csvFields();
    void progressBar_data();
    void progressBar();
};

void CliPartsTest::imageReaderDeliversPagesAsTheMeterDoes_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("page");
    QTest::newRow("first page") << patternImage(4) << 0;
    QTest::newRow("last page of the image") << patternImage(4) << 3;
    QTest::newRow("past the end: erased") << patternImage(4) << 4;
    QTest::newRow("highest page number") << patternImage(4) << 0x7FFF;
    QTest::newRow("page cut off by the image's end") << patternImage(4, 100) << 4;
}

void CliPartsTest::imageReaderDeliversPagesAsTheMeterDoes()
{
    QFETCH(QByteArray, image);
    QFETCH(int, page);
    FlashImageReader reader(image);
    QVERIFY(reader.ReadFlash(page));
    QCOMPARE(reader.pageBuffer(), deliveredPage(image, page));
    QVERIFY(reader.lastError().isEmpty());
}

void CliPartsTest::imageReaderRefusesPagesTheMeterHasNot_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("negative") << -1;
    QTest::newRow("beyond 0x7FFF") << 0x8000;
}

void CliPartsTest::imageReaderRefusesPagesTheMeterHasNot()
{
    QFETCH(int, page);
    FlashImageReader reader(patternImage(2));
    QVERIFY(reader.ReadFlash(1));
    const PageBuffer before = reader.pageBuffer();
    QVERIFY(!reader.ReadFlash(page));
    QVERIFY2(reader.lastError().contains(QString::number(page)), qPrintable(reader.lastError()));
    QCOMPARE(reader.pageBuffer(), before);
}

void CliPartsTest::imageReaderLoadsOnlyFlashImages_data()
{
    QTest::addColumn<qsizetype>("size"); // -1: no file at all
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a dump") << qsizetype(1024 * kPageSize) << true << QString();
    QTest::newRow("a part of a page") << qsizetype(10) << true << QString();
    QTest::newRow("the largest flash") << FlashImageReader::kLargestImageSize << true << QString();
    QTest::newRow("missing") << qsizetype(-1) << false << QStringLiteral("Cannot read");
    QTest::newRow("empty") << qsizetype(0) << false << QStringLiteral("empty");
    QTest::newRow("larger than any flash")
        << FlashImageReader::kLargestImageSize + 1 << false << QStringLiteral("more than");
}

void CliPartsTest::imageReaderLoadsOnlyFlashImages()
{
    QFETCH(qsizetype, size);
    QFETCH(bool, loads);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    if (size >= 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(patternImage(0, int(std::min<qsizetype>(size, 4 * kPageSize))));
        QVERIFY(file.resize(size)); // the rest reads as zeros
    }
    const QByteArray previous = patternImage(1);
    FlashImageReader reader(previous);
    QCOMPARE(reader.load(path), loads);
    if (loads) {
        QCOMPARE(reader.image().size(), size);
        QVERIFY(reader.ReadFlash(0));
        QCOMPARE(reader.pageBuffer(),
                 deliveredPage(patternImage(0, int(std::min<qsizetype>(size, kPageSize))), 0));
    } else {
        QVERIFY2(reader.lastError().contains(reason), qPrintable(reader.lastError()));
        QVERIFY2(reader.lastError().contains(path), qPrintable(reader.lastError()));
        QCOMPARE(reader.image(), previous);
    }
}

void CliPartsTest::recorderAsksTheMeterOncePerPage()
{
    const QByteArray meterImage = patternImage(RecordingPageReader::kImagePages);
    FakePageReader meter(meterImage);
    RecordingPageReader recorder(meter);

    QVERIFY(recorder.ReadFlash(600));
    QVERIFY(recorder.ReadFlash(513));
    QVERIFY(recorder.ReadFlash(600));
    QCOMPARE(recorder.pageBuffer(), deliveredPage(meterImage, 600));
    QCOMPARE(meter.requestedPages(), (QList<int>{600, 513}));
    QCOMPARE(recorder.fetchedPageCount(), 2);
    // Pages past the image are passed through, not kept.
    QVERIFY(recorder.ReadFlash(2000));
    QVERIFY(recorder.ReadFlash(2000));
    QCOMPARE(recorder.fetchedPageCount(), 4);

    // The image holds the read pages as the page buffer held them, everything else erased.
    const QByteArray& image = recorder.image();
    QCOMPARE(image.size(), qsizetype(RecordingPageReader::kImagePages) * kPageSize);
    for (int page = 0; page < RecordingPageReader::kImagePages; ++page) {
        const bool read = page == 513 || page == 600;
        const PageBuffer delivered = deliveredPage(meterImage, page);
        for (int n = 1; n <= kPageSize; ++n) {
            const int expected = read ? delivered[n] : 0xFF;
            const int actual = quint8(image[qsizetype(page) * kPageSize + n - 1]);
            if (actual != expected)
                QFAIL(qPrintable(QStringLiteral("page %1 byte %2: %3, expected %4")
                                     .arg(page)
                                     .arg(n)
                                     .arg(actual)
                                     .arg(expected)));
        }
    }
}

void CliPartsTest::recorderKeepsNothingOfAFailedRead()
{
    FakePageReader meter(patternImage(RecordingPageReader::kImagePages));
    meter.failAtRead(0);
    RecordingPageReader recorder(meter);
    QVERIFY(!recorder.ReadFlash(700));
    QCOMPARE(recorder.lastError(), meter.lastError());
    QCOMPARE(recorder.fetchedPageCount(), 0);
    QVERIFY(recorder.image().mid(700 * kPageSize, kPageSize) == QByteArray(kPageSize, char(0xFF)));
    // The next read of the page asks the meter again.
    QVERIFY(recorder.ReadFlash(700));
    QCOMPARE(meter.requestedPages(), (QList<int>{700, 700}));
}

void CliPartsTest::downloadReadsHeadersThenListedRecords()
{
    FakePageReader meter(sim::makeDemoImage());
    RecordDownload download(meter);
    QList<std::pair<int, int>> progress;
    download.setProgress([&progress](int done, int total) { progress.append({done, total}); });
    QVERIFY(download.readCatalogue());
    QVERIFY(download.readRecords());

    const QList<int> expected = expectedDemoDumpPages();
    QCOMPARE(meter.requestedPages(), expected);
    QCOMPARE(download.entries().size(), kSlotCount);
    QCOMPARE(download.listedEntries().size(), kDemoListedRecords);
    QCOMPARE(download.pageCount(), int(expected.size()));
    QCOMPARE(progress.size(), expected.size());
    QCOMPARE(progress.constLast(), std::make_pair(int(expected.size()), int(expected.size())));
    for (qsizetype i = 0; i < progress.size(); ++i)
        QCOMPARE(progress[i].first, int(i + 1));
}

void CliPartsTest::downloadNamesThePageThatDidNotArrive()
{
    FakePageReader meter(sim::makeDemoImage());
    constexpr int kFirstDataPageRead = kSlotCount + 1; // the second data page of slot 0
    meter.failAtRead(kFirstDataPageRead);
    RecordDownload download(meter);
    QVERIFY(download.readCatalogue());
    QVERIFY(!download.readRecords());
    QVERIFY(!download.wasStopped());
    QVERIFY2(download.error().contains(QStringLiteral("Page 514 of record slot 0")),
             qPrintable(download.error()));
    QVERIFY2(download.error().contains(meter.lastError()), qPrintable(download.error()));
    QCOMPARE(meter.requestedPages().size(), kFirstDataPageRead + 1);
}

void CliPartsTest::downloadStopsWhenAsked()
{
    FakePageReader meter(sim::makeDemoImage());
    RecordDownload download(meter);
    constexpr int kPagesBeforeStop = 5;
    download.setStopRequested([&meter] { return meter.requestedPages().size() >= 5; });
    QVERIFY(!download.readCatalogue());
    QVERIFY(download.wasStopped());
    QVERIFY(download.error().isEmpty());
    QCOMPARE(meter.requestedPages().size(), kPagesBeforeStop);
}

void CliPartsTest::levelValuesFollowTheScreen_data()
{
    QTest::addColumn<int>("unitCode");
    QTest::addColumn<int>("channelType");
    QTest::addColumn<int>("storedLevel"); // tenths of a dB uV
    QTest::addColumn<double>("level");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("channel"); // empty: the screen shows no channel line
    QTest::newRow("dB uV, analogue") << 0 << 0 << 752 << 75.2 << "dBuv"
                                     << "C21";
    QTest::newRow("dB mV, vision") << 1 << 1 << 812 << 21.2 << "dBmv"
                                   << "C21";
    QTest::newRow("dBm, digital") << 2 << 2 << 598 << -47.2 << "dBm"
                                  << "C21";
    QTest::newRow("below the floor") << 0 << 0 << 120 << 25.0 << "dBuv"
                                     << "C21";
    QTest::newRow("a unit code without a unit: dB uV") << 7 << 0 << 700 << 70.0 << "dBuv"
                                                       << "C21";
    QTest::newRow("a channel type without a label") << 0 << 3 << 700 << 70.0 << "dBuv"
                                                    << "";
}

void CliPartsTest::levelValuesFollowTheScreen()
{
    QFETCH(int, unitCode);
    QFETCH(int, channelType);
    QFETCH(int, storedLevel);
    QFETCH(double, level);
    QFETCH(QString, unit);
    QFETCH(QString, channel);
    constexpr int kSlot = 4;
    constexpr int kFrequency = 47125; // 471.25 MHz in 10 kHz units
    PageBuffer page{};
    page[1] = std::uint8_t(unitCode);
    page[4] = std::uint8_t(channelType);
    page[18] = 'C';
    page[19] = '2';
    page[20] = '1';
    page[21] = kFrequency >> 16;
    page[22] = (kFrequency >> 8) & 0xFF;
    page[23] = kFrequency & 0xFF;
    page[33] = std::uint8_t(storedLevel >> 8);
    page[34] = std::uint8_t(storedLevel & 0xFF);
    FakePageReader meter;
    meter.setPage(dataPage(kSlot, 1), page);
    CatalogueEntry entry;
    entry.slot = kSlot;
    entry.kind = 3;

    RecordValues values;
    QVERIFY(decodeRecordValues(meter, entry, values));
    QCOMPARE(meter.requestedPages(), QList<int>{dataPage(kSlot, 1)});
    QCOMPARE(values.fields.value("level").toDouble(), level);
    QCOMPARE(values.fields.value("unit").toString(), unit);
    QCOMPARE(values.fields.value("frequency_mhz").toDouble(), 471.25);
    QCOMPARE(values.fields.value("channel").toString(), channel);
    QCOMPARE(values.fields.contains("channel"), !channel.isEmpty());
    QVERIFY(values.points.isEmpty());
}

void CliPartsTest::pictureFileNames_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("plain") << 7 << 3 << "LVL-01"
                           << "png"
                           << "slot07-level-LVL-01.png";
    QTest::newRow("slash") << 8 << 11 << "V/A-01"
                           << "bmp"
                           << "slot08-va-V_A-01.bmp";
    QTest::newRow("blanks at the end") << 12 << 10 << "CN    "
                                       << "png"
                                       << "slot12-cn-CN.png";
    QTest::newRow("blanks inside") << 31 << 9 << "A B C "
                                   << "png"
                                   << "slot31-volt-A_B_C.png";
    QTest::newRow("no name left") << 0 << 6 << "      "
                                  << "png"
                                  << "slot00-spect.png";
    QTest::newRow("dots") << 1 << 7 << "../../"
                          << "png"
                          << "slot01-scan-______.png";
    QTest::newRow("path and drive characters") << 2 << 8 << "C:\\*?<"
                                               << "png"
                                               << "slot02-tilt-C_____.png";
    QTest::newRow("not ASCII") << 3 << 4 << QStringLiteral("Z\u00fcrich") << "png"
                               << "slot03-freq-Z_rich.png";
    QTest::newRow("control character") << 4 << 5 << QStringLiteral("A\tB\nC") << "png"
                                       << "slot04-digi-A_B_C.png";
}

void CliPartsTest::pictureFileNames()
{
    QFETCH(int, slot);
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QString, format);
    QFETCH(QString, fileName);
    QCOMPARE(pictureFileName(slot, kind, name, format), fileName);
}

void CliPartsTest::everyRendererHasAScreenName()
{
    const RendererTable renderers = standardRenderers();
    for (int kind = 0; kind <= 255; ++kind)
        QVERIFY2(screenName(kind).isEmpty() != renderers.contains(kind),
                 qPrintable(QStringLiteral("kind %1").arg(kind)));
}

void CliPartsTest::csvFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "LVL-01"
                           << "LVL-01";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("comma") << "A,B"
                           << "\"A,B\"";
    QTest::newRow("quote") << "5\" TV"
                           << "\"5\"\" TV\"";
    QTest::newRow("line break") << "A\nB"
                                << "\"A\nB\"";
    QTest::newRow("carriage return") << "A\rB"
                                     << "\"A\rB\"";
}

void CliPartsTest::csvFields()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(csvField(text), field);
}

void CliPartsTest::progressBar_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing yet") << 0 << 407 << qint64(0)
                                 << "[--------------------]    0/407 pages     0.0 KiB  --- KiB/s  "
                                    "-:-- left";
    QTest::newRow("a quarter") << 100 << 400 << qint64(10000)
                               << "[#####---------------]  100/400 pages    25.0 KiB    2.5 KiB/s  "
                                  "0:30 left";
    QTest::newRow("minutes left")
        << 10 << 407 << qint64(1370)
        << "[--------------------]   10/407 pages     2.5 KiB    1.8 KiB/s  "
           "0:54 left";
    QTest::newRow("done") << 407 << 407 << qint64(55000)
                          << "[####################]  407/407 pages   101.8 KiB    1.9 KiB/s  "
                             "0:00 left";
    QTest::newRow("more done than known") << 50 << 32 << qint64(1000)
                                          << "[####################]   32/32 pages     8.0 KiB    "
                                             "8.0 KiB/s  0:00 left";
}

void CliPartsTest::progressBar()
{
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    QCOMPARE(TransferProgress::barText(done, total, elapsedMs), text);
}

QTEST_MAIN(CliPartsTest)
#include "tst_cli_parts.moc"
