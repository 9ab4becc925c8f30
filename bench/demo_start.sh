#!/usr/bin/env bash
# Times the quick start's demo command from its start to a shown window, under Xvfb: the first
# run includes whatever has to be built, further runs show what a rerun with nothing to do costs.
# Rerun: bench/demo_start.sh [runs]   (needs xvfb and xdotool: scripts/install-deps.sh test)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
if [ -z "${CABLEMETER_DEMO_BENCH_INNER:-}" ]; then
    exec env CABLEMETER_DEMO_BENCH_INNER=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$runs"
fi
for run in $(seq "$runs"); do
    output=$(mktemp)
    start=$(date +%s%N)
    setsid "$top/scripts/run-demo.sh" >"$output" 2>&1 &
    demo=$!
    until xdotool search --onlyvisible --name "Marlo-CABLE METER" >/dev/null 2>&1; do
        kill -0 "$demo" 2>/dev/null || { echo "run-demo.sh ended early:" >&2; cat "$output" >&2; exit 1; }
        sleep 0.01
    done
    shown=$(date +%s%N)
    # The demo's whole process group: the script, the simulator and the window.
    kill -- "-$demo" 2>/dev/null || true
    wait "$demo" 2>/dev/null || true
    # The next run must not see this run's window.
    while xdotool search --onlyvisible --name "Marlo-CABLE METER" >/dev/null 2>&1; do sleep 0.05; done
    printf 'run %d: window shown after %d ms; the script printed %d lines\n' "$run" \
        $(((shown - start) / 1000000)) "$(wc -l <"$output")"
    sed 's/^/    | /' "$output"
    rm -f "$output"
done
