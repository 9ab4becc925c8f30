#pragma once

class QString;

namespace cablemeter::cli {

// Lines for the user: results on stdout, messages and progress on stderr.
void printLine(const QString& text);
void printMessage(const QString& text);
// A message that starts with the program's name, as command-line tools say what went wrong.
void printProblem(const QString& text);
// Text on stderr without an added newline (a progress line redrawn in place).
void printProgress(const QString& text);

// The text with every control character (C0, DEL, C1) shown as one visible character: a NUL
// cannot cut a line short, a line feed cannot split it and no escape sequence reaches the
// terminal, and the line keeps its width. The C0 codes become their pictures (U+2400 on).
QString withVisibleControlCharacters(const QString& text);

// Whether stderr is a terminal: progress bars are drawn only there.
bool standardErrorIsTerminal();

} // namespace cablemeter::cli
