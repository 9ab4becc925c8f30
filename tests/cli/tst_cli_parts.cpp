// The pieces of cablemeter-cli that work without a meter: the image page reader, the page
// recorder, the download order, the file names, the export's list of files, the CSV fields,
// the list lines on a terminal, the port names and the progress bar.
#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/transfer_progress.h"
#include "export/catalogue_entry.h"
#include "export/export_manifest.h"
#include "export/export_tables.h"
#include "export/picture_file_name.h"
#include "export/record_download.h"
#include "export/record_values.h"
#include "export/recording_page_reader.h"
#include "link/flash_image_reader.h"
#include "sim/demo_image.h"
#include "support/fake_page_reader.h"
#include "support/message_shape.h"
#include "support/special_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace cablemeter;
using namespace cablemeter::cli;
using namespace cablemeter::testing;

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
    void otherNamesAreNotTheExports_data();
    void otherNamesAreNotTheExports();
    void forceRemovesOnlyTheListedFiles();
    void csvFields_data();
    void csvFields();
    void listLinesShowControlCharacters_data();
    void listLinesShowControlCharacters();
    void portNames_data();
    void portNames();
    void progressBar_data();
    void progressBar();
    void progressTellsTheTimeLeftFromTheRecordPhase();
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
    QTest::addColumn<qsizetype>("size");  // -1: no file at all
    QTest::addColumn<QString>("special"); // made in place of the file
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("reason");
    const qsizetype dump = FlashImageReader::kSmallestImageSize;
    const qsizetype largest = FlashImageReader::kLargestImageSize;
    const QString expected = QStringLiteral("whole number of 256-byte pages, from 262144 bytes "
                                            "(pages 0 to 1023) to 8388608 bytes (32768 pages)");
    QTest::newRow("a dump") << dump << QString() << true << QString();
    QTest::newRow("one page more") << dump + kPageSize << QString() << true << QString();
    QTest::newRow("the largest flash") << largest << QString() << true << QString();
    QTest::newRow("missing") << qsizetype(-1) << QString() << false
                             << QStringLiteral("Cannot read");
    QTest::newRow("empty") << qsizetype(0) << QString() << false << "holds 0 bytes";
    QTest::newRow("100 bytes") << qsizetype(100) << QString() << false << "holds 100 bytes";
    QTest::newRow("a byte short of a dump")
        << dump - 1 << QString() << false << "holds 262143 bytes";
    QTest::newRow("not whole pages") << dump + 144 << QString() << false << "holds 262288 bytes";
    QTest::newRow("a page more than any flash")
        << largest + kPageSize << QString() << false << "holds 8388864 bytes";
    for (const QString& kind : specialFileKinds()) {
        if (kind != QLatin1String("dangling link"))
            QTest::newRow(qPrintable(kind))
                << qsizetype(-1) << kind << false << specialFileReason(kind);
    }
    // A refused size is told with the sizes an image may have.
    QTest::newRow("sizes expected") << qsizetype(100) << QString() << false << expected;
}

void CliPartsTest::imageReaderLoadsOnlyFlashImages()
{
    QFETCH(qsizetype, size);
    QFETCH(QString, special);
    QFETCH(bool, loads);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    QString why;
    if (!special.isEmpty() && !makeSpecialFile(special, path, why))
        QSKIP(qPrintable(why));
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
        checkMessageShape(reader.failure(), path, QStringLiteral("run the command again"));
        QCOMPARE(reader.image(), previous);
    }
    if (!special.isEmpty())
        QVERIFY(isStillSpecial(special, path));
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
    // The reader's own message, which names the page, is passed on whole, not wrapped.
    QCOMPARE(download.error().text(), meter.failure().text());
    QVERIFY2(download.error().text().contains(QStringLiteral("514")),
             qPrintable(download.error().text()));
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
    // Stored as it is, the level and unit left empty rather than labelled with a guess.
    QTest::newRow("a unit code without a unit") << 7 << 0 << 700 << -1.0 << ""
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
    QCOMPARE(values.fields.contains("level"), !unit.isEmpty());
    QCOMPARE(values.fields.contains("level_raw_tenths_dbuv"), unit.isEmpty());
    if (unit.isEmpty())
        QCOMPARE(values.fields.value("level_raw_tenths_dbuv").toInt(), storedLevel);
    else
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
    // Names the export wrote are the ones --force may remove later.
    QVERIFY(ExportManifest::isExportFileName(fileName));
}

void CliPartsTest::otherNamesAreNotTheExports_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("the user's notes") << "notes.txt";
    QTest::newRow("the list itself") << "cablemeter-export.txt";
    QTest::newRow("up a folder") << "../slot01-level.png";
    QTest::newRow("in a subfolder") << "sub/slot01-level.png";
    QTest::newRow("absolute") << "/etc/passwd";
    QTest::newRow("a copy of a table") << "records.csv.bak";
    QTest::newRow("three slot digits") << "slot100-level.png";
    QTest::newRow("another extension") << "slot01-level.jpg";
    QTest::newRow("hidden") << ".slot01-level.png";
    QTest::newRow("empty") << "";
}

