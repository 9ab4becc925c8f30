#include "platform/console_stream.h"

#include <qt_windows.h>

namespace cablemeter {

bool standardErrorIsTerminal()
{
    // Only a console has a console mode; a file, a pipe or NUL has none.
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace cablemeter
