// cablemeter-cli as a technician runs it, against the simulated meter on a pseudo-terminal: dump
// the demo meter, serve the dump with a second meter, export from it and from the dump file, and
// compare with the window's golden pictures and with the demo meter's own description of its
// records. Also the catalogue, Ctrl-C, a silent meter, a missing device and mistakes, names that
// are not files, names a spreadsheet or a terminal would act on, and exports into one folder.
#include "catalogue/record_catalogue.h"
#include "cli_process.h"
#include "link/page.h"
#include "platform/screen_picture.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"
#include "support/fake_page_reader.h"
#include "support/fake_window_controls.h"
#include "support/full_disk.h"
#include "support/message_shape.h"
#include "support/small_disk.h"
#include "support/special_files.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <linux/serial.h>
#include <memory>
#include <tuple>

using namespace cablemeter;
using namespace cablemeter::testing;
using namespace std::chrono_literals;
using sim::DemoRecord;
using sim::MeterSimulator;
using sim::Pacing;
using sim::ReplyFault;

namespace {

const QString kGoldenFolder = QStringLiteral(CABLEMETER_GOLDEN);
constexpr int kDeliveredBytes = 254;
constexpr int kHighestListedKind = 48;
constexpr int kGoldenPictures = 22;
constexpr int kExitMeterFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitPortNotOpened = 3;
constexpr int kExitFileFailed = 4;
constexpr int kExitEarlierExport = 5;
const QString kManifest = QStringLiteral("cablemeter-export.txt");
const QString kWriteFailureShim = QStringLiteral(CABLEMETER_WRITE_FAILURE_SHIM);
const QString kNoSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
constexpr int kAllButTheList = -1;

// The kinds of the demo meter, and which of them the window draws.
enum Kind { kLevel = 3, kFreq, kDigi, kSpect, kScan, kTilt, kVolt, kCN, kVA };
bool hasScreen(int kind)
{
    return kind >= kLevel && kind <= kVA;
}

// A level in tenths of a dB uV, in the unit of a unit code: 0 dB mV is 60 dB uV, 0 dBm 107 dB uV.
double levelInUnit(int tenths, int unit)
{
    static const int zero[] = {0, 600, 1070};
    return (tenths - zero[unit]) / 10.0;
}
QString unitName(int unit)
{
    static const char* const names[] = {"dBuv", "dBmv", "dBm"};
    return QString::fromLatin1(names[unit]);
}

using Row = QMap<QString, QString>;

QList<Row> csvRows(const QByteArray& text)
{
    QList<Row> rows;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return rows;
    const QStringList header = lines.constFirst().split(QLatin1Char(','));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines.at(i).split(QLatin1Char(','));
        Row row;
        for (qsizetype c = 0; c < header.size(); ++c)
            row[header.at(c)] = cells.value(c);
        row[QStringLiteral("#cells")] = QString::number(cells.size() - header.size());
        rows.append(row);
    }
    return rows;
}

QString jsonText(const QJsonValue& value)
{
    return value.isDouble() ? QString::number(value.toDouble(), 'g', 17) : value.toString();
}

Row jsonRow(const QJsonObject& object)
{
    Row row;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isArray())
            row[it.key()] = jsonText(it.value());
    }
    row[QStringLiteral("#cells")] = QStringLiteral("0");
    return row;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString stampOf(const DemoRecord& record)
{
    const auto& s = record.stamp;
    return QString::asprintf("%02d/%02d/%02d %02d:%02d:%02d", s[0], s[1], s[2], s[3], s[4], s[5]);
}

// What the tables must say of a demo record: its values by column (numbers and texts apart);
// every other value column stays empty.
struct ExpectedRecord {
    QMap<QString, double> numbers;
    QMap<QString, QString> texts;
};

ExpectedRecord expectedRecord(const DemoRecord& record)
{
    ExpectedRecord expected;
    auto level = [&](const QString& column, int tenths) {
        expected.numbers[column] = levelInUnit(tenths, record.unit);
        expected.texts[QStringLiteral("unit")] = unitName(record.unit);
    };
    const QString channel = QString::fromLatin1(record.channel);
    switch (record.kind) {
    case kLevel:
    case kDigi:
    case kFreq:
    case kCN:
        if (record.kind != kFreq)
            expected.texts[QStringLiteral("channel")] = channel;
        expected.numbers[QStringLiteral("frequency_mhz")] = record.frequency / 100.0;
        level(QStringLiteral("level"), record.level);
        if (record.kind == kCN)
            expected.numbers[QStringLiteral("cn_db")] = record.carrierToNoise / 10.0;
        break;
    case kVA:
        expected.texts[QStringLiteral("channel")] = channel;
        expected.numbers[QStringLiteral("frequency_mhz")] = record.frequency / 100.0;
        level(QStringLiteral("level"), record.level);
        expected.numbers[QStringLiteral("audio_frequency_mhz")] =
            (record.frequency + record.audioOffset) / 100.0;
        level(QStringLiteral("audio_level"), record.audioLevel);
        expected.numbers[QStringLiteral("va_db")] = record.ratio / 10.0;
        break;
    case kVolt:
        expected.numbers[QStringLiteral("ac_v")] = record.acVoltage / 10.0;
        expected.numbers[QStringLiteral("dc_v")] = record.dcVoltage / 10.0;
        expected.numbers[QStringLiteral("battery_v")] = record.batteryVoltage / 10.0;
        break;
    case kTilt:
    case kScan:
    case kSpect:
        expected.texts[QStringLiteral("unit")] = unitName(record.unit);
        break;
    default:
        break;
    }
    return expected;
}

// One row per tilt row, scan channel or spectrum point, numbered from 1.
QList<Row> expectedPoints(const DemoRecord& record)
{
    QList<Row> points;
    auto point = [&](int index, double value, const QString& unit) {
        Row row{{QStringLiteral("slot"), QString::number(record.slot)},
                {QStringLiteral("kind"), QString::number(record.kind)},
                {QStringLiteral("index"), QString::number(index)},
                {QStringLiteral("value"), QString::number(value, 'g', 17)},
                {QStringLiteral("unit"), unit}};
        points.append(row);
    };
    for (int i = 0; i < record.tilt.size(); ++i) {
        point(i + 1, levelInUnit(record.tilt[i].level, record.unit), unitName(record.unit));
        points.last()[QStringLiteral("channel")] = QString::fromLatin1(record.tilt[i].channel);
        points.last()[QStringLiteral("type")] =
            record.tilt[i].digital ? QStringLiteral("digital") : QStringLiteral("analogue");
    }
    const QList<int>& graph = record.kind == kScan ? record.scan : record.spectrum;
    for (int i = 0; i < graph.size(); ++i)
        point(i + 1, graph[i] / 10.0, QStringLiteral("dBuv"));
    return points;
}

