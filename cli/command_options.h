#pragma once

#include <QList>
#include <QStringList>

class QCommandLineOption;
class QCommandLineParser;

namespace cablemeter::cli {

// Parses one command's options. False when the command is to end at once with `exitCode`: 0
// after showing its help on stdout, the usage status after explaining a mistake on stderr.
// `usage` is the command's synopsis, e.g. "cablemeter-cli dump --port DEVICE --out FILE".
bool parseCommandOptions(QCommandLineParser& parser, const QString& usage,
                         const QStringList& arguments, int& exitCode);

// False (and explained on stderr) when one of the options is missing; exitCode becomes the usage
// status.
bool requireOptions(const QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                    int& exitCode);

} // namespace cablemeter::cli
