#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz), replays every committed regression
# input and seed, then fuzzes each target for FUZZ_SECONDS (default 60), two
# targets at a time, and prints executions and coverage per target.
# Installs nothing: scripts/test.sh has done that. Any crash fails the script
# and leaves its input under build-fuzz/work/crashes/<target>/.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$TARVEX_ROOT"

FUZZ_SECONDS=${FUZZ_SECONDS:-60}
TARGETS=(reply_gatherer download_sequence results_writer profile_file)
BUILD=build-fuzz
WORK=$TARVEX_ROOT/$BUILD/work

CC=clang CXX=clang++ cmake -S "$TARVEX_ROOT" -B "$TARVEX_ROOT/$BUILD" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_WERROR=ON -DTARVEX_GUI=OFF -DTARVEX_FUZZ=ON -DTARVEX_TESTS=OFF \
    -DTARVEX_SANITIZE=address,undefined >/dev/null
# Only the fuzz targets: the test suite runs in the other builds.
cmake --build "$TARVEX_ROOT/$BUILD" --target fuzz_all -j "$JOBS"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

mkdir -p "$WORK"
echo "== replaying regression inputs and seeds"
for t in "${TARGETS[@]}"; do
    inputs=()
    for f in fuzz/regressions/"$t"/* fuzz/corpus/"$t"/*; do
        [ -f "$f" ] && [ "$(basename "$f")" != .gitkeep ] && inputs+=("$f")
    done
    [ ${#inputs[@]} -eq 0 ] && continue
    if ! "$BUILD/fuzz/fuzz_$t" "${inputs[@]}" >"$WORK/$t.replay.log" 2>&1; then
        tail -n 40 "$WORK/$t.replay.log"
        echo "FAIL: $t fails on a committed input" >&2
        exit 1
    fi
    echo "$t: ${#inputs[@]} inputs pass"
done

# fuzz_one TARGET: one bounded run in its own working corpus.
fuzz_one() {
    local t=$1
    mkdir -p "$WORK/corpus/$t" "$WORK/crashes/$t"
    cp -n fuzz/corpus/"$t"/* "$WORK/corpus/$t/" 2>/dev/null || true
    "$TARVEX_ROOT/$BUILD/fuzz/fuzz_$t" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
        -max_len=4096 -timeout=10 -artifact_prefix="$WORK/crashes/$t/" \
        "$WORK/corpus/$t" >"$WORK/$t.log" 2>&1
}

echo "== fuzzing, ${FUZZ_SECONDS} s per target"
failed=0
for ((i = 0; i < ${#TARGETS[@]}; i += 2)); do
    pids=()
    for t in "${TARGETS[@]:i:2}"; do
        fuzz_one "$t" &
        pids+=($!)
    done
    for p in "${pids[@]}"; do
        wait "$p" || failed=1
    done
done

printf '%-20s %12s %8s %8s %s\n' target executions cov ft result
for t in "${TARGETS[@]}"; do
    log=$WORK/$t.log
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    last=$(grep -E '^#[0-9]+' "$log" | grep -E 'cov: ' | tail -n 1 || true)
    cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
    crash=$(ls "$WORK/crashes/$t" 2>/dev/null | head -n 1)
    printf '%-20s %12s %8s %8s %s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
        "${crash:+CRASH $WORK/crashes/$t/$crash}"
    [ -n "$crash" ] && failed=1
done
if [ "$failed" -ne 0 ]; then
    echo "FAIL: a fuzz target crashed; see the logs in $WORK" >&2
    exit 1
fi