const QStringList kValueColumns = {
    QStringLiteral("channel"),     QStringLiteral("frequency_mhz"),
    QStringLiteral("level"),       QStringLiteral("unit"),
    QStringLiteral("cn_db"),       QStringLiteral("audio_frequency_mhz"),
    QStringLiteral("audio_level"), QStringLiteral("va_db"),
    QStringLiteral("ac_v"),        QStringLiteral("dc_v"),
    QStringLiteral("battery_v")};

void verifyRecordRow(const DemoRecord& demo, const Row& row)
{
    QCOMPARE(row.value(QStringLiteral("#cells")), QStringLiteral("0"));
    QCOMPARE(row.value(QStringLiteral("slot")), QString::number(demo.slot));
    QCOMPARE(row.value(QStringLiteral("name")), QString::fromLatin1(demo.name));
    QCOMPARE(row.value(QStringLiteral("kind")), QString::number(demo.kind));
    QCOMPARE(row.value(QStringLiteral("stamp")), stampOf(demo));
    const ExpectedRecord expected = expectedRecord(demo);
    for (const QString& column : kValueColumns) {
        const QString cell = row.value(column);
        if (expected.numbers.contains(column)) {
            bool isNumber = false;
            const double value = cell.toDouble(&isNumber);
            QVERIFY2(isNumber, qPrintable(column + QStringLiteral(": ") + cell));
            QCOMPARE(value, expected.numbers.value(column));
        } else {
            QCOMPARE(cell, expected.texts.value(column));
        }
    }
}

void verifyPointRow(const Row& expected, const Row& actual)
{
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (it.key() == QLatin1String("value"))
            QCOMPARE(actual.value(it.key()).toDouble(), it.value().toDouble());
        else
            QCOMPARE(actual.value(it.key()), it.value());
    }
}

void verifyPicture(const QString& path, int slot)
{
    const QImage actual = QImage(path).convertToFormat(QImage::Format_RGB32);
    QVERIFY2(!actual.isNull(), qPrintable(path));
    const QString golden =
        kGoldenFolder + QStringLiteral("/slot%1.png").arg(slot, 2, 10, QLatin1Char('0'));
    const QImage expected = QImage(golden).convertToFormat(QImage::Format_RGB32);
    QVERIFY2(!expected.isNull(), qPrintable(golden));
    QVERIFY2(actual == expected, qPrintable(path + QStringLiteral(" differs from ") + golden));
}

// The records of an export, with the pictures they name and their points, checked against the
// demo meter's description and the window's pictures.
void verifyExport(const QString& folder, const QList<Row>& records, const QList<Row>& points,
                  const QString& pictureSuffix)
{
    QList<DemoRecord> listed;
    for (const DemoRecord& record : sim::demoRecords()) {
        if (record.kind <= kHighestListedKind)
            listed.append(record);
    }
    QCOMPARE(records.size(), listed.size());
    QList<Row> allExpectedPoints;
    for (qsizetype i = 0; i < listed.size(); ++i) {
        const DemoRecord& demo = listed.at(i);
        verifyRecordRow(demo, records.at(i));
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("record in slot %1").arg(demo.slot)));
        const QString picture = records.at(i).value(QStringLiteral("picture"));
        if (!hasScreen(demo.kind)) {
            QVERIFY(picture.isEmpty());
            continue;
        }
        QVERIFY2(
            picture.startsWith(QStringLiteral("slot%1-").arg(demo.slot, 2, 10, QLatin1Char('0'))) &&
                picture.endsWith(pictureSuffix),
            qPrintable(picture));
        verifyPicture(QDir(folder).filePath(picture), demo.slot);
        allExpectedPoints += expectedPoints(demo);
    }
    const QStringList pictures =
        QDir(folder).entryList({QStringLiteral("*") + pictureSuffix}, QDir::Files);
    QCOMPARE(pictures.size(), kGoldenPictures);

    QCOMPARE(points.size(), allExpectedPoints.size());
    for (qsizetype i = 0; i < points.size(); ++i) {
        verifyPointRow(allExpectedPoints.at(i), points.at(i));
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("point row %1").arg(i)));
    }
}

QStringList folderEntries(const QString& folder)
{
    QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                 QDir::Hidden | QDir::System);
    entries.sort();
    return entries;
}

QStringList manifestNames(const QString& folder)
{
    QStringList names;
    for (const QString& line : QString::fromUtf8(fileBytes(folder + QLatin1Char('/') + kManifest))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(QLatin1Char('#')))
            names << line;
    }
    names.sort();
    return names;
}

// The demo meter with names a spreadsheet or a terminal would act on, and a level record whose
// unit code names no unit.
struct HostileMeter {
    QByteArray image = sim::makeDemoImage();
    int formulaSlot = -1;
    int atSlot = -1;
    int controlSlot = -1;
    int unknownUnitSlot = -1;
    int unknownUnitLevel = 0;

    HostileMeter()
    {
        constexpr int kUnknownUnitCode = 7;
        constexpr int kLevelFloor = 250;
        QList<int> listed;
        for (const DemoRecord& record : sim::demoRecords()) {
            if (record.kind <= kHighestListedKind)
                listed << record.slot;
            if (record.kind == kLevel && unknownUnitSlot < 0) {
                unknownUnitSlot = record.slot;
                unknownUnitLevel = std::max(record.level, kLevelFloor);
            }
        }
        formulaSlot = listed.at(0);
        atSlot = listed.at(1);
        controlSlot = listed.at(2);
        setName(formulaSlot, QByteArray("=1+2  "));
        setName(atSlot, QByteArray("@SUM(1"));
        setName(controlSlot, QByteArray("\0\n\x1b[\x7f\x81", 6));
        image[qsizetype(dataPage(unknownUnitSlot, 1)) * kPageSize] = char(kUnknownUnitCode);
    }
    void setName(int slot, const QByteArray& name)
    {
        constexpr int kNameOffset = 2;
        image.replace(qsizetype(headerPage(slot)) * kPageSize + kNameOffset, name.size(), name);
    }
};

std::unique_ptr<MeterSimulator> startedMeter(const QByteArray& image, Pacing pacing,
                                             const ReplyFault& fault = ReplyFault::none(),
                                             const sim::MeterTraits& traits = {})
{
    auto meter = std::make_unique<MeterSimulator>(image, pacing);
    meter->setFault(fault);
    meter->setTraits(traits);
    if (!meter->start())
        qWarning("simulator: %s", qPrintable(meter->errorString()));
    return meter;
}

} // namespace

class CliWithMeterTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dumpHoldsTheReadPagesAndNothingElse();
    void exportFromTheServedDumpDrawsAsTheWindow();
    void exportFromTheDumpFileDrawsAsTheWindow();
    void catalogueWritesTheWindowsFileAndLines();
    void interruptedRunLeavesNoFile_data();
    void interruptedRunLeavesNoFile();
    void silentMeterIsNamedWithPageAndDevice();
    void catalogueFromAGlitchingMeter_data();
    void catalogueFromAGlitchingMeter();
    void missingDeviceGetsAdvice();
    void commandLineMistakes_data();
    void commandLineMistakes();
    void qtSaysNothingOfItsStartUpButItsProblems();
    void namesThatAreNotFilesAreRefused_data();
    void namesThatAreNotFilesAreRefused();
    void listLinesKeepTheirWidthWhateverTheNames();
    void tablesAreSafeForSpreadsheetsAndHonestAboutUnits();
    void secondExportNeedsForceAndRemovesOnlyItsOwnFiles();
    void exportChecksEveryNameBeforeItWrites_data();
    void exportChecksEveryNameBeforeItWrites();
    void fullDiskLeavesNothingHalfWritten_data();
    void fullDiskLeavesNothingHalfWritten();
    void portsShowTheWindowsMapping();

