#!/usr/bin/env bash
# Builds everything and runs every test (unit, simulator, GUI offscreen, end-to-end).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_BUILD_DIR:-$top/build}
"$top/scripts/build.sh" "$@"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
