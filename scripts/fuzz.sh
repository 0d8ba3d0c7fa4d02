#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for SECONDS (default 60), one
# after the other: scripts/fuzz.sh [SECONDS]
#
# Each target starts from its checked-in seeds (fuzz/corpus/<target>) and
# keeps what it finds in build/fuzz/corpus/<target>. A crash, leak, time-out
# or undefined behaviour fails the script, with the input saved in
# build/fuzz/crashes/ (replay it: build/fuzz/fuzz/fuzz_<target> FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2; }
scripts/deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz
read -r -a targets < <(tr ';' ' ' <"$out/fuzz/targets.txt")
mkdir -p "$out/crashes"
summary=()
for t in "${targets[@]}"; do
    mkdir -p "$out/corpus/$t"
    log=$out/fuzz-$t.log
    echo "=== fuzz_$t for $seconds s"
    status=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$out/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/crashes/$t-" \
        "$out/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ] || grep -qE 'runtime error:|ERROR: (Address|Leak)Sanitizer' "$log"; then
        tail -n 60 "$log"
        echo "fuzz_$t FAILED (exit $status); input in $out/crashes/, log in $log" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    summary+=("fuzz_$t: $runs executions in $seconds s, no crash, leak or undefined behaviour")
done
printf '%s\n' "${summary[@]}"
