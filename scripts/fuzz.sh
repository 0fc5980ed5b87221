#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Prints the executions of each target and whether it found anything; exits non-zero when a
# target crashed, broke an invariant, hung or ran out of memory. Inputs that did so are kept in
# build-fuzz/findings/. Not part of the test run: it takes minutes and its results vary.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages clang libclang-rt-14-dev

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_read_frame fuzz_exchanges fuzz_customer_checks fuzz_form_decoding)
fi
case $seconds in
'' | *[!0-9]*)
    echo "The time per target must be a whole number of seconds, not '$seconds'." >&2
    exit 2
    ;;
esac

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELTORA_FUZZ=ON > /dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

failed=0
for target in "${targets[@]}"; do
    # New inputs go to a working corpus; the committed seeds are only read.
    work=$build/corpus/$target
    findings=$build/findings/$target
    log=$build/logs/$target.log
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    echo "== $target: ${seconds} s"
    status=0
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "tests/fuzz/corpus/$target" > "$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    echo "   executions: ${runs:-?}, per second: ${speed:-?}"
    if [ "$status" -ne 0 ]; then
        failed=1
        echo "   FOUND a fault (exit status $status); inputs in $findings, log in $log:"
        grep -m 3 -E 'invariant broken|ERROR: |SUMMARY: ' "$log" | sed 's/^/     /' || true
    else
        echo "   nothing found"
    fi
done
exit "$failed"
