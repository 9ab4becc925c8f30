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

QString withVisibleControlCharacters(const QString& text)
{
    // C0 code c is shown as U+2400 + c, DEL as U+2421; C1 codes have no pictures of their own.
    constexpr char16_t kControlPictures = 0x2400;
    constexpr char16_t kDeletePicture = 0x2421;
    constexpr char16_t kReplacementCharacter = 0xFFFD;
    constexpr char16_t kLastC0 = 0x1F;
    constexpr char16_t kDelete = 0x7F;
    constexpr char16_t kFirstC1 = 0x80;
    constexpr char16_t kLastC1 = 0x9F;
    QString visible = text;
    for (QChar& c : visible) {
        const char16_t code = c.unicode();
        if (code <= kLastC0)
            c = QChar(char16_t(kControlPictures + code));
        else if (code == kDelete)
            c = QChar(kDeletePicture);
        else if (code >= kFirstC1 && code <= kLastC1)
            c = QChar(kReplacementCharacter);
    }
    return visible;
}

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
