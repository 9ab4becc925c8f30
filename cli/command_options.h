#pragma once

#include <QList>
#include <QStringList>

#include <optional>

class QCommandLineOption;
class QCommandLineParser;

namespace cablemeter::cli {

// Parses one command's options. False when the command is to end at once with `exitCode`: 0
// after showing its help (--help or --help-all) on stdout, the usage status after explaining a
// mistake on stderr. `usage` is the command's synopsis, e.g. "cablemeter-cli dump --port DEVICE
// --out FILE".
bool parseCommandOptions(QCommandLineParser& parser, const QString& usage,
                         const QStringList& arguments, int& exitCode);

// False (and explained on stderr) when one of the options is missing; exitCode becomes the usage
// status.
bool requireOptions(const QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                    int& exitCode);

// --verify: every page is read twice and taken only when the reads agree.
QCommandLineOption verifyOption();
// What a verified copy tells the user at its end.
QString verifiedNote();

// Why `port` names no port, and what to give instead: nothing when it is COM1 to COM4 (in any
// case) or a path to a device. An empty name and bare words ("COM5", "ttyUSB0") are refused
// rather than guessed at.
std::optional<QString> portNameProblem(const QString& port);
// False (and explained on stderr) when `port` names no port; exitCode becomes the usage status.
bool requirePortName(const QString& port, int& exitCode);

} // namespace cablemeter::cli
