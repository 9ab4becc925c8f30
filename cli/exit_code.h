#pragma once

namespace cablemeter::cli {

// The program's exit status, as documented in its --help.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitMeterFailed = 1,    // the meter did not answer, or its port went away while reading
    kExitUsage = 2,          // the command line was not understood
    kExitPortNotOpened = 3,  // the port is missing, busy or not ours to use
    kExitFileFailed = 4,     // a file could not be read or written
    kExitEarlierExport = 5,  // export: the folder holds an earlier export (see --force)
    kExitLimitsMistaken = 6, // report: the limits file has a mistake (its line is named)
};

// A run ended by a signal exits with 128 + the signal's number, as shells report it.
inline constexpr int kExitSignalBase = 128;

} // namespace cablemeter::cli
