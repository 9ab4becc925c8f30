#!/usr/bin/env bash
# Starts the program against the simulated meter with the bundled demo records. Builds only the
# window, the simulator, the demo image and the screen background, in build-demo/ (or
# $CABLEMETER_DEMO_BUILD_DIR), so the test command's build/ keeps its tests. COM1 in the window
# leads to the simulator's pseudo-terminal. A rerun with nothing to build starts at once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_DEMO_BUILD_DIR:-$top/build-demo}
target=cablemeter_demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: run this from a desktop session (or under xvfb-run)." >&2
    exit 1
fi

"$top/scripts/install-deps.sh" build

log="$build/demo-build.log"
if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "Building cablemeter and the simulated meter in $build (a few minutes the first time) ..."
    mkdir -p "$build"
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >"$log" 2>&1 ||
        { cat "$log" >&2; exit 1; }
fi
# Only the compile and link steps are shown, so a build with nothing to do prints nothing.
status=0
cmake --build "$build" -j"$(nproc)" --target "$target" 2>&1 | tee "$log" |
    grep --line-buffered -E '^\[ *[0-9]+%\] (Building|Linking)' || status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    echo "The build failed; its last lines ($log has them all):" >&2
    tail -n 30 "$log" >&2
    exit "$status"
fi
bin="$build/bin"

work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
"$bin/cablemeter-sim" --image "$bin/demo-meter.bin" >"$work/device" 2>"$work/meter.log" &
sim=$!
for _ in $(seq 50); do [ -s "$work/device" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/device")
[ -n "$device" ] || { echo "The simulated meter did not start:" >&2; cat "$work/meter.log" >&2; exit 1; }
echo "Simulated meter on $device (COM1). MeterDat.dat goes to $(pwd)."
CABLEMETER_COM1="$device" "$bin/cablemeter"
