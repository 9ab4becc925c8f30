#!/usr/bin/env bash
# Takes the README's screenshots: the window showing a Level, Tilt, Scan and Spectrum record of the
# demo meter, in a private X server, written to docs/screenshot-<screen>.png. Each picture is
# checked against the expected screen before it is taken.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_BUILD_DIR:-$top/build}
"$top/scripts/build.sh"
python3 "$top/tests/e2e/cablemeter_e2e.py" --bin "$build/bin" --golden "$top/tests/e2e/golden" \
    screenshots --out "$top/docs"