private:
    QString folder(const QString& name) const;

    QTemporaryDir m_dir;
    QByteArray m_demoImage = sim::makeDemoImage();
    QString m_dumpPath;
    QList<int> m_dumpedPages;
};

QString CliWithMeterTest::folder(const QString& name) const
{
    const QString path = m_dir.filePath(name);
    QDir().mkpath(path);
    return path;
}

void CliWithMeterTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const auto meter = startedMeter(m_demoImage, Pacing::Unpaced);
    QVERIFY(meter->isRunning());
    m_dumpPath = m_dir.filePath(QStringLiteral("meter.bin"));
    const CliRun run = runCli({QStringLiteral("dump"), QStringLiteral("--port"),
                               meter->devicePath(), QStringLiteral("--out"), m_dumpPath});
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
    m_dumpedPages = meter->requestedPages();
}

void CliWithMeterTest::dumpHoldsTheReadPagesAndNothingElse()
{
    // The header of every slot, then the 15 data pages of every listed record, each once.
    QList<int> expectedPages;
    for (int slot = 0; slot < kSlotCount; ++slot)
        expectedPages << headerPage(slot);
    for (const DemoRecord& record : sim::demoRecords()) {
        if (record.kind <= kHighestListedKind) {
            for (int k = 1; k < kPagesPerSlot; ++k)
                expectedPages << dataPage(record.slot, k);
        }
    }
    QCOMPARE(m_dumpedPages, expectedPages);

    const QByteArray dump = fileBytes(m_dumpPath);
    QCOMPARE(dump.size(), qsizetype(sim::kDemoImagePages) * kPageSize);
    const QSet<int> read(m_dumpedPages.begin(), m_dumpedPages.end());
    for (int page = 0; page < sim::kDemoImagePages; ++page) {
        const qsizetype start = qsizetype(page) * kPageSize;
        QByteArray expected(kPageSize, char(0xFF));
        if (read.contains(page))
            expected = m_demoImage.mid(start, kDeliveredBytes) + QByteArray(2, '\0');
        QVERIFY2(dump.mid(start, kPageSize) == expected,
                 qPrintable(QStringLiteral("page %1").arg(page)));
    }
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("meter.bin")});
}

void CliWithMeterTest::exportFromTheServedDumpDrawsAsTheWindow()
{
    const auto meter = startedMeter(fileBytes(m_dumpPath), Pacing::Unpaced);
    QVERIFY(meter->isRunning());
    const QString out = m_dir.filePath(QStringLiteral("from-meter"));
    const CliRun run = runCli({QStringLiteral("export"), QStringLiteral("--port"),
                               meter->devicePath(), QStringLiteral("--dir"), out});
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));

    verifyExport(out, csvRows(fileBytes(out + QStringLiteral("/records.csv"))),
                 csvRows(fileBytes(out + QStringLiteral("/points.csv"))), QStringLiteral(".png"));
    // Every file written is named on stdout; the list of them comes last, unnamed.
    QCOMPARE(run.outputLines().size(), kGoldenPictures + 2);
    QCOMPARE(manifestNames(out).size(), kGoldenPictures + 2);
    // Drawing and decoding a record read its pages from the meter once.
    const QList<int> pages = meter->requestedPages();
    QCOMPARE(QSet<int>(pages.begin(), pages.end()).size(), pages.size());
}

void CliWithMeterTest::exportFromTheDumpFileDrawsAsTheWindow()
{
    const QString out = m_dir.filePath(QStringLiteral("from-file"));
    const CliRun run = runCli({QStringLiteral("export"), QStringLiteral("--image"), m_dumpPath,
                               QStringLiteral("--dir"), out, QStringLiteral("--format"),
                               QStringLiteral("bmp"), QStringLiteral("--json")});
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
    QVERIFY(!QFile::exists(out + QStringLiteral("/records.csv")));

    const QJsonDocument document =
        QJsonDocument::fromJson(fileBytes(out + QStringLiteral("/records.json")));
    QList<Row> records;
    QList<Row> points;
    for (const QJsonValue& record : document.object().value(QStringLiteral("records")).toArray()) {
        records.append(jsonRow(record.toObject()));
        for (const QJsonValue& point :
             record.toObject().value(QStringLiteral("points")).toArray()) {
            Row row = jsonRow(point.toObject());
            row[QStringLiteral("slot")] = records.last().value(QStringLiteral("slot"));
            row[QStringLiteral("kind")] = records.last().value(QStringLiteral("kind"));
            points.append(row);
        }
    }
    verifyExport(out, records, points, QStringLiteral(".bmp"));
    const QString aPicture = out + QLatin1Char('/') + records.constFirst().value("picture");
    QVERIFY(fileBytes(aPicture).startsWith("BM"));
}

void CliWithMeterTest::catalogueWritesTheWindowsFileAndLines()
{
    const auto meter = startedMeter(m_demoImage, Pacing::Unpaced);
    const QString workFolder = folder(QStringLiteral("catalogue"));
    const CliRun run = runCli(
        {QStringLiteral("catalogue"), QStringLiteral("--port"), meter->devicePath()}, workFolder);
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));

    // Block n: page bytes 1 to 254 of slot n's header page, then the two bytes that never
    // arrive (0); one 0 byte after the last block.
    QByteArray expectedFile;
    for (int slot = 0; slot < kSlotCount; ++slot)
        expectedFile += m_demoImage.mid(qsizetype(headerPage(slot)) * kPageSize, kDeliveredBytes) +
                        QByteArray(2, '\0');
    expectedFile += '\0';
    QVERIFY(fileBytes(workFolder + QStringLiteral("/MeterDat.dat")) == expectedFile);

    // The lines the window lists for the same meter.
    FakeWindowControls window;
    FakePageReader windowMeter(m_demoImage);
    ScreenPicture picture;
    QTemporaryDir windowFolder;
    RecordCatalogue catalogue(window, windowMeter, picture,
                              windowFolder.filePath(QStringLiteral("MeterDat.dat")));
    catalogue.Command7_Click();
    QVERIFY(window.errors.isEmpty());
    QCOMPARE(run.outputLines(), window.lines);
    QVERIFY2(run.standardError.contains(QStringLiteral("Read Files ...")),
             qPrintable(run.standardError));
}

