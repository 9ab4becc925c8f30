#include "cli/command_options.h"

#include "cli/console_output.h"
#include "cli/exit_code.h"

#include "platform/port_names.h"

#include <QCommandLineParser>

namespace cablemeter::cli {

namespace {

// The parser's own usage line names the executable's path; the command's synopsis replaces it.
QString helpText(const QCommandLineParser& parser, const QString& usage)
{
    QString text = parser.helpText();
    const qsizetype endOfFirstLine = text.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: ") + usage + QLatin1Char('\n') + text.mid(endOfFirstLine);
}

} // namespace

bool parseCommandOptions(QCommandLineParser& parser, const QString& usage,
                         const QStringList& arguments, int& exitCode)
{
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(arguments)) {
        printProblem(parser.errorText() + QStringLiteral("\nUsage: ") + usage);
        exitCode = kExitUsage;
        return false;
    }
    // Qt adds --help-all beside --help; both only show the help.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        printLine(helpText(parser, usage).trimmed());
        exitCode = kExitSuccess;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printProblem(QStringLiteral("unexpected argument \"%1\"\nUsage: %2")
                         .arg(parser.positionalArguments().constFirst(), usage));
        exitCode = kExitUsage;
        return false;
    }
    return true;
}

bool requireOptions(const QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                    int& exitCode)
{
    for (const QCommandLineOption& option : options) {
        if (!parser.isSet(option)) {
            printProblem(QStringLiteral("the option --%1 is missing (see --help)")
                             .arg(option.names().constLast()));
            exitCode = kExitUsage;
            return false;
        }
    }
    return true;
}

} // namespace cablemeter::cli

namespace cablemeter::cli {

std::optional<QString> portNameProblem(const QString& port)
{
    const QString advice = QStringLiteral(
        "\nGive --port the meter's serial device, e.g. /dev/ttyUSB0, or COM1 to COM4 as the "
        "window maps them (\"cablemeter-cli ports\" lists them).");
    if (port.trimmed().isEmpty())
        return QStringLiteral("--port names no port.") + advice;
    if (namedPortNumber(port, Qt::CaseInsensitive))
        return std::nullopt;
    // Anything else must be a path to the device, not a bare name.
    if (port.contains(QLatin1Char('/')) || port.contains(QLatin1Char('\\')))
        return std::nullopt;
    return QStringLiteral("\"%1\" is not a port name.").arg(port) + advice;
}

bool requirePortName(const QString& port, int& exitCode)
{
    if (const std::optional<QString> problem = portNameProblem(port)) {
        printProblem(*problem);
        exitCode = kExitUsage;
        return false;
    }
    return true;
}

QCommandLineOption verifyOption()
{
    return QCommandLineOption(
        QStringLiteral("verify"),
        QStringLiteral("Read every page twice and take it only when both reads agree (a third read "
                       "decides when they differ). About twice as long; recommended for copies "
                       "you keep."));
}

QString verifiedNote()
{
    return QStringLiteral("Verified: every page was read twice and compared.");
}

} // namespace cablemeter::cli
