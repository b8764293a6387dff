#!/usr/bin/env bash
# The Windows dialog under Wine on the paced simulator: the time until its
# window shows, and a download of COUNT records (default 2000) from the click
# until the save dialog opens, set against the line-time limit of the same
# traffic. Builds nothing: run scripts/windows.sh first (build-win/), and
# have tarvex-sim built in build/ (scripts/windows.sh --test builds it).
#   bench/win32_dialog_bench.sh [COUNT]
#
# Line-time limit: every position, empty-cell and record frame the simulator
# received (its log, so repeats count too) and the reply to each, at 11 bits
# per byte at 9600 baud, plus one turnaround per reply. The port search
# before the click and the closing frame after the last record are left out
# of both figures.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
COUNT=${1:-2000}
TURNAROUND_MS=5
SIM=$ROOT/build/tools/tarvex-sim
BENCH=$ROOT/build-win/tests/windows/win32_dialog_bench.exe
DIALOG=$ROOT/build-win/app/win32/tarvex.exe
for file in "$SIM" "$BENCH" "$DIALOG"; do
    [ -e "$file" ] || { echo "missing $file (scripts/windows.sh --test builds it)" >&2; exit 1; }
done

WORK=$(mktemp -d)
export WINEPREFIX=$WORK/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
SIM_PID=
cleanup() {
    wineserver -k 2>/dev/null || true # before the pty closes: it is the server's terminal
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

echo "== a Wine prefix with the dialog's fonts"
wineboot -i >/dev/null 2>&1
wineserver -w
for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done

"$SIM" --position 1500 --turnaround "$TURNAROUND_MS" --log "$WORK/sim.log" >"$WORK/sim.out" &
SIM_PID=$!
for _ in $(seq 100); do
    [ -s "$WORK/sim.out" ] && break
    sleep 0.1
done
ln -sfn "$(head -n1 "$WORK/sim.out")" "$WINEPREFIX/dosdevices/com3"
mkdir -p "$WORK/run"

echo "== tarvex.exe, $COUNT records from tarvex-sim on COM3 (paced, ${TURNAROUND_MS} ms turnaround)"
# The server and Wine's own processes are up before the clock starts, as on
# a PC where Windows is running.
# Drive Z: is /; winepath is not used, as it would start a server without the display.
windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }
TARVEX_DIALOG_EXE=$(windows_path "$DIALOG") TARVEX_DIALOG_WORK=$(windows_path "$WORK/run") \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c \
    "wineserver -p; wine cmd /c exit; wine '$BENCH' $COUNT; status=\$?; wineserver -k; exit \$status" \
    </dev/null >"$WORK/bench.out" 2>&1 || { cat "$WORK/bench.out" >&2; exit 1; }
grep -a -E '^(window up|download)' "$WORK/bench.out"

# Reply length by request code: position 7, empty cells 56, record 38.
LIMIT=$(awk -v turnaround="$TURNAROUND_MS" '
    BEGIN { reply["0b"] = 7; reply["0c"] = 56; reply["0a"] = 38 }
    NF >= 3 && ($3 in reply) { bytes += NF + reply[$3]; replies++ }
    END { printf "%.6f\n", bytes * 11 / 9600 + replies * turnaround / 1000 }' "$WORK/sim.log")
ELAPSED=$(awk '/^download/ { print $2 / 1000 }' "$WORK/bench.out")
WINDOW=$(awk '/^window up/ { print $3 / 1000 }' "$WORK/bench.out")
awk -v e="$ELAPSED" -v l="$LIMIT" -v w="$WINDOW" 'BEGIN {
    printf "window up         %8.2f s   (goal <= 1 s)\n", w
    printf "download          %8.2f s\n", e
    printf "line-time limit   %8.2f s\n", l
    printf "ratio             %8.3f   (goal <= 1.05)\n", e / l
}'
