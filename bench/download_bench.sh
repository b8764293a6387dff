#!/usr/bin/env bash
# Times a full 2000-record download by tarvex-read from tarvex-sim with the
# line paced at 9600 baud and a 5 ms turnaround, and sets it against the time
# the same traffic needs on the line. Builds nothing: give the build directory
# (default build/ under the source tree).
#
# Line-time limit: every byte of every frame the simulator received (its log,
# so repeats are counted too) and of the reply to each, at 11 bits per byte
# at 9600 baud, plus one turnaround per reply. The port search's presence
# exchange is counted in the limit as it is in the elapsed time.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
SIM=$BUILD/tools/tarvex-sim
READ=$BUILD/tools/tarvex-read
TURNAROUND_MS=5
COUNT=2000
for exe in "$SIM" "$READ" /usr/bin/time; do
    [ -x "$exe" ] || { echo "missing $exe (build first; /usr/bin/time is package 'time')" >&2; exit 1; }
done

WORK=$(mktemp -d)
SIM_PID=
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

"$SIM" --position 1500 --turnaround "$TURNAROUND_MS" --log "$WORK/sim.log" >"$WORK/sim.out" &
SIM_PID=$!
for _ in $(seq 100); do
    [ -s "$WORK/sim.out" ] && break
    sleep 0.1
done
DEVICE=$(head -n1 "$WORK/sim.out")
[ -n "$DEVICE" ] || { echo "tarvex-sim printed no device" >&2; exit 1; }

echo "== tarvex-read --count $COUNT from $DEVICE (paced, ${TURNAROUND_MS} ms turnaround)"
status=0
(cd "$WORK" && /usr/bin/time -v -o "$WORK/time.txt" \
    "$READ" --count "$COUNT" --device "$DEVICE" --output "$WORK/out.doc" \
    >"$WORK/read.out" 2>"$WORK/read.err") || status=$?
if [ "$status" -ne 0 ]; then
    echo "tarvex-read failed with status $status:" >&2
    cat "$WORK/read.err" >&2
    exit 1
fi
cat "$WORK/read.out"

# Reply length by request code: presence echo 5, position 7, empty cells 56, record 38.
awk -v turnaround="$TURNAROUND_MS" '
    BEGIN { reply["ff"] = 5; reply["0b"] = 7; reply["0c"] = 56; reply["0a"] = 38 }
    NF >= 3 { bytes += NF + reply[$3]; replies++ }
    END {
        printf "frames %d, bytes on the line %d\n", replies, bytes
        printf "%.6f\n", bytes * 11 / 9600 + replies * turnaround / 1000 > "/dev/stderr"
    }' "$WORK/sim.log" 2>"$WORK/limit.txt"
LIMIT=$(cat "$WORK/limit.txt")

ELAPSED=$(awk -F': ' '/Elapsed \(wall clock\)/ {
    n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$WORK/time.txt")
USER=$(awk -F': ' '/User time/ { print $2 }' "$WORK/time.txt")
SYS=$(awk -F': ' '/System time/ { print $2 }' "$WORK/time.txt")
RSS=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt")

awk -v e="$ELAPSED" -v l="$LIMIT" -v u="$USER" -v s="$SYS" -v r="$RSS" 'BEGIN {
    cpu = u + s
    printf "elapsed           %8.2f s\n", e
    printf "line-time limit   %8.2f s\n", l
    printf "ratio             %8.3f   (goal <= 1.10)\n", e / l
    printf "CPU (user+sys)    %8.2f s = %.2f %% of elapsed   (goal < 2 %%)\n", cpu, 100 * cpu / e
    printf "peak memory       %8.1f MB   (goal < 20 MB)\n", r / 1024
}'
