#!/usr/bin/env bash
# Runs every libFuzzer target for longer: scripts/fuzz-long.sh [seconds per target, default 600].
# The corpus of each target is kept between runs in build-fuzz/long-corpus/<target>/ (never
# committed); a crashing input lands in build-fuzz/long-crashes/ and fails the script. Prints the
# executions and the corpus size of each target.
set -euo pipefail
seconds=${1:-600}
top=$(cd "$(dirname "$0")/.." && pwd)
build=${CABLEMETER_FUZZ_BUILD_DIR:-$top/build-fuzz}
jobs=${CABLEMETER_JOBS:-$(nproc)}
targets=(receive_handler_fuzzer renderers_fuzzer catalogue_listing_fuzzer)

"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCABLEMETER_FUZZ=ON >/dev/null
cmake --build "$build" -j"$jobs" --target cablemeter_fuzzers >/dev/null

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$top/scripts/sanitizer-leak-suppressions.txt:print_suppressions=0"
crashes="$build/long-crashes"
logs="$build/long-logs"
mkdir -p "$crashes" "$logs"

failed=()
printf '%-26s %12s %9s %12s  %s\n' target executions inputs bytes result
for target in "${targets[@]}"; do
    corpus="$build/long-corpus/$target"
    log="$logs/$target.log"
    mkdir -p "$corpus"
    status=0
    "$build/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$crashes/$target-" "$corpus" "$top/fuzz/corpus/$target" >"$log" 2>&1 ||
        status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    inputs=$(find "$corpus" -type f | wc -l)
    bytes=$(du -sb "$corpus" | cut -f1)
    result=ok
    if [ "$status" -ne 0 ]; then
        result="FAILED (exit $status, see $log)"
        failed+=("$target")
    fi
    printf '%-26s %12s %9s %12s  %s\n' "$target" "${executions:-?}" "$inputs" "$bytes" "$result"
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "Failed: ${failed[*]}; crashing inputs in $crashes" >&2
    for target in "${failed[@]}"; do
        grep -E 'ERROR|Invariant broken|runtime error|SUMMARY' "$logs/$target.log" | head -n 5 >&2
    done
    exit 1
fi
