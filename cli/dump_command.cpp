#include "cli/dump_command.h"

#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "cli/meter_session.h"
#include "export/record_download.h"
#include "export/recording_page_reader.h"
#include "cli/transfer_progress.h"
#include "link/meter_link.h"
#include "platform/saved_file.h"

#include <QCommandLineParser>
#include <QSaveFile>

namespace cablemeter::cli {

namespace {

QString cannotWrite(const QSaveFile& file)
{
    return QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString());
}

} // namespace

int DumpCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads every stored record from the meter into a flash image file: page p at offset\n"
        "256 * p, 1024 pages, pages not read 0xFF. cablemeter-sim --image serves it and\n"
        "cablemeter-cli export --image draws it. The file appears only when the dump is\n"
        "complete; a failure or Ctrl-C leaves no file."));
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

    if (const std::optional<QString> refusal = refusalToWrite(parser.value(out))) {
        printProblem(*refusal);
        return kExitFileFailed;
    }
    // Opened first, so that an unwritable place shows before the meter is read. It writes under
    // a temporary name, removed unless commit() renames it.
    QSaveFile image(parser.value(out));
    if (!image.open(QIODevice::WriteOnly)) {
        printProblem(cannotWrite(image));
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
        image.cancelWriting();
        printProblem(recorder.lastError() +
                     QStringLiteral("\n%1 was not written.").arg(image.fileName()));
        return kExitMeterFailed;
    }
    if (!complete) {
        image.cancelWriting();
        if (download.wasStopped()) {
            printProblem(QStringLiteral("interrupted; %1 was not written.").arg(image.fileName()));
            return m_watch.exitCode();
        }
        printProblem(download.error() +
                     QStringLiteral("\n%1 was not written.").arg(image.fileName()));
        return kExitMeterFailed;
    }

    if (image.write(recorder.image()) != recorder.image().size()) {
        printProblem(cannotWrite(image));
        return kExitFileFailed;
    }
    if (QString error; !commitSavedFile(image, error)) {
        printProblem(error);
        return kExitFileFailed;
    }
    printMessage(QStringLiteral("%1 records, %2 pages read into %3")
                     .arg(download.listedEntries().size())
                     .arg(recorder.fetchedPageCount())
                     .arg(image.fileName()));
    if (parser.isSet(verify))
        printMessage(verifiedNote());
    return kExitSuccess;
}

} // namespace cablemeter::cli
