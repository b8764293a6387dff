#!/usr/bin/env bash
# Times the workbook and PDF writers on 2000 records (bench/exports_bench),
# then downloads 2000 records from tarvex-sim with tarvex-read into each new
# form and reports the reader's peak memory. Builds nothing: give the build
# directory (default build/ under the source tree).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
SIM=$BUILD/tools/tarvex-sim
READ=$BUILD/tools/tarvex-read
BENCH=$BUILD/bench/exports_bench
for exe in "$SIM" "$READ" "$BENCH" /usr/bin/time; do
    [ -x "$exe" ] || { echo "missing $exe (build first; /usr/bin/time is package 'time')" >&2; exit 1; }
done

WORK=$(mktemp -d)
SIM_PID=
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

echo "== writers, 2000 records"
status=0
"$BENCH" "$WORK" || status=1

# The line is not what is measured here: no pacing.
"$SIM" --position 1500 --no-pacing >"$WORK/sim.out" &
SIM_PID=$!
for _ in $(seq 100); do
    [ -s "$WORK/sim.out" ] && break
    sleep 0.1
done
DEVICE=$(head -n1 "$WORK/sim.out")
[ -n "$DEVICE" ] || { echo "tarvex-sim printed no device" >&2; exit 1; }

echo "== tarvex-read --count 2000, peak memory (goal < 40 MB)"
for form in xlsx pdf; do
    (cd "$WORK" && env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/time -v -o "$WORK/time.txt" \
        "$READ" --count 2000 --device "$DEVICE" --format "$form" --output "$WORK/read.$form" \
        >/dev/null 2>"$WORK/read.err") || { cat "$WORK/read.err" >&2; exit 1; }
    awk -v form="$form" -F': ' '/Maximum resident set size/ {
        mb = $2 / 1024; printf "%-5s peak memory %6.1f MB%s\n", form, mb, mb < 40 ? "" : "  over the goal" }' \
        "$WORK/time.txt"
    awk -F': ' '/Maximum resident set size/ { exit !($2 / 1024 < 40) }' "$WORK/time.txt" || status=1
done
exit $status
