#include "cli_process.h"

#include <QCoreApplication>

namespace cablemeter::testing {

namespace {
constexpr int kRunPatienceMs = 120000;
}

QStringList CliRun::outputLines() const
{
    return QString::fromUtf8(standardOutput).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString cliPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/cablemeter-cli");
}

void startCli(QProcess& process, const QStringList& arguments)
{
    process.setProgram(cliPath());
    process.setArguments(arguments);
    process.start();
}

CliRun runCli(const QStringList& arguments, const QString& workingDirectory,
              const QProcessEnvironment& extraEnvironment, const QStringList& unset)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(extraEnvironment);
    for (const QString& name : unset)
        environment.remove(name);
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    startCli(process, arguments);
    CliRun run;
    if (!process.waitForFinished(kRunPatienceMs)) {
        process.kill();
        process.waitForFinished();
        run.standardError = QStringLiteral("(did not end in time)");
        return run;
    }
    run.exitCode = process.exitCode();
    run.exitStatus = process.exitStatus();
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace cablemeter::testing
