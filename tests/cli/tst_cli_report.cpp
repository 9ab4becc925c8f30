// cablemeter-cli report as a technician runs it: from the demo meter's image and from the
// simulated meter, read back with poppler's tools (text, pictures, fonts, paper), the HTML's
// self-contained pictures, the verdicts of a limits file, a broken limits file, mistakes on the
// command line and Ctrl-C.
#include "cli_process.h"
#include "link/page.h"
#include "sim/demo_image.h"
#include "sim/meter_simulator.h"
#include "support/special_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace cablemeter;
using namespace cablemeter::testing;
using namespace std::chrono_literals;
using sim::DemoRecord;
using sim::MeterSimulator;
using sim::Pacing;

namespace {

constexpr int kHighestListedKind = 48;
constexpr int kScreens = 22;
constexpr int kExitUsage = 2;
constexpr int kExitFileFailed = 4;
constexpr int kExitLimitsMistaken = 6;
const QString kExampleLimits =
    QStringLiteral(CABLEMETER_TEST_DATA "/../../packaging/data/example-limits.txt");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A poppler tool's output; empty (and a failed check) when it is missing.
QString popplerOutput(const QString& tool, const QStringList& arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty()) {
        qWarning("%s is missing: install poppler-utils", qPrintable(tool));
        return {};
    }
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QList<DemoRecord> listedRecords()
{
    QList<DemoRecord> listed;
    for (const DemoRecord& record : sim::demoRecords()) {
        if (record.kind <= kHighestListedKind)
            listed.append(record);
    }
    return listed;
}

// The value the summary gives first for a demo record with a level: the level in its unit.
QString mainLevel(const DemoRecord& record)
{
    static const int zero[] = {0, 600, 1070};
    static const char* const units[] = {"dBuv", "dBmv", "dBm"};
    return QStringLiteral("%1 %2").arg(
        QString::number((std::max(record.level, 250) - zero[record.unit]) / 10.0, 'f', 1),
        QLatin1String(units[record.unit]));
}

bool hasLevel(const DemoRecord& record)
{
    return record.kind == 3 || record.kind == 4 || record.kind == 5 || record.kind == 11;
}

// The line of the summary that holds the record's name.
QString summaryLine(const QString& layoutText, const QString& name)
{
    for (const QString& line : layoutText.split(QLatin1Char('\n'))) {
        if (line.contains(QStringLiteral(" ") + name + QStringLiteral(" ")))
            return line;
    }
    return {};
}

} // namespace

class CliReportTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_imagePath;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    CliRun report(const QString& out, const QStringList& more = {}) const
    {
        return runCli(QStringList{QStringLiteral("report"), QStringLiteral("--image"), m_imagePath,
                                  QStringLiteral("--out"), out} +
                      more);
    }

private slots:
    void initTestCase();
    void pdfHoldsEveryRecordWithVerdicts();
    void pdfOnLetterPaper();
    void htmlHoldsTheSameAndNothingOutside();
    void brokenLimitsAreRefusedBeforeTheMeterIsRead();
    void reportFromTheMeter_data();
    void reportFromTheMeter();
    void mistakesWriteNothing_data();
    void mistakesWriteNothing();
    void interruptedReportLeavesNoFile();
};

void CliReportTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_imagePath = path(QStringLiteral("demo.bin"));
    QFile image(m_imagePath);
    QVERIFY(image.open(QIODevice::WriteOnly));
    QVERIFY(image.write(sim::makeDemoImage()) == sim::kDemoImagePages * kPageSize);
}

