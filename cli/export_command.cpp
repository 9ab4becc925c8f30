#include "cli/export_command.h"

#include "catalogue/background_picture.h"
#include "catalogue/record_catalogue.h"
#include "cli/command_options.h"
#include "cli/console_output.h"
#include "cli/exit_code.h"
#include "cli/interrupt_watch.h"
#include "cli/meter_session.h"
#include "export/record_export.h"
#include "export/recording_page_reader.h"
#include "link/flash_image_reader.h"
#include "link/meter_link.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace cablemeter::cli {

namespace {

const QStringList kPictureFormats = {QStringLiteral("png"), QStringLiteral("bmp")};

// The window's background, found as the window finds it; a plain picture (and a warning) without
// it.
QImage screenBackground()
{
    const BackgroundPicture background =
        findBackgroundPicture(QCoreApplication::applicationDirPath());
    if (background.image.isNull())
        printProblem(background.error + QStringLiteral("\nScreens are drawn on a plain picture."));
    return background.image;
}

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
    const QCommandLineOption image(QStringLiteral("image"),
                                   QStringLiteral("Read the records from a flash image file "
                                                  "(as dump writes it)."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Read the records from the meter on this "
                                                 "serial device (or COM1 to COM4)."),
                                  QStringLiteral("DEVICE"));
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
    const QCommandLineOption verify = verifyOption();
    parser.addOptions({image, port, dir, format, json, force, verify});
    int exitCode = kExitSuccess;
    if (!parseCommandOptions(parser, usage, arguments, exitCode) ||
        !requireOptions(parser, {dir}, exitCode))
        return exitCode;
    if (parser.isSet(image) == parser.isSet(port)) {
        printProblem(QStringLiteral("give either --image FILE or --port DEVICE\nUsage: ") + usage);
        return kExitUsage;
    }
    if (parser.isSet(image) && parser.isSet(verify)) {
        printProblem(QStringLiteral("--verify checks what is read from the meter: it goes with "
                                    "--port, not --image\nUsage: ") +
                     usage);
        return kExitUsage;
    }
    if (parser.isSet(port) && !requirePortName(parser.value(port), exitCode))
        return exitCode;
    const QString pictureFormat = parser.value(format).toLower();
    if (!kPictureFormats.contains(pictureFormat)) {
        printProblem(
            QStringLiteral("unknown picture format \"%1\": png or bmp").arg(parser.value(format)));
        return kExitUsage;
    }

    const RecordExport::Settings settings{parser.value(dir), pictureFormat, parser.isSet(json),
                                          screenBackground(), parser.isSet(force)};

    if (parser.isSet(image)) {
        FlashImageReader imageReader;
        if (!imageReader.load(parser.value(image))) {
            printProblem(imageReader.lastError());
            return kExitFileFailed;
        }
        return RecordExport(imageReader, m_watch, settings).run();
    }

    MeterSession session(parser.value(port), m_watch, false, parser.isSet(verify));
    if (!session.open()) {
        printProblem(session.openError());
        return kExitPortNotOpened;
    }
    // Each page comes from the meter once; drawing and decoding a record read the same pages.
    RecordingPageReader meterPages(session.link());
    const int status = RecordExport(meterPages, m_watch, settings).run();
    if (status == kExitSuccess && parser.isSet(verify))
        printMessage(verifiedNote());
    return status;
}

} // namespace cablemeter::cli
