#include "cli/dump_command.h"

#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "cli/meter_session.h"
#include "cli/transfer_progress.h"
#include "export/record_download.h"
#include "export/recording_page_reader.h"
#include "link/meter_link.h"
#include "link/page.h"
#include "platform/replacement_file.h"
#include "platform/user_message.h"

#include <QCommandLineParser>

namespace cablemeter::cli {

namespace {

constexpr qint64 kImageSize = qint64(RecordingPageReader::kImagePages) * kPageSize;

QString cannotWrite(const QString& path, const QString& reason)
{
    return UserMessage(QStringLiteral("Cannot write %1: %2.").arg(path, reason),
                       QStringLiteral("Give --out a file in a folder you may write that has room, "
                                      "then run the command again."))
        .text();
}

// Why the meter's pages did not all arrive (the link's message names the page, the slot and the
// port), and that the image was not written.
QString failedRead(const MeterSession& session, const QString& outPath)
{
    return session.link()
        .failure()
        .withDetail(QStringLiteral("%1 was not written.").arg(outPath))
        .text();
}

} // namespace

int DumpCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads every stored record from the meter into a flash image file: page p at offset\n"
        "256 * p, 1024 pages, pages not read 0xFF. cablemeter-sim --image serves it and\n"
        "cablemeter-cli export --image draws it. The file appears only when the dump is\n"
        "complete; a failure or Ctrl-C leaves no file. Room for the whole file is set aside\n"
        "before the meter is asked for anything, so a full disk is told at once."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The meter's serial device (or COM1 to COM4 as the window maps them)."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("The flash image file to write."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption verify = verifyOption();
    parser.addOptions({port, out, verify});
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(
            parser, QStringLiteral("cablemeter-cli dump --port DEVICE --out FILE [--verify]"),
            arguments, exitCode) ||
        !requireOptions(parser, {port, out}, exitCode) ||
        !requirePortName(parser.value(port), exitCode))
        return exitCode;

    // Made, with room for the whole image, before the meter is asked for anything: a place that
    // cannot take the file says so now, not after the read. It shows under its name only once
    // complete.
    const QString outPath = parser.value(out);
    ReplacementFile image(outPath);
    if (QString reason; !image.open(reason) || !image.reserve(kImageSize, reason)) {
        printProblem(cannotWrite(outPath, reason));
        return kExitFileFailed;
    }

    MeterSession session(parser.value(port), m_watch, false, parser.isSet(verify));
    if (!session.open()) {
        printProblem(session.openError());
        return kExitPortNotOpened;
    }

    RecordingPageReader recorder(session.link());
    RecordDownload download(recorder);
    TransferProgress progress(standardErrorIsTerminal());
    download.setProgress([&progress](int done, int total) { progress.update(done, total); });
    download.setStopRequested([this] { return m_watch.isInterrupted(); });
    recorder.beginOperation();
    const bool complete = download.readCatalogue() && download.readRecords();
    progress.finish();
    // The last page is checked like the others before anything is written.
    if (complete && !recorder.endOperation()) {
        image.discard();
        printProblem(failedRead(session, outPath));
        return kExitMeterFailed;
    }
    if (!complete) {
        image.discard();
        if (download.wasStopped()) {
            printProblem(QStringLiteral("interrupted; %1 was not written.").arg(outPath));
            return m_watch.exitCode();
        }
        printProblem(failedRead(session, outPath));
        return kExitMeterFailed;
    }

    if (QString reason; !image.write(recorder.image(), reason) || !image.commit(reason)) {
        printProblem(cannotWrite(outPath, reason));
        return kExitFileFailed;
    }
    printMessage(QStringLiteral("%1 records, %2 pages read into %3")
                     .arg(download.listedEntries().size())
                     .arg(recorder.fetchedPageCount())
                     .arg(outPath));
    if (parser.isSet(verify))
        printMessage(verifiedNote());
    return kExitSuccess;
}

} // namespace cablemeter::cli
