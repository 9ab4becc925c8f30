#!/usr/bin/env bash
# Compiles every source of the core library, the window and the CLI for Windows, syntax only, with
# Debian's mingw-w64 cross compiler against Debian's Qt 6 headers. Nothing is linked or run: the
# check catches code that only builds on POSIX. The sources and their flags come from the build's
# compile_commands.json; the simulator (it serves a pseudo-terminal), the tests, the fuzz targets
# and the benchmarks are Linux-only and left out, and so are the files kept for POSIX and Linux
# (*_posix.cpp, *_linux.cpp). The Linux build does not compile the files kept for Windows
# (*_win.cpp): every one in the source tree is added, with the flags of a source of its folder.
# A name kept for POSIX or Linux without its *_win.cpp fails the check. The window's icon
# resource is compiled too. Exits non-zero and names the files on any error.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_BUILD_DIR:-$top/build}
compiler=x86_64-w64-mingw32-g++-posix
compiler_package=g++-mingw-w64-x86-64-posix

if ! command -v "$compiler" >/dev/null; then
    echo "Installing: $compiler_package"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$compiler_package"
fi

if [ ! -f "$build/compile_commands.json" ]; then
    echo "Configuring $build for its compile_commands.json"
    cmake -S "$top" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi

exec python3 - "$top" "$build" "$compiler" <<'PYTHON'
import concurrent.futures
import glob
import json
import os
import shlex
import subprocess
import sys
import tempfile

top, build, compiler = sys.argv[1:4]

# Linux-only parts, as folders of the source tree and of the build tree alike.
LINUX_ONLY = ("sim", "tests", "fuzz", "bench")
# Files kept for one system: the Linux build compiles the first two kinds, Windows the third.
LINUX_SUFFIXES = ("_posix.cpp", "_linux.cpp")
WINDOWS_SUFFIX = "_win.cpp"
# Programs whose build makes every generated source (moc, rcc) the check needs.
GENERATING_TARGETS = ("cablemeter", "cablemeter-cli")
# Flags of the Linux build that mean nothing to the Windows compiler, or that we set ourselves.
DROPPED_FLAGS = ("-c",)
DROPPED_PREFIXES = ("-fPIC", "-fPIE", "-fsanitize", "-fno-sanitize", "-std=")
DROPPED_WITH_VALUE = ("-o", "-MF", "-MT", "-MQ")


def top_folder(path):
    for root in (build, top):
        relative = os.path.relpath(path, root)
        if not relative.startswith(".."):
            return relative.split(os.sep)[0]
    return ""


def is_generated(path):
    return os.path.relpath(path, build).split(os.sep)[0] != ".."


def windows_arguments(entry):
    words = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    kept = []
    index = 1  # past the Linux compiler
    while index < len(words):
        word = words[index]
        value = words[index + 1] if index + 1 < len(words) else ""
        if word in DROPPED_WITH_VALUE:
            index += 2
        elif word == "-isystem" and "/mkspecs/" in value:
            index += 2  # the Linux mkspec's platform definitions are not Windows'
        elif word in DROPPED_FLAGS or word.startswith(DROPPED_PREFIXES) or word == entry["file"]:
            index += 1
        else:
            kept.append(word)
            index += 1
    return [compiler, "-std=c++20", "-fsyntax-only"] + kept


def compile_for_windows(entry, source):
    result = subprocess.run(windows_arguments(entry) + [source], cwd=entry["directory"],
                            capture_output=True, text=True)
    return result.returncode == 0, result.stdout + result.stderr


def is_build_tree(folder):
    return (os.path.realpath(folder) == os.path.realpath(build) or
            os.path.exists(os.path.join(folder, "CMakeCache.txt")))


def source_files_ending(suffixes):
    """The files of the source tree (build trees, hidden and Linux-only folders left out)."""
    found = []
    for directory, folders, names in os.walk(top):
        folders[:] = sorted(
            folder for folder in folders
            if not folder.startswith(".") and top_folder(os.path.join(directory, folder))
            not in LINUX_ONLY and not is_build_tree(os.path.join(directory, folder)))
        found += [os.path.join(directory, name) for name in sorted(names)
                  if name.endswith(suffixes)]
    return found