void CliPartsTest::otherNamesAreNotTheExports()
{
    QFETCH(QString, fileName);
    QVERIFY(!ExportManifest::isExportFileName(fileName));
}

void CliPartsTest::forceRemovesOnlyTheListedFiles()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("export"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
    const auto make = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    };
    const QStringList ours = {QStringLiteral("slot01-level-A.png"), QStringLiteral("records.csv")};
    const QStringList notOurs = {QStringLiteral("notes.txt"), QStringLiteral("slot02-level.png"),
                                 QStringLiteral("sub/slot03-level.png")};
    for (const QString& name : ours + notOurs)
        QVERIFY(make(QDir(folder).filePath(name)));
    QVERIFY(make(dir.filePath(QStringLiteral("slot04-level.png")))); // beside the folder
    // A listed name that is now a link: the link is not what the export wrote.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("slot04-level.png")),
                        QDir(folder).filePath(QStringLiteral("slot05-level.png"))));

    ExportManifest earlier(folder);
    QVERIFY(!earlier.earlierExportPresent());
    for (const QString& name : ours)
        earlier.add(name);
    QString error;
    QVERIFY2(earlier.write(error), qPrintable(error));
    // Lines a hand may have added to the list.
    QFile list(earlier.path());
    QVERIFY(list.open(QIODevice::Append));
    list.write("notes.txt\n../slot04-level.png\nsub/slot03-level.png\nslot05-level.png\n");
    list.close();

    ExportManifest next(folder);
    QVERIFY(next.earlierExportPresent());
    int removed = -1;
    QVERIFY2(next.removeEarlierExport(removed, error), qPrintable(error));
    QCOMPARE(removed, int(ours.size()));
    QVERIFY(!next.earlierExportPresent());
    for (const QString& name : ours)
        QVERIFY2(!QFile::exists(QDir(folder).filePath(name)), qPrintable(name));
    for (const QString& name : notOurs)
        QVERIFY2(QFile::exists(QDir(folder).filePath(name)), qPrintable(name));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("slot04-level.png"))));
    QVERIFY(QFileInfo(QDir(folder).filePath(QStringLiteral("slot05-level.png"))).isSymLink());
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
    // A spreadsheet would run these as formulas: a leading quote, and the cell quoted.
    QTest::newRow("equals") << "=1+2"
                            << "\"'=1+2\"";
    QTest::newRow("at") << "@SUM("
                        << "\"'@SUM(\"";
    QTest::newRow("plus") << "+C21"
                          << "\"'+C21\"";
    QTest::newRow("minus") << "-2+3"
                           << "\"'-2+3\"";
    QTest::newRow("tab first") << "\t=1"
                               << "\"'\t=1\"";
    QTest::newRow("carriage return first") << "\r=1"
                                           << "\"'\r=1\"";
    QTest::newRow("formula with a comma and quotes") << "=HYPERLINK(\"x\",1)"
                                                     << "\"'=HYPERLINK(\"\"x\"\",1)\"";
    QTest::newRow("equals inside") << "A=B"
                                   << "A=B";
}

void CliPartsTest::csvFields()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(csvField(text), field);
}

void CliPartsTest::listLinesShowControlCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("LVL-01  Level") << QStringLiteral("LVL-01  Level");
    QTest::newRow("NUL") << QString(QChar(0)) + QStringLiteral("A") << QStringLiteral("\u2400A");
    QTest::newRow("line feed") << QStringLiteral("A\nB") << QStringLiteral("A\u240AB");
    QTest::newRow("carriage return") << QStringLiteral("A\rB") << QStringLiteral("A\u240DB");
    QTest::newRow("escape sequence") << QStringLiteral("\x1b[2J") << QStringLiteral("\u241B[2J");
    QTest::newRow("tab") << QStringLiteral("\t") << QStringLiteral("\u2409");
    QTest::newRow("unit separator") << QStringLiteral("\x1f") << QStringLiteral("\u241F");
    QTest::newRow("DEL") << QStringLiteral("\x7f") << QStringLiteral("\u2421");
    // What Windows-1252 leaves undefined stays a C1 control.
    QTest::newRow("C1") << QStringLiteral("\u0081\u008D\u008F\u0090\u009D")
                        << QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    QTest::newRow("Windows-1252 letters stay")
        << QStringLiteral("\u20AC\u0178\u00E9") << QStringLiteral("\u20AC\u0178\u00E9");
}

void CliPartsTest::listLinesShowControlCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(withVisibleControlCharacters(text), shown);
}