void CliWithMeterTest::interruptedRunLeavesNoFile_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("dump, Ctrl-C") << "dump" << SIGINT;
    QTest::newRow("dump, terminated") << "dump" << SIGTERM;
    QTest::newRow("export, Ctrl-C") << "export" << SIGINT;
}

void CliWithMeterTest::interruptedRunLeavesNoFile()
{
    QFETCH(QString, command);
    QFETCH(int, signalNumber);
    constexpr int kPagesBeforeInterrupt = 5;
    const auto meter = startedMeter(m_demoImage, Pacing::Uart);
    const QString out = folder(QStringLiteral("interrupted-") + QTest::currentDataTag());
    const QString exportFolder = out + QStringLiteral("/export");

    // A driver that takes low-latency mode (played by the preloaded ioctl recorder): the program
    // must leave it as it found it, also when it is stopped by a signal.
    const QString ioctlLog = out + QStringLiteral("-ioctl.log");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(CABLEMETER_IOCTL_RECORDER));
    environment.insert(QStringLiteral("CABLEMETER_IOCTL_LOG"), ioctlLog);
    environment.insert(QStringLiteral("CABLEMETER_IOCTL_ACCEPT"), QStringLiteral("1"));
    environment.remove(QStringLiteral("ASAN_OPTIONS")); // the recorder comes first, which is fine
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
    QProcess cli;
    cli.setProcessEnvironment(environment);
    if (command == QLatin1String("dump"))
        startCli(cli, {command, QStringLiteral("--port"), meter->devicePath(),
                       QStringLiteral("--out"), out + QStringLiteral("/meter.bin")});
    else
        startCli(cli, {command, QStringLiteral("--port"), meter->devicePath(),
                       QStringLiteral("--dir"), exportFolder});
    QVERIFY(cli.waitForStarted());
    QVERIFY(meter->waitForHandledPageRequests(kPagesBeforeInterrupt, 20s));
    // Mid-dump the file is not there yet; mid-export the first pictures are.
    QVERIFY(!QFile::exists(out + QStringLiteral("/meter.bin")));
    if (command == QLatin1String("export"))
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(exportFolder).entryList(QDir::Files).isEmpty(), 60000);

    ::kill(pid_t(cli.processId()), signalNumber);
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 128 + signalNumber);
    QVERIFY(
        QString::fromLocal8Bit(cli.readAllStandardError()).contains(QStringLiteral("interrupted")));
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QVERIFY(cli.readAllStandardOutput().isEmpty());
    if (command == QLatin1String("dump"))
        QVERIFY(meter->requestedPages().size() < kSlotCount);
    const QString lowLatency = QString::number(0x0004 | ASYNC_LOW_LATENCY, 16);
    QCOMPARE(QString::fromLatin1(fileBytes(ioctlLog)).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{QStringLiteral("TIOCSSERIAL flags=") + lowLatency,
                          QStringLiteral("TIOCSSERIAL flags=4")}));
}

void CliWithMeterTest::silentMeterIsNamedWithPageAndDevice()
{
    const auto meter = startedMeter(m_demoImage, Pacing::Unpaced, ReplyFault::noAnswer());
    const QString out = folder(QStringLiteral("silent"));
    const CliRun run =
        runCli({QStringLiteral("dump"), QStringLiteral("--port"), meter->devicePath(),
                QStringLiteral("--out"), out + QStringLiteral("/meter.bin")});
    QVERIFY(run.exitedWith(kExitMeterFailed));
    QVERIFY2(run.standardError.contains(QStringLiteral("did not answer the request for page 512")),
             qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(meter->devicePath()), qPrintable(run.standardError));
    QVERIFY2(!run.standardError.contains(QStringLiteral("press ")), qPrintable(run.standardError));
    // One message, not one nested inside another's prefix: what happened, then what to do.
    const QString problem = run.standardError.section(QStringLiteral("cablemeter-cli: "), 1, 1);
    checkMessageShape(UserMessage(problem), meter->devicePath(),
                      QStringLiteral("run the command again"));
    QVERIFY2(!problem.contains(QStringLiteral("did not arrive")), qPrintable(problem));
    QVERIFY2(UserMessage(problem).details.contains(QStringLiteral("meter.bin was not written")),
             qPrintable(problem));
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(meter->requestedPages(), QList<int>{headerPage(0)});
}

// Meters that differ from the simulator as a sound meter may: one request a page. Glitches on
// the line: the catalogue is exact (exit 0), or the run fails with one message that names the
// device and ends with what to do; never wrong data with success. A glitch on every reply from
// the first one looks like the meter's own format: such runs only have to end.
void CliWithMeterTest::catalogueFromAGlitchingMeter_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("meter"); // how the meter differs: answer time, byte 0, echo
    QTest::addColumn<int>("pacing");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<bool>("mustSucceed");
    QTest::addColumn<int>("requests");    // page requests a run that succeeds costs; 0: any
    QTest::addColumn<QString>("failure"); // what the message must say, if the run fails
    const int uart = int(Pacing::Uart);
    const int usb = int(Pacing::Usb);
    QTest::newRow("answer times of 1 to 20 ms, byte 0 random")
        << "none"
        << "1-20 random" << uart << false << true << kSlotCount << "";
    QTest::newRow("answer times of 3 to 20 ms, byte 0 counting, 16 ms packets")
        << "none"
        << "3-20 counting" << usb << false << true << kSlotCount << "";
    QTest::newRow("a slow meter: 1.5 s to 1.9 s")
        << "none"
        << "1500-1900 constant" << uart << false << true << kSlotCount << "";
    QTest::newRow("an adapter that echoes every request")
        << "none"
        << "0 constant echo" << uart << false << true << kSlotCount << "";
    QTest::newRow("verified: two requests a page")
        << "none"
        << "" << uart << true << true << 2 * kSlotCount << "";
    QTest::newRow("stray bytes after the 3rd reply") << "stray-after:3:40@3"
                                                     << "" << uart << false << true << 0 << "";
    QTest::newRow("a stray byte before the 3rd reply") << "stray-before:1@3"
                                                       << "" << uart << false << true << 0 << "";
    QTest::newRow("the 3rd reply twice") << "repeat:25@3"
                                         << "" << uart << false << false << 0 << "";
    QTest::newRow("noise after the 3rd reply")
        << "noise:2500@3"
        << "" << uart << false << false << 0 << "never went quiet";
    QTest::newRow("a stall in the 3rd reply: asked again")
        << "stall:128@3"
        << "" << int(Pacing::Unpaced) << false << true << kSlotCount + 1 << "";
    QTest::newRow("a pause of 150 ms in the 3rd reply: asked again")
        << "split:128:150@3"
        << "" << uart << false << true << kSlotCount + 1 << "";
    QTest::newRow("a byte lost from the 3rd reply")
        << "lose:100@3"
        << "" << uart << false << true << kSlotCount + 1 << "";
    QTest::newRow("the 3rd reply after the limit: asked again")
        << "delay:2500@3"
        << "" << uart << false << true << 0 << "";
    QTest::newRow("a corrupted byte in the 3rd reply, verified")
        << "corrupt:40@3"
        << "" << uart << true << true << 2 * kSlotCount + 1 << "";
    QTest::newRow("the previous page's reply for the 3rd request, verified")
        << "previous@3"
        << "" << uart << true << true << 0 << "";
    QTest::newRow("stray bytes after every reply")
        << "stray-after:3:40"
        << "" << int(Pacing::Unpaced) << false << false << 0 << "";
    QTest::newRow("every reply twice") << "repeat:25"
                                       << "" << int(Pacing::Unpaced) << false << false << 0 << "";
}