def flags_for(windows_file, compiled):
    """The compile_commands.json entry whose flags suit a *_win.cpp: the plain source of its name
    or the one kept for POSIX or Linux, else any source of its folder."""
    stem = windows_file[:-len(WINDOWS_SUFFIX)]
    for sibling in (stem + ".cpp",) + tuple(stem + suffix for suffix in LINUX_SUFFIXES):
        if sibling in compiled:
            return compiled[sibling]
    folder = os.path.dirname(windows_file)
    return next((entry for path, entry in sorted(compiled.items())
                 if os.path.dirname(path) == folder), None)


with open(os.path.join(build, "compile_commands.json")) as file:
    entries = json.load(file)
compiled = {}  # every source of the Linux build, by its path
for entry in entries:
    compiled.setdefault(os.path.normpath(os.path.join(entry["directory"], entry["file"])), entry)
checked = {path: entry for path, entry in compiled.items()
           if top_folder(path) not in LINUX_ONLY and not path.endswith(LINUX_SUFFIXES)}
if not checked:
    sys.exit(f"No sources of the window, the CLI or the core in {build}/compile_commands.json")

failed = []
windows_files = source_files_ending((WINDOWS_SUFFIX,))
linux_stems = {path[:-len(suffix)] for path in source_files_ending(LINUX_SUFFIXES)
               for suffix in LINUX_SUFFIXES if path.endswith(suffix)}
for stem in sorted(linux_stems):
    if stem + WINDOWS_SUFFIX not in windows_files:
        failed.append(os.path.relpath(stem + WINDOWS_SUFFIX, top))
        print(f"--- {failed[-1]} is missing: the Windows build would lack what "
              f"{os.path.basename(stem)}_posix.cpp or _linux.cpp defines")
for path in windows_files:
    entry = flags_for(path, compiled)
    if entry is None:
        failed.append(os.path.relpath(path, top))
        print(f"--- {failed[-1]}: no source of its folder in {build}/compile_commands.json to "
              "take its flags from; is its folder built?")
    else:
        checked[path] = entry

if any(is_generated(path) and not os.path.exists(path) for path in checked):
    print("Building the programs for their generated sources (moc, rcc)")
    subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count() or 1), "--target",
                    *GENERATING_TARGETS], check=True, stdout=subprocess.DEVNULL)

# The check is worthless unless Qt sees Windows: the compiler defines _WIN32 and Qt derives
# Q_OS_WIN from it. Probe it with the first source's flags.
first_entry = next(iter(checked.values()))
with tempfile.TemporaryDirectory() as folder:
    probe = os.path.join(folder, "windows_probe.cpp")
    with open(probe, "w") as file:
        file.write("#include <QtGlobal>\n"
                   "#ifndef Q_OS_WIN\n#error Q_OS_WIN is not defined: Qt does not see Windows\n#endif\n"
                   "#if defined(Q_OS_LINUX) || defined(Q_OS_UNIX)\n#error Qt still sees a Unix\n#endif\n")
    probe_passed, probe_output = compile_for_windows(first_entry, probe)
if not probe_passed:
    sys.exit(f"The Windows probe failed; nothing was checked:\n{probe_output}")

workers = os.cpu_count() or 1
with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
    outcomes = pool.map(lambda path: (path, *compile_for_windows(checked[path], path)),
                        sorted(checked))
    compile_failures = 0
    for path, passed, output in outcomes:
        shown = os.path.relpath(path, top)
        if not passed:
            compile_failures += 1
            failed.append(shown)
            print(f"--- {shown}\n{output}", end="" if output.endswith("\n") else "\n")

windows_only = sum(1 for path in checked if path.endswith(WINDOWS_SUFFIX))
print(f"{len(checked)} sources compiled for Windows ({compiler}, syntax only), {windows_only} "
      f"of them *{WINDOWS_SUFFIX}: {len(checked) - compile_failures} passed, "
      f"{compile_failures} failed")

# The window's icon resource, with the cross compiler's resource compiler.
resource_compiler = compiler.replace("g++-posix", "windres")
for resource in sorted(glob.glob(os.path.join(top, "packaging", "windows", "*.rc"))):
    shown = os.path.relpath(resource, top)
    result = subprocess.run([resource_compiler, resource, "-o", os.devnull],
                            cwd=os.path.dirname(resource), capture_output=True, text=True)
    print(f"{shown} compiled with {resource_compiler}: {'passed' if result.returncode == 0 else 'failed'}")
    if result.returncode != 0:
        failed.append(shown)
        print(result.stdout + result.stderr)

for shown in failed:
    print(f"  FAILED {shown}")
sys.exit(1 if failed else 0)
PYTHON
