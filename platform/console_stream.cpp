#include "platform/console_stream.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <unistd.h>
#endif

namespace cablemeter {

bool standardErrorIsTerminal()
{
#ifdef Q_OS_WIN
    // Only a console has a console mode; a file, a pipe or NUL has none.
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

} // namespace cablemeter