void CliWithMeterTest::catalogueFromAGlitchingMeter()
{
    QFETCH(QString, fault);
    QFETCH(QString, meter);
    QFETCH(int, pacing);
    QFETCH(bool, verify);
    QFETCH(bool, mustSucceed);
    QFETCH(int, requests);
    QFETCH(QString, failure);
    sim::MeterTraits traits;
    const QStringList character = meter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!character.isEmpty()) {
        std::tie(traits.fastestAnswer, traits.slowestAnswer) =
            *sim::MeterTraits::parseAnswerTime(character.at(0));
        traits.firstByte = *sim::MeterTraits::parseFirstByte(character.at(1));
        traits.echo = character.contains(QStringLiteral("echo"));
    }
    const auto simulated =
        startedMeter(m_demoImage, Pacing(pacing), *ReplyFault::parse(fault), traits);
    const QString workFolder = folder(QStringLiteral("glitch-") + QTest::currentDataTag());
    QStringList arguments = {QStringLiteral("catalogue"), QStringLiteral("--port"),
                             simulated->devicePath()};
    if (verify)
        arguments << QStringLiteral("--verify");
    const CliRun run = runCli(arguments, workFolder);
    const QString file = workFolder + QStringLiteral("/MeterDat.dat");
    const bool struckOnce = fault.contains(QLatin1Char('@')) || fault == QLatin1String("none");
    if (run.exitedWith(0)) {
        if (!struckOnce)
            return; // indistinguishable from the meter's format: ending is enough
        QByteArray expectedFile;
        for (int slot = 0; slot < kSlotCount; ++slot)
            expectedFile +=
                m_demoImage.mid(qsizetype(headerPage(slot)) * kPageSize, kDeliveredBytes) +
                QByteArray(2, '\0');
        expectedFile += '\0';
        QVERIFY(fileBytes(file) == expectedFile);
        if (requests > 0)
            QCOMPARE(simulated->requestedPages().size(), requests);
        QCOMPARE(run.standardError.contains(QStringLiteral("Verified: every page was read twice")),
                 verify);
        return;
    }
    QVERIFY2(!mustSucceed, qPrintable(run.standardError));
    if (!struckOnce)
        return;
    QVERIFY2(run.exitedWith(kExitMeterFailed), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(failure), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(simulated->devicePath()), qPrintable(run.standardError));
    QVERIFY2(!run.standardError.contains(QStringLiteral("COM1")), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(QStringLiteral("run the command again")),
             qPrintable(run.standardError));
    QVERIFY(!QFile::exists(file));
}

void CliWithMeterTest::missingDeviceGetsAdvice()
{
    const QString device = m_dir.filePath(QStringLiteral("no-such-tty"));
    const QString out = folder(QStringLiteral("missing"));
    for (const QString& command :
         {QStringLiteral("dump"), QStringLiteral("catalogue"), QStringLiteral("export")}) {
        QStringList arguments = {command, QStringLiteral("--port"), device};
        if (command == QLatin1String("dump"))
            arguments << QStringLiteral("--out") << out + QStringLiteral("/meter.bin");
        if (command == QLatin1String("export"))
            arguments << QStringLiteral("--dir") << out;
        const CliRun run = runCli(arguments, out);
        QVERIFY2(run.exitedWith(kExitPortNotOpened), qPrintable(command + run.standardError));
        QVERIFY2(run.standardError.contains(
                     QStringLiteral("cablemeter-cli: Cannot open %1: the device does not exist")
                         .arg(device)),
                 qPrintable(run.standardError));
        QVERIFY2(run.standardError.contains(QStringLiteral("\nPlug the meter's adapter in again, "
                                                           "or give the meter's device with "
                                                           "--port, then run the command again.")),
                 qPrintable(run.standardError));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
}

void CliWithMeterTest::commandLineMistakes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("notSaid");
    const QString image = QStringLiteral("--image");
    const QString dir = QStringLiteral("--dir");
    QTest::newRow("no command") << QStringList{} << kExitUsage << "Usage: cablemeter-cli"
                                << QString();
    QTest::newRow("unknown command")
        << QStringList{"read"} << kExitUsage << "unknown command" << QString();
    QTest::newRow("dump without --out") << QStringList{"dump", "--port", "/dev/null"} << kExitUsage
                                        << "--out is missing" << QString();
    QTest::newRow("unknown option")
        << QStringList{"ports", "--fast"} << kExitUsage << "fast" << QString();
    QTest::newRow("stray argument")
        << QStringList{"ports", "COM1"} << kExitUsage << "COM1" << QString();
    QTest::newRow("export from both")
        << QStringList{"export", image, "x.bin", "--port", "/dev/null", dir, "out"} << kExitUsage
        << "either --image FILE or --port DEVICE" << QString();
    QTest::newRow("export from neither")
        << QStringList{"export", dir, "out"} << kExitUsage << "either --image FILE" << QString();
    QTest::newRow("export as gif")
        << QStringList{"export", image, "x.bin", dir, "out", "--format", "gif"} << kExitUsage
        << "unknown picture format \"gif\"" << QString();
    QTest::newRow("export of a missing image")
        << QStringList{"export", image, "no-such.bin", dir, "out"} << kExitFileFailed
        << "Cannot read no-such.bin" << QString();
    // A folder that cannot be made is named with the system's reason.
    QTest::newRow("export into a folder under a file")
        << QStringList{"export", image, m_dumpPath, dir, m_dumpPath + QStringLiteral("/out")}
        << kExitFileFailed << "Cannot make the folder " + m_dumpPath + "/out: Not a directory"
        << QString();
    QTest::newRow("dump into a missing folder")
        << QStringList{"dump", "--port", "/dev/null", "--out", "no/such/folder/x.bin"}
        << kExitFileFailed << "Cannot write no/such/folder/x.bin" << QString();
    // A port is COM1 to COM4 or a device's path; nothing else is guessed at.
    QTest::newRow("empty --port") << QStringList{"catalogue", "--port", ""} << kExitUsage
                                  << "--port names no port"
                                  << "/dev/ttyS";
    // COM names in any case, as Windows users type them; COM1 leads to the test's adapter.
    QTest::newRow("com1 is COM1") << QStringList{"catalogue", "--port", "com1"}
                                  << kExitPortNotOpened << "Cannot open COM1 (/dev/cablemeter-test"
                                  << "not a port name";
    QTest::newRow("COM5") << QStringList{"catalogue", "--port", "COM5"} << kExitUsage
                          << "\"COM5\" is not a port name"
                          << "Cannot open COM1";
    QTest::newRow("dump on COM5") << QStringList{"dump", "--port", "COM5", "--out", "x.bin"}
                                  << kExitUsage << "COM1 to COM4"
                                  << "Cannot open";
    QTest::newRow("export on a bare device name")
        << QStringList{"export", "--port", "ttyUSB0", dir, "out"} << kExitUsage
        << "\"ttyUSB0\" is not a port name"
        << "Cannot open";
    // An endless device is refused by its type, not read.
    QTest::newRow("export of /dev/zero") << QStringList{"export", image, "/dev/zero", dir, "out"}
                                         << kExitFileFailed << "character device" << QString();
    // Help and version only show something.
    QTest::newRow("--help-all") << QStringList{"catalogue", "--port", "COM1", "--help-all"} << 0
                                << "Usage: cablemeter-cli catalogue"
                                << "Read Files";
    QTest::newRow("--version") << QStringList{"--version"} << 0
                               << "cablemeter-cli " CABLEMETER_VERSION << QString();
}

