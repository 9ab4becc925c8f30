#include "cli/report_command.h"

#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "cli/record_source.h"
#include "cli/transfer_progress.h"
#include "export/report_document.h"
#include "export/report_reading.h"
#include "export/report_text.h"
#include "platform/saved_file.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QFileInfo>

namespace cablemeter::cli {

namespace {

const QString kUsage = QStringLiteral(
    "cablemeter-cli report (--image FILE | --port DEVICE) --out FILE [--limits FILE] "
    "[--title TEXT] [--paper a4|letter] [--verify]");
const QString kDefaultTitle = QStringLiteral("Cable meter report");

std::optional<PaperSize> paperSize(const QString& name)
{
    if (name.compare(QLatin1String("a4"), Qt::CaseInsensitive) == 0)
        return PaperSize::A4;
    if (name.compare(QLatin1String("letter"), Qt::CaseInsensitive) == 0)
        return PaperSize::Letter;
    return std::nullopt;
}

} // namespace

int ReportCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes one report of every stored record: FILE.pdf as a PDF, FILE.html as one\n"
        "self-contained HTML file. The first page names the source (with an image's SHA-256)\n"
        "and lists every record with its main values and a verdict against the limits file:\n"
        "PASS, FAIL naming the limit, \"true value unknown\" for a level the screens show\n"
        "raised to their floor or held to a graph's range, or \"-\" where no limit applies.\n"
        "Then each record with a screen follows with the screen as the window draws it, its\n"
        "values and every limit applied. The file appears only when complete. A limits file\n"
        "with a mistake is refused, naming its line, before the meter is read (exit status 6)."));
    RecordSource source(m_watch);
    source.addOptions(parser);
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("The report file: a name ending in .pdf or .html."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption limitsOption(
        QStringLiteral("limits"),
        QStringLiteral("The technician's limits file (see man cablemeter-cli)."),
        QStringLiteral("FILE"));
    const QCommandLineOption title(QStringLiteral("title"),
                                   QStringLiteral("The report's title: the site or the job."),
                                   QStringLiteral("TEXT"), kDefaultTitle);
    const QCommandLineOption paper(QStringLiteral("paper"),
                                   QStringLiteral("The PDF's paper: a4 (default) or letter."),
                                   QStringLiteral("PAPER"), QStringLiteral("a4"));
    parser.addOptions({out, limitsOption, title, paper});
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(parser, kUsage, arguments, exitCode) ||
        !requireOptions(parser, {out}, exitCode) || !source.takeOptions(parser, kUsage, exitCode))
        return exitCode;
    const QString outPath = parser.value(out);
    const std::optional<ReportFormat> format = reportFormatFor(outPath);
    if (!format) {
        printProblem(
            QStringLiteral("the report \"%1\" needs a name ending in .pdf or .html").arg(outPath));
        return kExitUsage;
    }
    const std::optional<PaperSize> paperChosen = paperSize(parser.value(paper));
    if (!paperChosen) {
        printProblem(QStringLiteral("unknown paper \"%1\": a4 or letter").arg(parser.value(paper)));
        return kExitUsage;
    }
    if (const std::optional<QString> refusal = refusalToWrite(outPath)) {
        printProblem(*refusal);
        return kExitFileFailed;
    }

    // The limits are checked before the meter is read: a mistake costs no reading time.
    Limits limits;
    ReportHeading heading;
    heading.title = parser.value(title);
    heading.limits = QStringLiteral("none: every verdict is \"-\"");
    if (parser.isSet(limitsOption)) {
        QString error;
        switch (loadLimits(parser.value(limitsOption), limits, error)) {
        case LimitsLoading::Unreadable:
            printProblem(error);
            return kExitFileFailed;
        case LimitsLoading::Mistaken:
            printProblem(error +
                         QStringLiteral("\nNothing was read and %1 was not written.").arg(outPath));
            return kExitLimitsMistaken;
        case LimitsLoading::Loaded:
            heading.limits = QFileInfo(limits.file).absoluteFilePath();
            break;
        }
    }
    const QImage background = screenBackground();
    if (!source.open(exitCode))
        return exitCode;
    if (source.readsImage()) {
        heading.source = QStringLiteral("flash image file %1")
                             .arg(QFileInfo(source.imagePath()).absoluteFilePath());
        heading.imageSha256 = QString::fromLatin1(
            QCryptographicHash::hash(source.image(), QCryptographicHash::Sha256).toHex());
        heading.verification = QStringLiteral("not known: read from a flash image file");
    } else {
        heading.source = QStringLiteral("the meter on %1").arg(source.portName());
        heading.verification =
            source.verifies()
                ? QStringLiteral("yes: every page was read twice and taken only when both "
                                 "reads agreed")
                : QStringLiteral("no: every page was read once (--verify reads each twice)");
    }
    heading.madeAt = QDateTime::currentDateTime();

    ReportReading reading(source.reader(), background, limits);
    TransferProgress progress(standardErrorIsTerminal());
    reading.setProgress([&progress](int done, int total) { progress.update(done, total); });
    reading.setStopRequested([this] { return m_watch.interruptedNow(); });
    const bool complete = reading.read();
    progress.finish();
    if (!complete && !reading.wasStopped()) {
        printProblem(
            reading.error().withDetail(QStringLiteral("%1 was not written.").arg(outPath)).text());
        return kExitMeterFailed;
    }
    const QByteArray document =
        complete ? reportDocument(*format, heading, reading.records(), *paperChosen) : QByteArray();
    if (!complete || m_watch.interruptedNow()) {
        printProblem(QStringLiteral("interrupted; %1 was not written.").arg(outPath));
        return m_watch.exitCode();
    }
    if (QString error; !saveBytes(outPath, document, error)) {
        printProblem(error);
        return kExitFileFailed;
    }
    printMessage(
        QStringLiteral("%1 written: %2").arg(outPath, resultCountsText(reading.records())));
    return kExitSuccess;
}

} // namespace cablemeter::cli
