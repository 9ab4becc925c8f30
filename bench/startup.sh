#!/usr/bin/env bash
# Start-up to a shown window, and the window's memory, measured under Xvfb over several runs.
# Rerun: bench/startup.sh [build folder] [runs]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
runs=${2:-5}
if [ -z "${CABLEMETER_STARTUP_INNER:-}" ]; then
    exec env CABLEMETER_STARTUP_INNER=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$runs"
fi
for run in $(seq "$runs"); do
    start=$(date +%s%N)
    "$build/bin/cablemeter" 2>/dev/null &
    pid=$!
    # xdotool's own --sync polls only twice a second; poll every 10 ms instead.
    until xdotool search --onlyvisible --name "Marlo-CABLE METER" >/dev/null 2>&1; do sleep 0.01; done
    shown=$(date +%s%N)
    rss=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    kill "$pid"; wait "$pid" 2>/dev/null || true
    printf 'run %d: shown after %d ms, peak resident memory %d KiB\n' "$run" $(((shown - start) / 1000000)) "$rss"
done