void CliWithMeterTest::commandLineMistakes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(QString, notSaid);
    const QString work = folder(QStringLiteral("mistakes"));
    // As from cron or an ssh login, where Qt's start-up has no runtime folder to look in.
    const CliRun run = runCli(arguments, work, {}, {QStringLiteral("XDG_RUNTIME_DIR")});
    const QString output = QString::fromUtf8(run.standardOutput) + run.standardError;
    QVERIFY2(run.exitedWith(exitCode), qPrintable(output));
    QVERIFY2(output.contains(said), qPrintable(output));
    if (!notSaid.isEmpty())
        QVERIFY2(!output.contains(notSaid), qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("XDG_RUNTIME_DIR")), qPrintable(output));
    QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

// Without a runtime folder Qt's start-up says nothing; what Qt says of a real problem still shows.
void CliWithMeterTest::qtSaysNothingOfItsStartUpButItsProblems()
{
    const QStringList noRuntimeFolder = {QStringLiteral("XDG_RUNTIME_DIR")};
    const CliRun quiet = runCli({QStringLiteral("ports")}, {}, {}, noRuntimeFolder);
    QVERIFY2(quiet.exitedWith(0), qPrintable(quiet.standardError));
    QCOMPARE(quiet.standardError, QString());

    QProcessEnvironment noPlatform;
    noPlatform.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    const CliRun broken = runCli({QStringLiteral("ports")}, {}, noPlatform, noRuntimeFolder);
    QVERIFY(!broken.exitedWith(0));
    QVERIFY2(broken.standardError.contains(QStringLiteral("no-such-platform")),
             qPrintable(broken.standardError));
}

void CliWithMeterTest::namesThatAreNotFilesAreRefused_data()
{
    QTest::addColumn<QString>("use"); // how the program meets the name
    QTest::addColumn<QString>("kind");
    for (const QString& use : {QStringLiteral("dump --out"), QStringLiteral("export --image"),
                               QStringLiteral("MeterDat.dat")}) {
        for (const QString& kind : specialFileKinds()) {
            // A link to nothing is a new name for dump, and a missing file for reading.
            if (kind == QLatin1String("dangling link") && use == QLatin1String("export --image"))
                continue;
            QTest::newRow(qPrintable(use + QStringLiteral(": ") + kind)) << use << kind;
        }
    }
}

void CliWithMeterTest::namesThatAreNotFilesAreRefused()
{
    QFETCH(QString, use);
    QFETCH(QString, kind);
    QTemporaryDir work;
    const QString name =
        work.filePath(use == QLatin1String("MeterDat.dat") ? QStringLiteral("MeterDat.dat")
                                                           : QStringLiteral("meter.bin"));
    QString why;
    if (!makeSpecialFile(kind, name, why))
        QSKIP(qPrintable(why));
    std::unique_ptr<MeterSimulator> meter;
    QStringList arguments;
    if (use == QLatin1String("dump --out")) {
        // Refused before the port is opened: the device need not exist.
        arguments = QStringList{QStringLiteral("dump"), QStringLiteral("--port"),
                                work.filePath(QStringLiteral("no-such-tty")),
                                QStringLiteral("--out"), name};
    } else if (use == QLatin1String("export --image")) {
        arguments = QStringList{QStringLiteral("export"), QStringLiteral("--image"), name,
                                QStringLiteral("--dir"), work.filePath(QStringLiteral("out"))};
    } else {
        meter = startedMeter(m_demoImage, Pacing::Unpaced);
        arguments =
            QStringList{QStringLiteral("catalogue"), QStringLiteral("--port"), meter->devicePath()};
    }
    const QStringList before = folderEntries(work.path());
    const CliRun run = runCli(arguments, work.path());
    QVERIFY2(run.exitedWith(kExitFileFailed), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(specialFileReason(kind)), qPrintable(run.standardError));
    // The whole path, though the program was given (or chose) a name in the current folder.
    QVERIFY2(run.standardError.contains(name), qPrintable(run.standardError));
    QVERIFY(isStillSpecial(kind, name));
    QCOMPARE(folderEntries(work.path()), before);
    QVERIFY(run.outputLines().isEmpty());
    // Told before the meter is asked for anything.
    if (meter)
        QVERIFY(meter->requestedPages().isEmpty());
}

void CliWithMeterTest::listLinesKeepTheirWidthWhateverTheNames()
{
    const HostileMeter hostile;
    const auto meter = startedMeter(hostile.image, Pacing::Unpaced);
    const QString workFolder = folder(QStringLiteral("hostile-catalogue"));
    const CliRun run = runCli(
        {QStringLiteral("catalogue"), QStringLiteral("--port"), meter->devicePath()}, workFolder);
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));

    FakeWindowControls window;
    FakePageReader windowMeter(hostile.image);
    ScreenPicture picture;
    QTemporaryDir windowFolder;
    RecordCatalogue catalogue(window, windowMeter, picture,
                              windowFolder.filePath(QStringLiteral("MeterDat.dat")));
    catalogue.Command7_Click();
    // The window lists the name as stored; the terminal gets one visible character for each.
    const QStringList printed = run.outputLines();
    QCOMPARE(printed.size(), window.lines.size());
    for (qsizetype i = 0; i < printed.size(); ++i)
        QCOMPARE(printed[i].size(), window.lines[i].size());
    QVERIFY(window.lines.join(QString()).contains(QChar(0x1b)));
    for (const char byte : run.standardOutput)
        QVERIFY2(quint8(byte) >= 0x20 || byte == '\n', qPrintable(QString::number(quint8(byte))));
}

