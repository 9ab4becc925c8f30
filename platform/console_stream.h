#pragma once

namespace cablemeter {

// Whether the program's standard error goes to a terminal (a console window on Windows) rather
// than to a file or a pipe.
bool standardErrorIsTerminal();

} // namespace cablemeter
