#include "cli/report_command.h"

#include "catalogue/background_picture.h"
#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "cli/meter_session.h"
#include "cli/transfer_progress.h"
#include "export/recording_page_reader.h"
#include "export/report_document.h"
#include "export/report_reading.h"
#include "export/report_text.h"
#include "link/flash_image_reader.h"
#include "link/meter_link.h"
#include "platform/saved_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>

namespace cablemeter::cli {

namespace {

const QString kUsage = QStringLiteral(
    "cablemeter-cli report (--image FILE | --port DEVICE) --out FILE [--limits FILE] "
    "[--title TEXT] [--paper a4|letter] [--verify]");
const QString kDefaultTitle = QStringLiteral("Cable meter report");

QImage reportBackground()
{
    const BackgroundPicture background =
        findBackgroundPicture(QCoreApplication::applicationDirPath());
    if (background.image.isNull())
        printProblem(background.error + QStringLiteral("\nScreens are drawn on a plain picture."));
    return background.image;
}

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
    const QCommandLineOption image(QStringLiteral("image"),
                                   QStringLiteral("Read the records from a flash image file "
                                                  "(as dump writes it)."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Read the records from the meter on this "
                                                 "serial device (or COM1 to COM4)."),
                                  QStringLiteral("DEVICE"));
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
    const QCommandLineOption verify(
        QStringLiteral("verify"),
        QStringLiteral("Read every page from the meter twice and take it only when both agree."));
    parser.addOptions({image, port, out, limitsOption, title, paper, verify});
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(parser, kUsage, arguments, exitCode) ||
        !requireOptions(parser, {out}, exitCode))
        return exitCode;
    if (parser.isSet(image) == parser.isSet(port)) {
        printProblem(QStringLiteral("give either --image FILE or --port DEVICE\nUsage: ") + kUsage);
        return kExitUsage;
    }
    if (parser.isSet(port) && !requirePortName(parser.value(port), exitCode))
        return exitCode;
    if (parser.isSet(verify) && !parser.isSet(port)) {
        printProblem(QStringLiteral("--verify reads the meter's pages twice: it needs --port"));
        return kExitUsage;
    }
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
    const QImage background = reportBackground();

    FlashImageReader imageReader;
    std::unique_ptr<MeterSession> session;
    std::unique_ptr<RecordingPageReader> meterPages;
    PageReader* reader = &imageReader;
    if (parser.isSet(image)) {
        if (!imageReader.load(parser.value(image))) {
            printProblem(imageReader.lastError());
            return kExitFileFailed;
        }
        heading.source = QStringLiteral("flash image file %1")
                             .arg(QFileInfo(parser.value(image)).absoluteFilePath());
        heading.imageSha256 = QString::fromLatin1(
            QCryptographicHash::hash(imageReader.image(), QCryptographicHash::Sha256).toHex());
        heading.verification = QStringLiteral("not known: read from a flash image file");
    } else {
        session = std::make_unique<MeterSession>(parser.value(port), m_watch, false,
                                                 parser.isSet(verify));
        if (!session->open()) {
            printProblem(session->openError());
            return kExitPortNotOpened;
        }
        // Each page comes from the meter once; drawing and decoding a record read the same pages.
        meterPages = std::make_unique<RecordingPageReader>(session->link());
        reader = meterPages.get();
        heading.source = QStringLiteral("the meter on %1").arg(session->link().portName());
        heading.verification =
            parser.isSet(verify)
                ? QStringLiteral("yes: every page was read twice and taken only when both "
                                 "reads agreed")
                : QStringLiteral("no: every page was read once (--verify reads each twice)");
    }
    heading.madeAt = QDateTime::currentDateTime();

    ReportReading reading(*reader, background, limits);
    TransferProgress progress(standardErrorIsTerminal());
    reading.setProgress([&progress](int done, int total) { progress.update(done, total); });
    // Reading an image never waits for events: let a pending Ctrl-C through here.
    reading.setStopRequested([this] {
        QCoreApplication::processEvents();
        return m_watch.isInterrupted();
    });
    const bool complete = reading.read();
    progress.finish();
    if (!complete && !reading.wasStopped()) {
        printProblem(reading.error() + QStringLiteral("\n%1 was not written.").arg(outPath));
        return kExitMeterFailed;
    }
    const QByteArray document =
        complete ? reportDocument(*format, heading, reading.records(), *paperChosen) : QByteArray();
    QCoreApplication::processEvents();
    if (!complete || m_watch.isInterrupted()) {
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
