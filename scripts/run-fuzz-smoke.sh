#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $CABLEMETER_FUZZ_BUILD_DIR) and
# gives each a short smoke run from its seed corpus (the CTest tests labelled "fuzz").
# Extra arguments go to ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_FUZZ_BUILD_DIR:-$top/build-fuzz}
jobs=${CABLEMETER_JOBS:-$(nproc)}
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCABLEMETER_FUZZ=ON >/dev/null
cmake --build "$build" -j"$jobs" --target cablemeter_fuzzers
cd "$build"
ctest --output-on-failure -j"$jobs" -L fuzz "$@"
