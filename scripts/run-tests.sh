#!/usr/bin/env bash
# Builds everything and runs every test: unit, simulator, GUI offscreen, whole program over a pty,
# end-to-end on Xvfb, then a short smoke run of each fuzz target (a clang build of its own).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_BUILD_DIR:-$top/build}
"$top/scripts/build.sh" "$@"
(cd "$build" && ctest --output-on-failure -j"$(nproc)")
"$top/scripts/run-fuzz-smoke.sh"