void CliReportTest::pdfHoldsEveryRecordWithVerdicts()
{
    const QString out = path(QStringLiteral("site.pdf"));
    const CliRun run = report(out, {QStringLiteral("--limits"), kExampleLimits,
                                    QStringLiteral("--title"), QStringLiteral("Main Street 12")});
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));

    const QString text = popplerOutput(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
    const QString layout = popplerOutput(QStringLiteral("pdftotext"),
                                         {QStringLiteral("-layout"), out, QStringLiteral("-")});
    QVERIFY(text.contains(QStringLiteral("Main Street 12")));
    QVERIFY(text.contains(QStringLiteral("flash image file")));
    QVERIFY(text.contains(QString::fromLatin1(
        QCryptographicHash::hash(fileBytes(m_imagePath), QCryptographicHash::Sha256).toHex())));
    for (const DemoRecord& record : listedRecords()) {
        QVERIFY2(text.contains(QString::fromLatin1(record.name)), record.name.constData());
        if (hasLevel(record))
            QVERIFY2(text.contains(mainLevel(record)), qPrintable(mainLevel(record)));
    }
    QVERIFY(text.contains(QStringLiteral("C/N 45.2 dB")));
    QVERIFY(text.contains(QStringLiteral("AC 65.2 V")));
    const QString pages = popplerOutput(QStringLiteral("pdfinfo"), {out});
    const QString pageCount =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(pages).captured(1);
    QVERIFY(pages.contains(QStringLiteral("595 x 842 pts (A4)")));
    QVERIFY(text.contains(QStringLiteral("page 1 of %1").arg(pageCount)));
    QVERIFY(text.contains(QStringLiteral("page %1 of %1").arg(pageCount)));

    // The example limits pass some records and fail others, naming the limit.
    const QMap<QString, QString> verdicts = {
        {QStringLiteral("LVL-01"), QStringLiteral("PASS")},
        {QStringLiteral("LVL-04"), QStringLiteral("FAIL: level max (analogue)")},
        {QStringLiteral("VLT-02"), QStringLiteral("FAIL: ac min")},
        {QStringLiteral("CNR-01"), QStringLiteral("PASS")},
        {QStringLiteral("CNR-03"), QStringLiteral("FAIL: c/n min")},
        {QStringLiteral("AUTO01"), QStringLiteral("                 -")},
    };
    // A verdict wraps in its cell: the summary's line starts it, the text holds all of it.
    QVERIFY(text.contains(QStringLiteral("80.0 dBuv")));
    for (auto it = verdicts.begin(); it != verdicts.end(); ++it) {
        const QString line = summaryLine(layout, it.key());
        QVERIFY2(line.contains(it.value()), qPrintable(it.key() + QStringLiteral(": ") + line));
    }

    // One picture per record with a screen, none of them JPEG; every font embedded.
    const QStringList images =
        popplerOutput(QStringLiteral("pdfimages"), {QStringLiteral("-list"), out})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            .mid(2);
    QCOMPARE(images.size(), kScreens);
    for (const QString& image : images) {
        const QStringList columns = image.simplified().split(QLatin1Char(' '));
        QCOMPARE(columns.value(8), QStringLiteral("image"));
        QCOMPARE(columns.value(3), QStringLiteral("640"));
    }
    const QStringList fonts = popplerOutput(QStringLiteral("pdffonts"), {out})
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                  .mid(2);
    QVERIFY(!fonts.isEmpty());
    for (const QString& font : fonts)
        QVERIFY2(font.contains(QStringLiteral(" yes ")), qPrintable(font));
}

void CliReportTest::pdfOnLetterPaper()
{
    const QString out = path(QStringLiteral("letter.PDF"));
    const CliRun run = report(out, {QStringLiteral("--paper"), QStringLiteral("letter")});
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
    const QString info = popplerOutput(QStringLiteral("pdfinfo"), {out});
    QVERIFY2(info.contains(QStringLiteral("612 x 792 pts (letter)")), qPrintable(info));
    QVERIFY(info.contains(QStringLiteral("Cable meter report")));
    // Without limits every verdict is "-".
    QVERIFY(!popplerOutput(QStringLiteral("pdftotext"), {out, QStringLiteral("-")})
                 .contains(QStringLiteral("PASS\n")));
}

