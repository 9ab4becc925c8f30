#include "cli/command_options.h"

#include "cli/console_output.h"
#include "cli/exit_code.h"

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
    if (parser.isSet(help)) {
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
