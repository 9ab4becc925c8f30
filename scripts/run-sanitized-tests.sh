#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (or
# $CABLEMETER_ASAN_BUILD_DIR) and runs the whole test suite there. Extra arguments go to ctest.
# Any sanitizer report fails the test that raised it: undefined behaviour aborts at once, and
# LeakSanitizer checks every test program at exit (only third-party leaks are suppressed).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_ASAN_BUILD_DIR:-$top/build-asan}
jobs=${CABLEMETER_JOBS:-$(nproc)}
"$top/scripts/install-deps.sh"

start=$(date +%s)
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCABLEMETER_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$jobs"
built=$(date +%s)

export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$top/scripts/sanitizer-leak-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
(cd "$build" && ctest --output-on-failure -j"$jobs" "$@") || status=$?
finished=$(date +%s)
echo "Sanitized build: $((built - start)) s, sanitized tests: $((finished - built)) s."
exit "$status"
