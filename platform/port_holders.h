#pragma once

#include <QList>
#include <QString>

namespace cablemeter {

// A program that has a device open, as the process table names it.
struct PortHolder {
    // The program names of this program's window and command line: a port they hold is held
    // by another copy of this program.
    static constexpr char kWindowProgram[] = "cablemeter";
    static constexpr char kCommandLineProgram[] = "cablemeter-cli";

    QString program; // empty when the table does not say
    QString process; // the process id

    bool isWindow() const { return program == QLatin1String(kWindowProgram); }
    bool isCommandLine() const { return program == QLatin1String(kCommandLineProgram); }
    // "minicom (process 4711)", "another cablemeter window (process 812)", "a program (process
    // 99)".
    QString text() const;
};

// The programs that have a device open, found through the process table under `processRoot`
// (/proc). Only the user's own processes can be seen; empty on systems without such a table.
// The meter simulator is left out: it keeps its end of the line open, as a meter does.
QList<PortHolder> programsHolding(const QString& device,
                                  const QString& processRoot = QStringLiteral("/proc"));

} // namespace cablemeter