void CliWithMeterTest::tablesAreSafeForSpreadsheetsAndHonestAboutUnits()
{
    const HostileMeter hostile;
    const QString imagePath = m_dir.filePath(QStringLiteral("hostile.bin"));
    QFile imageFile(imagePath);
    QVERIFY(imageFile.open(QIODevice::WriteOnly));
    QCOMPARE(imageFile.write(hostile.image), hostile.image.size());
    imageFile.close();
    const QString out = m_dir.filePath(QStringLiteral("hostile-export"));
    const CliRun run = runCli({QStringLiteral("export"), QStringLiteral("--image"), imagePath,
                               QStringLiteral("--dir"), out});
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));

    const QString csv = QString::fromUtf8(fileBytes(out + QStringLiteral("/records.csv")));
    QVERIFY2(csv.contains(QStringLiteral(",\"'=1+2\",")), qPrintable(csv));
    QVERIFY2(csv.contains(QStringLiteral(",\"'@SUM(1\",")), qPrintable(csv));
    const QList<Row> rows = csvRows(fileBytes(out + QStringLiteral("/records.csv")));
    bool found = false;
    for (const Row& row : rows) {
        if (row.value(QStringLiteral("slot")) != QString::number(hostile.unknownUnitSlot))
            continue;
        found = true;
        QCOMPARE(row.value(QStringLiteral("level")), QString());
        QCOMPARE(row.value(QStringLiteral("unit")), QString());
        QCOMPARE(row.value(QStringLiteral("level_raw_tenths_dbuv")),
                 QString::number(hostile.unknownUnitLevel));
    }
    QVERIFY(found);

    const QString jsonOut = m_dir.filePath(QStringLiteral("hostile-json"));
    const CliRun jsonRun = runCli({QStringLiteral("export"), QStringLiteral("--image"), imagePath,
                                   QStringLiteral("--dir"), jsonOut, QStringLiteral("--json")});
    QVERIFY2(jsonRun.exitedWith(0), qPrintable(jsonRun.standardError));
    const QJsonArray records = QJsonDocument::fromJson(fileBytes(jsonOut + "/records.json"))
                                   .object()
                                   .value(QStringLiteral("records"))
                                   .toArray();
    found = false;
    for (const QJsonValue& value : records) {
        const QJsonObject record = value.toObject();
        if (record.value(QStringLiteral("slot")).toInt() != hostile.unknownUnitSlot)
            continue;
        found = true;
        QVERIFY(!record.contains(QStringLiteral("level")));
        QVERIFY(!record.contains(QStringLiteral("unit")));
        QCOMPARE(record.value(QStringLiteral("level_raw_tenths_dbuv")).toInt(),
                 hostile.unknownUnitLevel);
    }
    QVERIFY(found);
}

