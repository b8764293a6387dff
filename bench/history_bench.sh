#!/usr/bin/env bash
# Times the measurement history: merging a 2000-record download, and
# tarvex-history on a synthetic history of RECORDS records (default 1,000,000):
# list --sample N, stats, and the bytes the file takes per record; then the
# history window on the same file (offscreen): first rows, filters, a sort.
# Builds nothing: give the build directory (default build/ under the source tree).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build}
RECORDS=${2:-1000000}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
BENCH=$BUILD/bench/history_bench
HISTORY=$BUILD/tools/tarvex-history
WINDOW=$BUILD/bench/history_window_bench
for exe in "$BENCH" "$HISTORY" "$WINDOW"; do
    [ -x "$exe" ] || { echo "missing $exe (build first)" >&2; exit 1; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BENCH" merge "$WORK/merge.sqlite3"
"$BENCH" fill "$WORK/big.sqlite3" "$RECORDS"

# Best of five, in milliseconds, of a command whose output is dropped.
best_ms() {
    local best=
    for _ in 1 2 3 4 5; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        local ms=$(((end - start) / 1000000))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}

DB=(--database "$WORK/big.sqlite3")
rows=$("$HISTORY" list "${DB[@]}" --sample 1234 --csv | tail -n +2 | wc -l)
echo "tarvex-history list --sample 1234 ($rows records): $(best_ms "$HISTORY" list "${DB[@]}" --sample 1234) ms"
echo "tarvex-history list --sample 1234 --from 2022-01-01: $(best_ms "$HISTORY" list "${DB[@]}" --sample 1234 --from 2022-01-01) ms"
echo "tarvex-history stats: $(best_ms "$HISTORY" stats "${DB[@]}") ms"
bytes=$(stat -c %s "$WORK/big.sqlite3")
echo "file: $bytes bytes, $((bytes / RECORDS)) bytes per record"

QT_QPA_PLATFORM=offscreen "$WINDOW" "$WORK/big.sqlite3" 1234 2>/dev/null