void CliReportTest::htmlHoldsTheSameAndNothingOutside()
{
    const QString out = path(QStringLiteral("site.html"));
    const CliRun run = report(out, {QStringLiteral("--limits"), kExampleLimits});
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
    const QString html = QString::fromUtf8(fileBytes(out));
    for (const DemoRecord& record : listedRecords()) {
        QVERIFY2(html.contains(QString::fromLatin1(record.name).toHtmlEscaped()),
                 record.name.constData());
        if (hasLevel(record))
            QVERIFY2(html.contains(mainLevel(record)), qPrintable(mainLevel(record)));
    }
    QVERIFY(html.contains(QStringLiteral("FAIL: level max (analogue) 80.0 dBuv")));
    static const QRegularExpression reference(
        QStringLiteral("(src|href|action|srcset)\\s*=\\s*[\"']?([^\"' >]*)"));
    int pictures = 0;
    for (const QRegularExpressionMatch& match : reference.globalMatch(html)) {
        const QString target = match.captured(2);
        QVERIFY2(target.startsWith(QLatin1Char('#')) || target.startsWith(QLatin1String("data:")),
                 qPrintable(target.left(60)));
        pictures += match.captured(1) == QLatin1String("src") ? 1 : 0;
    }
    QCOMPARE(pictures, kScreens);
    QVERIFY(!html.contains(QStringLiteral("url(")));
    QVERIFY(!html.contains(QStringLiteral("@import")));
}

void CliReportTest::brokenLimitsAreRefusedBeforeTheMeterIsRead()
{
    const QString limits = path(QStringLiteral("broken-limits.txt"));
    QFile file(limits);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# ours\n[level analogue]\nlevel minimun = 60 dBuV\n");
    file.close();
    auto meter = std::make_unique<MeterSimulator>(sim::makeDemoImage(), Pacing::Unpaced);
    QVERIFY(meter->start());
    const QString out = path(QStringLiteral("refused.pdf"));
    const CliRun run =
        runCli({QStringLiteral("report"), QStringLiteral("--port"), meter->devicePath(),
                QStringLiteral("--out"), out, QStringLiteral("--limits"), limits});
    QVERIFY2(run.exitedWith(kExitLimitsMistaken), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(QStringLiteral("line 3: ")), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(limits), qPrintable(run.standardError));
    QVERIFY(!QFile::exists(out));
    QVERIFY(meter->requestedPages().isEmpty());
}

void CliReportTest::reportFromTheMeter_data()
{
    QTest::addColumn<bool>("verify");
    QTest::newRow("each page once") << false;
    QTest::newRow("verified") << true;
}