void CliWithMeterTest::secondExportNeedsForceAndRemovesOnlyItsOwnFiles()
{
    const QString out = m_dir.filePath(QStringLiteral("twice"));
    const QStringList first = {QStringLiteral("export"), QStringLiteral("--image"), m_dumpPath,
                               QStringLiteral("--dir"), out};
    const CliRun firstRun = runCli(first);
    QVERIFY2(firstRun.exitedWith(0), qPrintable(firstRun.standardError));
    QStringList written = folderEntries(out);
    written.removeAll(kManifest);
    QCOMPARE(written.size(), kGoldenPictures + 2);
    QCOMPARE(manifestNames(out), written);

    // Into the same folder again: refused, nothing touched.
    const CliRun again = runCli(first);
    QVERIFY2(again.exitedWith(kExitEarlierExport), qPrintable(again.standardError));
    QVERIFY2(again.standardError.contains(QStringLiteral("--force")),
             qPrintable(again.standardError));
    QStringList everything = written + QStringList{kManifest};
    everything.sort();
    QCOMPARE(folderEntries(out), everything);

    // Files the user put there stay, also one named as ours that no export listed.
    for (const QString& name : {QStringLiteral("notes.txt"), QStringLiteral("slot40-level.png")}) {
        QFile file(QDir(out).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the user's");
    }
    const CliRun forced =
        runCli(first + QStringList{QStringLiteral("--format"), QStringLiteral("bmp"),
                                   QStringLiteral("--json"), QStringLiteral("--force")});
    QVERIFY2(forced.exitedWith(0), qPrintable(forced.standardError));
    QVERIFY2(forced.standardError.contains(
                 QStringLiteral("Removed the %1 files").arg(kGoldenPictures + 2)),
             qPrintable(forced.standardError));
    QStringList now = folderEntries(out);
    QVERIFY(now.contains(QStringLiteral("notes.txt")));
    QVERIFY(now.contains(QStringLiteral("slot40-level.png")));
    QVERIFY(!now.contains(QStringLiteral("records.csv")));
    now.removeAll(QStringLiteral("notes.txt"));
    now.removeAll(QStringLiteral("slot40-level.png"));
    now.removeAll(kManifest);
    QCOMPARE(QDir(out).entryList({QStringLiteral("*.png")}), QStringList{"slot40-level.png"});
    QCOMPARE(now.size(), kGoldenPictures + 1);
    QCOMPARE(manifestNames(out), now);
}

// A file of the user's under a name the export would write: found before anything is written,
// kept, and nothing of the export (nor of an earlier one --force would remove) is touched.
void CliWithMeterTest::exportChecksEveryNameBeforeItWrites_data()
{
    QTest::addColumn<QString>("usersFile"); // "picture": the name of the export's first picture
    QTest::addColumn<bool>("overAnEarlierExport"); // one made with --json, then --force
    QTest::newRow("the user's records.csv") << "records.csv" << false;
    QTest::newRow("the user's file under a picture's name") << "picture" << false;
    QTest::newRow("the user's points.csv beside an earlier export, with --force")
        << "points.csv" << true;
}

void CliWithMeterTest::exportChecksEveryNameBeforeItWrites()
{
    QFETCH(QString, usersFile);
    QFETCH(bool, overAnEarlierExport);
    const QString out = folder(QStringLiteral("clash-") + QTest::currentDataTag());
    QStringList arguments = {QStringLiteral("export"), QStringLiteral("--image"), m_dumpPath,
                             QStringLiteral("--dir"), out};
    if (usersFile == QLatin1String("picture")) {
        const QString sample = folder(QStringLiteral("clash-sample"));
        const CliRun run = runCli(arguments.mid(0, 4) + QStringList{sample});
        QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
        usersFile = QDir(sample).entryList({QStringLiteral("*.png")}, QDir::Files).constFirst();
    }
    if (overAnEarlierExport) {
        const CliRun earlier = runCli(arguments + QStringList{QStringLiteral("--json")});
        QVERIFY2(earlier.exitedWith(0), qPrintable(earlier.standardError));
        arguments << QStringLiteral("--force");
    }
    const QString usersPath = QDir(out).filePath(usersFile);
    QFile file(usersPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("the user's");
    file.close();
    const QStringList before = folderEntries(out);

    const CliRun run = runCli(arguments);

    QVERIFY2(run.exitedWith(kExitFileFailed), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(usersPath), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(QStringLiteral("nothing was written")),
             qPrintable(run.standardError));
    QCOMPARE(fileBytes(usersPath), QByteArray("the user's"));
    QCOMPARE(folderEntries(out), before);
    QVERIFY(run.standardOutput.isEmpty());
}

// A disk that fills during a run, really (a small tmpfs, as root) or as the write-failure shim
// makes it look (a write cut short, or a sync or close that fails late, as a network share
// does): exit status 4 with the system's reason, and nothing half-written left behind.
void CliWithMeterTest::fullDiskLeavesNothingHalfWritten_data()
{
    QTest::addColumn<QStringList>("command");    // the port, folder or file follow
    QTest::addColumn<QByteArray>("failingCall"); // "tmpfs": a real disk too small
    QTest::addColumn<int>("bytesLeft");          // kAllButTheList: room for all but half the list
    QTest::addColumn<bool>("earlierCatalogue");
    const QStringList exportPng = {"export"};
    const QStringList exportJson = {"export", "--json"};
    QTest::newRow("export, full after some pictures")
        << exportPng << QByteArray("write") << 60000 << false;
    QTest::newRow("export --json, full at the last file")
        << exportJson << QByteArray("write") << kAllButTheList << false;
    QTest::newRow("export --json, full when synced")
        << exportJson << QByteArray("fsync") << 0 << false;
    QTest::newRow("export, full when closed") << exportPng << QByteArray("close") << 0 << false;
    QTest::newRow("export, a real disk too small")
        << exportPng << QByteArray("tmpfs") << 0 << false;
    QTest::newRow("catalogue, room for half, an earlier file")
        << QStringList{"catalogue"} << QByteArray("write") << 4096 << true;
    QTest::newRow("catalogue, full when synced")
        << QStringList{"catalogue"} << QByteArray("fsync") << 0 << false;
    QTest::newRow("dump, no room to set aside")
        << QStringList{"dump"} << QByteArray("fallocate") << 0 << false;
    QTest::newRow("dump, a real disk too small")
        << QStringList{"dump"} << QByteArray("tmpfs") << 0 << false;
}

void CliWithMeterTest::fullDiskLeavesNothingHalfWritten()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, failingCall);
    QFETCH(int, bytesLeft);
    QFETCH(bool, earlierCatalogue);
    // Smaller than a dump's image and than an export's pictures.
    const QString kSmallDiskSize = QStringLiteral("size=128k");
    const QString work = folder(QStringLiteral("full-") + QTest::currentDataTag());
    if (bytesLeft == kAllButTheList) {
        // As much as the same export takes when it succeeds, less half of its list.
        const QString sample = m_dir.filePath(QStringLiteral("full-sample"));
        const CliRun run = runCli(command + QStringList{QStringLiteral("--image"), m_dumpPath,
                                                        QStringLiteral("--dir"), sample});
        QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
        bytesLeft = 0;
        for (const QFileInfo& file : QDir(sample).entryInfoList(QDir::Files))
            bytesLeft += int(file.fileName() == kManifest ? file.size() / 2 : file.size());
    }
    SmallDisk disk;
    QProcessEnvironment environment;
    if (failingCall == "tmpfs") {
        if (QString why; !disk.mount(work, kSmallDiskSize, why))
            QSKIP(qPrintable(why));
    } else {
        environment = FullDisk(work, failingCall, bytesLeft).environment(kWriteFailureShim);
    }
    const QString catalogueFile = work + QStringLiteral("/MeterDat.dat");
    const QByteArray earlier(8193, char(0x5A));
    QFile file(catalogueFile);
    if (earlierCatalogue) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(earlier), earlier.size());
        file.close();
    }
    const QStringList before = folderEntries(work);
    const auto meter = startedMeter(m_demoImage, Pacing::Unpaced);
    QStringList arguments = command;
    if (command.constFirst() == QLatin1String("export"))
        arguments << QStringLiteral("--image") << m_dumpPath << QStringLiteral("--dir")
                  << work + QStringLiteral("/export");
    else
        arguments << QStringLiteral("--port") << meter->devicePath();
    if (command.constFirst() == QLatin1String("dump"))
        arguments << QStringLiteral("--out") << work + QStringLiteral("/meter.bin");

    const CliRun run = runCli(arguments, work, environment);

    QVERIFY2(run.exitedWith(kExitFileFailed), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(kNoSpace), qPrintable(run.standardError));
    QVERIFY(run.standardOutput.isEmpty());
    // No file of this run is left, the earlier catalogue is as it was, and an export's folder
    // holds nothing for a later --force to clean away.
    QCOMPARE(folderEntries(work), before);
    if (earlierCatalogue)
        QCOMPARE(fileBytes(catalogueFile), earlier);
    // A dump finds out before it asks the meter for anything.
    if (command.constFirst() == QLatin1String("dump"))
        QCOMPARE(meter->requestedPages(), QList<int>());
}

void CliWithMeterTest::portsShowTheWindowsMapping()
{
    const QString device = QStringLiteral("/dev/cablemeter-test-adapter");
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("CABLEMETER_COM3"), device);
    // A UART listed before an adapter, and the console's port: the adapter comes first, the
    // console is left out, and COM4 leads to nothing.
    environment.insert(QStringLiteral("CABLEMETER_TEST_PORTS"),
                       QStringLiteral("/dev/ttyS1|uart|||,/dev/ttyUSB7|usb|usb-FTDI_X-if00|FT232R "
                                      "USB UART,/dev/ttyS0|uart|||console"));
    const CliRun run = runCli({QStringLiteral("ports")}, {}, environment);
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
    const QStringList lines = run.outputLines();
    const auto lineOf = [&lines](const QString& start) {
        for (const QString& line : lines) {
            if (line.trimmed().startsWith(start))
                return line.simplified();
        }
        return QString();
    };
    QCOMPARE(lineOf(QStringLiteral("COM3")),
             QStringLiteral("COM3 %1 from CABLEMETER_COM3").arg(device));
    if (qEnvironmentVariableIsSet("CABLEMETER_COM1") ||
        qEnvironmentVariableIsSet("CABLEMETER_COM2"))
        QSKIP("CABLEMETER_COM1/2 are set in this environment");
    QCOMPARE(lineOf(QStringLiteral("COM1")),
             QStringLiteral("COM1 /dev/ttyUSB7 (FT232R USB UART) default"));
    QCOMPARE(lineOf(QStringLiteral("COM2")), QStringLiteral("COM2 /dev/ttyS1 default"));
    QCOMPARE(lineOf(QStringLiteral("COM4")), QStringLiteral("COM4 (no serial port) default"));
    QVERIFY2(lineOf(QStringLiteral("/dev/ttyUSB7")).endsWith(QStringLiteral("= COM1")),
             qPrintable(run.standardOutput));
    const int leftOut =
        lines.indexOf(QStringLiteral("Left out, because the system console runs on them:"));
    QVERIFY2(leftOut > 0 && lines.value(leftOut + 1).trimmed().startsWith(u"/dev/ttyS0"),
             qPrintable(run.standardOutput));
}

QTEST_MAIN(CliWithMeterTest)
#include "tst_cli_with_meter.moc"
