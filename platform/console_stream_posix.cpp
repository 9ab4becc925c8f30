#include "platform/console_stream.h"

#include <unistd.h>

namespace cablemeter {

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace cablemeter