void CliReportTest::reportFromTheMeter()
{
    QFETCH(bool, verify);
    auto meter = std::make_unique<MeterSimulator>(sim::makeDemoImage(), Pacing::Unpaced);
    QVERIFY(meter->start());
    const QString out = path(QStringLiteral("meter-%1.pdf").arg(verify));
    QStringList arguments = {QStringLiteral("report"), QStringLiteral("--port"),
                             meter->devicePath(), QStringLiteral("--out"), out};
    if (verify)
        arguments << QStringLiteral("--verify");
    const CliRun run = runCli(arguments);
    QVERIFY2(run.exitedWith(0), qPrintable(run.standardError));
    const QString text = popplerOutput(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
    QVERIFY(text.contains(meter->devicePath()));
    QVERIFY(text.contains(verify ? QStringLiteral("yes: every page was read twice")
                                 : QStringLiteral("no: every page was read once")));
    QVERIFY(!text.contains(QStringLiteral("SHA-256")));
    for (const DemoRecord& record : listedRecords())
        QVERIFY2(text.contains(QString::fromLatin1(record.name)), record.name.constData());
    // Drawing and decoding a record read its pages from the meter once; verified, every page is
    // read twice (and again when the reads differ).
    const QList<int> pages = meter->requestedPages();
    const QSet<int> distinct(pages.begin(), pages.end());
    QVERIFY(distinct.contains(headerPage(31)));
    for (const int page : distinct) {
        const qsizetype reads = pages.count(page);
        QVERIFY2(verify ? reads >= 2 : reads == 1, qPrintable(QString::number(page)));
    }
}

void CliReportTest::mistakesWriteNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    const QString image = QStringLiteral("IMAGE");
    QTest::newRow("neither pdf nor html")
        << QStringList{"--image", image, "--out", "OUT/site.txt"} << kExitUsage << ".pdf or .html";
    QTest::newRow("unknown paper")
        << QStringList{"--image", image, "--out", "OUT/a.pdf", "--paper", "a3"} << kExitUsage
        << "a4 or letter";
    QTest::newRow("verify without a meter")
        << QStringList{"--image", image, "--out", "OUT/a.pdf", "--verify"} << kExitUsage
        << "--port";
    QTest::newRow("no source") << QStringList{"--out", "OUT/a.pdf"} << kExitUsage << "--image";
    QTest::newRow("no out") << QStringList{"--image", image} << kExitUsage << "--out";
    QTest::newRow("missing image") << QStringList{"--image", "OUT/none.bin", "--out", "OUT/a.pdf"}
                                   << kExitFileFailed << "none.bin";
    QTest::newRow("missing limits")
        << QStringList{"--image", image, "--out", "OUT/a.pdf", "--limits", "OUT/none.txt"}
        << kExitFileFailed << "none.txt";
    QTest::newRow("out is a folder")
        << QStringList{"--image", image, "--out", "OUT/dir.pdf"} << kExitFileFailed << "a folder";
    QTest::newRow("out is a FIFO")
        << QStringList{"--image", image, "--out", "OUT/fifo.html"} << kExitFileFailed << "FIFO";
}

void CliReportTest::mistakesWriteNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QTemporaryDir out;
    QString why;
    QVERIFY(
        makeSpecialFile(QStringLiteral("folder"), out.filePath(QStringLiteral("dir.pdf")), why));
    QVERIFY(
        makeSpecialFile(QStringLiteral("fifo"), out.filePath(QStringLiteral("fifo.html")), why));
    const QStringList before = QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    arguments.replaceInStrings(QStringLiteral("IMAGE"), m_imagePath);
    arguments.replaceInStrings(QStringLiteral("OUT"), out.path());
    const CliRun run = runCli(QStringList{QStringLiteral("report")} + arguments);
    QVERIFY2(run.exitedWith(exitCode), qPrintable(run.standardError));
    QVERIFY2(run.standardError.contains(says), qPrintable(run.standardError));
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QVERIFY(isStillSpecial(QStringLiteral("fifo"), out.filePath(QStringLiteral("fifo.html"))));
}

void CliReportTest::interruptedReportLeavesNoFile()
{
    constexpr int kPagesBeforeInterrupt = 5;
    auto meter = std::make_unique<MeterSimulator>(sim::makeDemoImage(), Pacing::Uart);
    QVERIFY(meter->start());
    const QString out = path(QStringLiteral("interrupted.pdf"));
    QProcess cli;
    startCli(cli, {QStringLiteral("report"), QStringLiteral("--port"), meter->devicePath(),
                   QStringLiteral("--out"), out});
    QVERIFY(cli.waitForStarted());
    QVERIFY(meter->waitForHandledPageRequests(kPagesBeforeInterrupt, 20s));
    ::kill(pid_t(cli.processId()), SIGINT);
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 128 + SIGINT);
    QVERIFY(
        QString::fromLocal8Bit(cli.readAllStandardError()).contains(QStringLiteral("interrupted")));
    QVERIFY(!QFile::exists(out));
    QVERIFY(meter->requestedPages().size() < kSlotCount);
}

QTEST_MAIN(CliReportTest)
#include "tst_cli_report.moc"
