#!/usr/bin/env python3
"""Checks the layers of the source tree, which the build alone cannot see.

Every target includes our headers from the repository root, so a header-only include from a lower
folder into a higher one ("link/" including "screens/...") compiles and links. This check reads
every #include "<folder>/..." and fails on one that goes against the order

    platform <- link <- screens <- catalogue <- export <- app, cli

(app and cli sit side by side and do not include each other; the simulator stands alone). It also
fails on a test for the operating system (#if Q_OS_WIN, _WIN32, __linux__ ...) outside the files
kept for one system (*_posix.cpp, *_linux.cpp, *_win.cpp).

    check_layers.py <repository root>    checks the tree, names every fault, exits 1 on any
    check_layers.py --self-test          shows that planted faults are caught
"""
import os
import re
import sys
import tempfile

# Each folder may include its own headers and those of the folders with a lower rank.
RANKS = {"platform": 0, "link": 1, "screens": 2, "catalogue": 3, "export": 4, "app": 5, "cli": 5}
# The simulator is checked against the program, so it includes nothing of it.
STANDALONE = {"sim"}
CHECKED_FOLDERS = set(RANKS) | STANDALONE
SOURCE_SUFFIXES = (".h", ".cpp")
SYSTEM_FILE_SUFFIXES = ("_posix.cpp", "_linux.cpp", "_win.cpp")

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z0-9_]+)/')
SYSTEM_TEST = re.compile(
    r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(Q_OS_\w+|_WIN32|_WIN64|WIN32|__linux__|__unix__|__APPLE__)\b")


def may_include(folder, included):
    if folder == included:
        return True
    if folder in STANDALONE or included in STANDALONE:
        return False
    if included not in RANKS:
        return True  # not one of our layers (tests/support is the tests' own)
    return RANKS[included] < RANKS[folder]


def faults_in(root):
    faults = []
    for folder in sorted(CHECKED_FOLDERS):
        top = os.path.join(root, folder)
        for directory, _, names in os.walk(top):
            for name in sorted(names):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(directory, name)
                shown = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as file:
                    lines = file.readlines()
                for number, line in enumerate(lines, 1):
                    include = INCLUDE.match(line)
                    if include and not may_include(folder, include.group(1)):
                        faults.append(f"{shown}:{number}: {folder}/ may not include "
                                      f"{include.group(1)}/: {line.strip()}")
                    if SYSTEM_TEST.match(line) and not name.endswith(SYSTEM_FILE_SUFFIXES):
                        faults.append(f"{shown}:{number}: a test for the operating system belongs "
                                      f"in a *_posix.cpp, *_linux.cpp or *_win.cpp file: "
                                      f"{line.strip()}")
    return faults


def self_test():
    """Plants one fault of each kind in a small tree and expects exactly those to be named."""
    tree = {
        "platform/serial_port.h": "#include <QString>\n",
        "platform/port_names_win.cpp": "#ifdef Q_OS_WIN\n#endif\n",
        "link/meter_link.cpp": '#include "platform/serial_port.h"\n#include "link/meter_link.h"\n',
        "link/meter_link.h": "\n",
        "screens/level_screen.cpp": '#include "link/meter_link.h"\n',
        "app/main_window.cpp": '#include "export/record_export.h"\n',
        "cli/main.cpp": '#include "export/record_export.h"\n',
        "export/record_export.h": "\n",
        "sim/meter_simulator.cpp": '#include "sim/meter_simulator.h"\n',
        # The planted faults:
        "link/uses_screens.cpp": '#include "screens/level_screen.h"\n',
        "cli/uses_window.cpp": '#include "app/main_window.h"\n',
        "sim/uses_link.cpp": '#include "link/meter_link.h"\n',
        "platform/console.cpp": "#if defined(Q_OS_WIN)\n#endif\n",
    }
    expected = ["cli/uses_window.cpp:1", "link/uses_screens.cpp:1", "platform/console.cpp:1",
                "sim/uses_link.cpp:1"]
    with tempfile.TemporaryDirectory() as root:
        for path, text in tree.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as file:
                file.write(text)
        found = sorted(fault.split(": ")[0] for fault in faults_in(root))
    if found != expected:
        print(f"The check named {found}, expected {expected}")
        return 1
    print(f"The check names all {len(expected)} planted faults and nothing else")
    return 0


def main(arguments):
    if arguments == ["--self-test"]:
        return self_test()
    if len(arguments) != 1:
        print(__doc__)
        return 2
    faults = faults_in(arguments[0])
    for fault in faults:
        print(fault)
    print(f"{len(faults)} fault(s) against the layers "
          "platform <- link <- screens <- catalogue <- export <- app, cli")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