void CliPartsTest::portNames_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("COM1") << "COM1" << true;
    QTest::newRow("COM4") << "COM4" << true;
    QTest::newRow("a device") << "/dev/ttyUSB0" << true;
    QTest::newRow("a relative path") << "./meter-pty" << true;
    QTest::newRow("a Windows device path") << "\\\\.\\COM5" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank") << " " << false;
    QTest::newRow("COM5") << "COM5" << false;
    QTest::newRow("COM0") << "COM0" << false;
    QTest::newRow("lower case, as Windows users type it") << "com3" << true;
    QTest::newRow("mixed case") << "Com1" << true;
    QTest::newRow("lower case COM5") << "com5" << false;
    QTest::newRow("a bare device name") << "ttyUSB0" << false;
}

void CliPartsTest::portNames()
{
    QFETCH(QString, port);
    QFETCH(bool, accepted);
    const std::optional<QString> problem = portNameProblem(port);
    QCOMPARE(!problem.has_value(), accepted);
    if (problem)
        QVERIFY2(problem->contains(QStringLiteral("COM1 to COM4")), qPrintable(*problem));
}

void CliPartsTest::progressBar_data()
{
    using Phase = TransferProgress::Phase;
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::newRow("catalogue, nothing yet")
        << int(Phase::Catalogue) << 0 << 32 << qint64(0)
        << "catalogue [--------------------]    0/32 pages     0.0 KiB  --- KiB/s";
    QTest::newRow("catalogue, a quarter: no time left told")
        << int(Phase::Catalogue) << 8 << 32 << qint64(4000)
        << "catalogue [#####---------------]    8/32 pages     2.0 KiB    0.5 KiB/s";
    QTest::newRow("records, nothing yet")
        << int(Phase::Records) << 0 << 375 << qint64(0)
        << "records   [--------------------]    0/375 pages     0.0 KiB  --- KiB/s  -:-- left";
    QTest::newRow("records, a quarter")
        << int(Phase::Records) << 100 << 400 << qint64(10000)
        << "records   [#####---------------]  100/400 pages    25.0 KiB    2.5 KiB/s  0:30 left";
    QTest::newRow("minutes left")
        << int(Phase::Records) << 10 << 407 << qint64(1370)
        << "records   [--------------------]   10/407 pages     2.5 KiB    1.8 KiB/s  0:54 left";
    QTest::newRow("done") << int(Phase::Records) << 407 << 407 << qint64(55000)
                          << "records   [####################]  407/407 pages   101.8 KiB    "
                             "1.9 KiB/s  0:00 left";
    QTest::newRow("more done than known")
        << int(Phase::Records) << 50 << 32 << qint64(1000)
        << "records   [####################]   32/32 pages     8.0 KiB    8.0 KiB/s  0:00 left";
}

void CliPartsTest::progressBar()
{
    QFETCH(int, phase);
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    QCOMPARE(TransferProgress::barText(TransferProgress::Phase(phase), done, total, elapsedMs),
             text);
}

// A dump reads the 32 header pages, then learns how many record pages follow: each phase has a
// line of its own, and the time left comes from the record pages' own pace.
void CliPartsTest::progressTellsTheTimeLeftFromTheRecordPhase()
{
    QStringList drawn;
    qint64 now = 0;
    TransferProgress progress(
        true, kSlotCount, [&drawn](const QString& text) { drawn << text; }, [&now] { return now; });
    now = 1000;
    progress.update(1, kSlotCount + 15); // the first slot holds a record
    now = 8000;                          // the catalogue took 8 s: headers are slow here
    progress.update(kSlotCount, kSlotCount + 60);
    now = 9000; // then 4 record pages in 1 s
    progress.update(kSlotCount + 4, kSlotCount + 60);
    progress.finish();

    QCOMPARE(drawn.size(), 5);
    QVERIFY2(drawn[0].startsWith(QStringLiteral("\rcatalogue [")), qPrintable(drawn[0]));
    QVERIFY2(drawn[0].contains(QStringLiteral("   1/32 pages")), qPrintable(drawn[0]));
    QVERIFY2(!drawn[0].contains(QStringLiteral("left")), qPrintable(drawn[0]));
    QVERIFY2(drawn[1].contains(QStringLiteral("  32/32 pages")), qPrintable(drawn[1]));
    QCOMPARE(drawn[2], QStringLiteral("\n")); // the catalogue keeps its line
    QVERIFY2(drawn[3].startsWith(QStringLiteral("\rrecords   [")), qPrintable(drawn[3]));
    // 4 of 60 pages in 1 s: 14 s left; counting the catalogue's 8 s would say far more.
    QVERIFY2(drawn[3].endsWith(QStringLiteral("   4/60 pages     1.0 KiB    1.0 KiB/s  0:14 left")),
             qPrintable(drawn[3]));
    QCOMPARE(drawn[4], QStringLiteral("\n"));
}

QTEST_MAIN(CliPartsTest)
#include "tst_cli_parts.moc"
