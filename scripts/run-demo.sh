#!/usr/bin/env bash
# Builds the program and starts it against the simulated meter with the bundled demo records.
# The simulator serves a pseudo-terminal; COM1 in the window leads to it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_BUILD_DIR:-$top/build}
"$top/scripts/build.sh"
bin="$build/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: run this from a desktop session (or under xvfb-run)." >&2
    exit 1
fi

work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
"$bin/cablemeter-sim" --image "$bin/demo-meter.bin" >"$work/device" 2>"$work/meter.log" &
sim=$!
for _ in $(seq 50); do [ -s "$work/device" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/device")
[ -n "$device" ] || { echo "The simulated meter did not start:" >&2; cat "$work/meter.log" >&2; exit 1; }
echo "Simulated meter on $device (COM1). MeterDat.dat goes to $(pwd)."
CABLEMETER_COM1="$device" "$bin/cablemeter"
