#include "cli/export_command.h"

#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "cli/record_source.h"
#include "export/record_export.h"

#include <QCommandLineParser>

namespace cablemeter::cli {

namespace {

const QStringList kPictureFormats = {QStringLiteral("png"), QStringLiteral("bmp")};

} // namespace

int ExportCommand::run(const QStringList& arguments)
{
    const QString usage = QStringLiteral("cablemeter-cli export (--image FILE | --port DEVICE) "
                                         "--dir DIR [--format png|bmp] [--json] [--force] "
                                         "[--verify]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Draws every stored record that has a screen as the window shows it: one picture per\n"
        "record, named by slot, screen and name (slot07-cn-CNR-01.png). Writes the records'\n"
        "values in plain units (MHz, dB, volts, levels in the record's unit) to records.csv, one\n"
        "row per record, and to points.csv, one row per tilt row, scan channel or spectrum point\n"
        "(numbered from 1); with --json to records.json instead. Last it writes\n"
        "cablemeter-export.txt, the list of the files it wrote.\n"
        "A folder that holds an earlier export (a cablemeter-export.txt) is refused (exit\n"
        "status 5) unless --force is given; --force first removes exactly the files that\n"
        "earlier export listed, and nothing else. Every name is checked before the first\n"
        "file is written: a file of one of those names that no export listed is never\n"
        "replaced, and the export stops with nothing written (exit status 4). An export that\n"
        "fails or is interrupted removes the files it wrote."));
    RecordSource source(m_watch);
    source.addOptions(parser);
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("The folder for the files (made when missing)."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Picture format: png (default) or bmp."),
                                    QStringLiteral("FORMAT"), kPictureFormats.constFirst());
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("Write records.json instead of records.csv and points.csv."));
    const QCommandLineOption force(
        QStringLiteral("force"),
        QStringLiteral("When DIR holds an earlier export, remove the files it wrote (as listed "
                       "in its cablemeter-export.txt) before writing this one."));
    parser.addOptions({dir, format, json, force});
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(parser, usage, arguments, exitCode) ||
        !requireOptions(parser, {dir}, exitCode) || !source.takeOptions(parser, usage, exitCode))
        return exitCode;
    const QString pictureFormat = parser.value(format).toLower();
    if (!kPictureFormats.contains(pictureFormat)) {
        printProblem(
            QStringLiteral("unknown picture format \"%1\": png or bmp").arg(parser.value(format)));
        return kExitUsage;
    }

    const RecordExport::Settings settings{parser.value(dir), pictureFormat, parser.isSet(json),
                                          screenBackground(), parser.isSet(force)};
    if (!source.open(exitCode))
        return exitCode;
    RecordExport recordExport(source.reader(), settings);
    recordExport.setStopRequested([this] { return m_watch.interruptedNow(); });
    const int status = finished(recordExport.run(), settings.folder);
    if (status == kExitSuccess && source.verifies())
        printMessage(verifiedNote());
    return status;
}

int ExportCommand::finished(const ExportResult& result, const QString& folder) const
{
    if (result.removedEarlierFiles)
        printMessage(QStringLiteral("Removed the %1 files of the earlier export in %2.")
                         .arg(*result.removedEarlierFiles)
                         .arg(folder));
    if (result.outcome == ExportOutcome::Written) {
        for (const QString& path : result.writtenFiles)
            printLine(path);
        return kExitSuccess;
    }
    UserMessage message = result.problem;
    switch (result.outcome) {
    case ExportOutcome::Written:
    case ExportOutcome::NamesTaken:  // it says what to do
    case ExportOutcome::MeterFailed: // the link's message says what to do
        break;
    case ExportOutcome::EarlierExport:
        message.todo = QStringLiteral("Export into another folder, or add --force to remove the "
                                      "files that export wrote first.");
        printProblem(message.text());
        return kExitEarlierExport;
    case ExportOutcome::WriteFailed:
        message.todo = QStringLiteral("Make room, or choose a folder you may write, then run the "
                                      "command again.");
        break;
    case ExportOutcome::Stopped:
        message = UserMessage(
            QStringLiteral("interrupted; the export into %1 stopped.").arg(folder),
            result.leftFiles.isEmpty() ? QString()
                                       : QStringLiteral("Remove the files it left yourself."));
        break;
    }
    // A clash is found before anything is written, and says so itself.
    if (result.outcome != ExportOutcome::NamesTaken)
        message = message.withDetail(cleanUpText(result, folder));
    printProblem(message.text());
    if (result.outcome == ExportOutcome::Stopped)
        return m_watch.exitCode();
    return result.outcome == ExportOutcome::MeterFailed ? kExitMeterFailed : kExitFileFailed;
}

QString ExportCommand::cleanUpText(const ExportResult& result, const QString& folder)
{
    if (!result.leftFiles.isEmpty())
        return QStringLiteral("%1 of the files it wrote could not be removed:\n  %2")
            .arg(result.leftFiles.size())
            .arg(result.leftFiles.join(QStringLiteral("\n  ")));
    if (result.unfinishedFiles > 0)
        return QStringLiteral("The %1 files it had written into %2 were removed.")
            .arg(result.unfinishedFiles)
            .arg(folder);
    return QStringLiteral("Nothing was written into %1.").arg(folder);
}

} // namespace cablemeter::cli
