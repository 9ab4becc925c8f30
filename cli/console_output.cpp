#include "cli/console_output.h"

#include "platform/console_stream.h"

#include <QString>

#include <cstdio>

namespace cablemeter::cli {

namespace {

void write(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

void printLine(const QString& text)
{
    write(stdout, text + QLatin1Char('\n'));
}

void printMessage(const QString& text)
{
    write(stderr, text + QLatin1Char('\n'));
}

void printProblem(const QString& text)
{
    printMessage(QStringLiteral("cablemeter-cli: ") + text);
}

void printProgress(const QString& text)
{
    write(stderr, text);
}

bool standardErrorIsTerminal()
{
    return cablemeter::standardErrorIsTerminal();
}

} // namespace cablemeter::cli
