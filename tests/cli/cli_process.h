#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace cablemeter::testing {

// The real cablemeter-cli executable (next to the tests), run to the end.
struct CliRun {
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray standardOutput;
    QString standardError;

    QStringList outputLines() const;
    bool exitedWith(int code) const
    {
        return exitStatus == QProcess::NormalExit && exitCode == code;
    }
};

QString cliPath();

// Runs the program with these arguments in `workingDirectory` (the test's folder when empty),
// with the environment of the test plus `extraEnvironment`, less the variables `unset`.
CliRun runCli(const QStringList& arguments, const QString& workingDirectory = {},
              const QProcessEnvironment& extraEnvironment = {}, const QStringList& unset = {});

// Starts the program without waiting for it.
void startCli(QProcess& process, const QStringList& arguments);

} // namespace cablemeter::testing
