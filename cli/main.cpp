// cablemeter-cli: the window's meter link, catalogue and screens on the command line.
#include "cli/catalogue_command.h"
#include "cli/console_output.h"
#include "cli/dump_command.h"
#include "cli/exit_code.h"
#include "cli/export_command.h"
#include "cli/interrupt_watch.h"
#include "cli/ports_command.h"
#include "cli/report_command.h"

#include <QGuiApplication>

using namespace cablemeter::cli;

namespace {

const QString kHelp = QStringLiteral(R"(Usage: cablemeter-cli COMMAND [OPTIONS]

Reads the cable meter's stored records without the window, through the same link, catalogue
and screens.

Commands:
  ports                               List the serial ports found and the device each of the
                                      window's COM1 to COM4 leads to.
  catalogue --port DEVICE [--verify]  Download the catalogue into MeterDat.dat in the current
                                      folder, as the window's Read does, and print the record list.
  dump --port DEVICE --out FILE [--verify]
                                      Copy every stored record's pages into a flash image file
                                      (served by cablemeter-sim --image, drawn by export --image).
  export (--image FILE | --port DEVICE [--verify]) --dir DIR [--format png|bmp] [--json] [--force]
                                      Draw every record with a screen as the window does, and
                                      write the records' values to records.csv and points.csv
                                      (or records.json). A DIR that holds an earlier export is
                                      refused unless --force, which first removes exactly the
                                      files that export wrote (listed in its
                                      cablemeter-export.txt).
  report (--image FILE | --port DEVICE) --out FILE [--limits FILE] [--title TEXT]
         [--paper a4|letter] [--verify]
                                      Write one PDF (FILE.pdf) or HTML (FILE.html) report of
                                      every record: a summary with a verdict against the limits
                                      file, then each record's screen, values and limits.

DEVICE is the meter's serial device, e.g. /dev/ttyUSB0, or COM1 to COM4 (com1 too) as the
window maps them.
--verify reads every page twice and takes it only when both reads agree (a third read decides
when they differ): about twice as long, and recommended for copies you archive.
"cablemeter-cli COMMAND --help" describes a command's options; "cablemeter-cli --version" shows
the program's version.

Files: flash images, MeterDat.dat and everything written must be regular files (or new names);
a device, a FIFO, a socket or a folder under such a name is refused and left as it is.

Exit status:
  0    success
  1    the meter did not answer, or its port went away while reading
  2    the command line was not understood
  3    the port could not be opened (missing, busy, or no permission)
  4    a file could not be read or written, or is not a regular file
  5    export: DIR holds an earlier export and --force was not given
  6    report: the limits file has a mistake (its line is named); nothing was read
  130  interrupted by Ctrl-C (SIGINT); 143 when terminated (SIGTERM)
A run that fails or is interrupted leaves no half-written file.)");

bool asksForHelp(const QString& argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
           argument == QLatin1String("--help-all") || argument == QLatin1String("help");
}

bool asksForVersion(const QString& argument)
{
    return argument == QLatin1String("--version") || argument == QLatin1String("-v");
}

QtMessageHandler g_qtMessageHandler = nullptr;

// Qt looks for a desktop's display socket while it starts, and warns where XDG_RUNTIME_DIR is
// unset (root shells, cron, ssh logins); this program needs no display. Only that line is held
// back; every other message goes where Qt sends it.
void withoutRuntimeFolderWarning(QtMsgType type, const QMessageLogContext& context,
                                 const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    g_qtMessageHandler(type, context, message);
}

} // namespace

int main(int argc, char* argv[])
{
    // The screens draw with Qt's font engine, which needs a GUI platform; none needs a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_qtMessageHandler = qInstallMessageHandler(withoutRuntimeFolderWarning);
    QGuiApplication application(argc, argv);
    qInstallMessageHandler(g_qtMessageHandler);
    QGuiApplication::setApplicationName(QStringLiteral("cablemeter-cli"));
    InterruptWatch watch;

    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 2) {
        printMessage(kHelp);
        return kExitUsage;
    }
    const QString command = arguments.at(1);
    if (asksForHelp(command)) {
        printLine(kHelp);
        return kExitSuccess;
    }
    if (asksForVersion(command)) {
        printLine(QStringLiteral("cablemeter-cli " CABLEMETER_VERSION));
        return kExitSuccess;
    }
    // The command's own parser sees "cablemeter-cli COMMAND" where a program's name would be.
    QStringList commandArguments = arguments.mid(2);
    commandArguments.prepend(QStringLiteral("cablemeter-cli ") + command);

    if (command == QLatin1String(PortsCommand::kName))
        return PortsCommand().run(commandArguments);
    if (command == QLatin1String(CatalogueCommand::kName))
        return CatalogueCommand(watch).run(commandArguments);
    if (command == QLatin1String(DumpCommand::kName))
        return DumpCommand(watch).run(commandArguments);
    if (command == QLatin1String(ExportCommand::kName))
        return ExportCommand(watch).run(commandArguments);
    if (command == QLatin1String(ReportCommand::kName))
        return ReportCommand(watch).run(commandArguments);
    printProblem(QStringLiteral("unknown command \"%1\" (see cablemeter-cli --help)").arg(command));
    return kExitUsage;
}
