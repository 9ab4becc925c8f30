#include "cli/catalogue_command.h"

#include "catalogue/catalogue_layout.h"
#include "catalogue/record_catalogue.h"
#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "cli/meter_session.h"
#include "link/meter_link.h"
#include "platform/saved_file.h"
#include "platform/screen_picture.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace cablemeter::cli {

int CatalogueCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Downloads the meter's catalogue into MeterDat.dat in the current folder, as the\n"
        "window's Read does, and prints the record list: the list lines on stdout, status and\n"
        "progress on stderr."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The meter's serial device (or COM1 to COM4 as the window maps them)."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption verify = verifyOption();
    parser.addOptions({port, verify});
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(parser,
                             QStringLiteral("cablemeter-cli catalogue --port DEVICE [--verify]"),
                             arguments, exitCode) ||
        !requireOptions(parser, {port}, exitCode) || !requirePortName(parser.value(port), exitCode))
        return exitCode;

    // Something that is not a file in the catalogue file's place is told before the meter is
    // read; the catalogue checks again when it writes.
    const QString catalogueFile =
        QDir::toNativeSeparators(QFileInfo(QLatin1String(kCatalogueFileName)).absoluteFilePath());
    if (const std::optional<QString> refusal = refusalToWrite(catalogueFile)) {
        printProblem(*refusal);
        return kExitFileFailed;
    }

    MeterSession session(parser.value(port), m_watch, standardErrorIsTerminal(),
                         parser.isSet(verify));
    if (!session.open()) {
        printProblem(session.openError());
        return kExitPortNotOpened;
    }

    ScreenPicture unusedPicture; // the catalogue draws only when a record is clicked
    RecordCatalogue catalogue(session.controls(), session.link(), unusedPicture);
    catalogue.Command7_Click();

    if (m_watch.isInterrupted()) {
        printProblem(QStringLiteral("interrupted; MeterDat.dat was left as it was."));
        return m_watch.exitCode();
    }
    if (session.controls().reportedErrorCount() > 0) {
        // A page that did not arrive leaves its reason with the link; a file problem does not.
        return session.link().lastError().isEmpty() ? kExitFileFailed : kExitMeterFailed;
    }
    if (parser.isSet(verify))
        printMessage(verifiedNote());
    return kExitSuccess;
}

} // namespace cablemeter::cli
