#!/usr/bin/env bash
# The Windows x86-64 build, cross-compiled with mingw-w64 into build-win/.
#   scripts/windows.sh          installs what is missing, builds the libraries
#                               (scripts/windows_deps.sh), the programs and
#                               the installer
#   scripts/windows.sh --test   also runs the Windows tests under Wine: the
#                               core's and the history's unit tests, then
#                               tarvex-read.exe against tarvex-sim on a
#                               pseudo-terminal mapped as COM3, whose files
#                               must equal the Linux reader's, the dialog
#                               tarvex.exe on Xvfb, driven from outside against
#                               the same simulator, then the history,
#                               tarvex-history.exe and the installer
#                               (scripts/windows/*.sh)
# Every Wine step is bounded: a step that outlives its time is killed and
# fails the run (with the prefix's processes listed), so no step can hang CI.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$TARVEX_ROOT"

missing=()
for pkg in "${TARVEX_WINDOWS_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

echo "== Windows libraries (build-win/deps/)"
started=$(date +%s)
# TARVEX_WINDOWS_DEPS_DIR may keep them outside the clone (a CI cache).
deps=$("$TARVEX_ROOT/scripts/windows_deps.sh" "${TARVEX_WINDOWS_DEPS_DIR:-$TARVEX_ROOT/build-win/deps}" | tail -1)
echo "== Windows libraries ready in $(($(date +%s) - started)) s"

echo "== Windows build (build-win/)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DTARVEX_WINDOWS_DEPS="$deps" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build-win -j "$JOBS"
echo "== the installer"
(cd build-win && cpack -G NSIS64 >cpack.log 2>&1) || { cat build-win/cpack.log; exit 1; }
ls build-win/tarvex-*-setup-x64.exe

[ "${1:-}" = "--test" ] || exit 0

echo "== Windows build done at $SECONDS s"
echo "== Linux tarvex-sim and tarvex-read (build/), for the comparison"
install_dependencies
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build -j "$JOBS" --target tarvex-sim tarvex-read tarvex-history
SIM=$TARVEX_ROOT/build/tools/tarvex-sim
LINUX_READ=$TARVEX_ROOT/build/tools/tarvex-read
WIN_READ=$TARVEX_ROOT/build-win/tools/reader/tarvex-read.exe

# The prefix's own processes (their environment names it), for the log of a
# step that timed out: whatever still runs there is what it waited for.
wine_processes() {
    local proc
    for proc in /proc/[0-9]*; do
        if grep -qz "^WINEPREFIX=$WINEPREFIX\$" "$proc/environ" 2>/dev/null; then
            ps -o pid=,etimes=,args= -p "${proc#/proc/}" 2>/dev/null || true
        fi
    done
}

# bounded SECONDS COMMAND...: runs it, killed after SECONDS.
bounded() {
    local seconds=$1 status=0
    shift
    timeout -k 10 "$seconds" "$@" || status=$?
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "== timed out after $seconds s: $*; the prefix's processes:"
        wine_processes
    fi
    return "$status"
}

# stop_wine: the prefix's server and everything of it is gone afterwards. A
# server left from an earlier run (or a developer's) would otherwise serve a
# prefix made afresh at the same path from its old state.
stop_wine() {
    timeout 30 wineserver -k 2>/dev/null || true
    timeout 30 wineserver -w 2>/dev/null || true
}

# start_wine: one persistent server, so that each program starts in a few
# hundredths of a second instead of seconds. Wine's own services start with
# the first program a server runs and keep its standard error for as long as
# the server lives: started here, with no output, they hold no test's output
# or log open.
start_wine() {
    wineserver -p </dev/null >/dev/null 2>&1
    bounded 120 wine cmd /c exit </dev/null >/dev/null 2>&1
}

# A fresh Wine prefix with the fonts the dialogs are laid out in.
export WINEPREFIX=$TARVEX_ROOT/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine
rm -rf "$WINEPREFIX"
started=$(date +%s)
bounded 300 wineboot -i >/dev/null 2>&1
bounded 120 wineserver -w || stop_wine
# Two more COM ports, as drivers announce them (Wine registers its Ports at
# start): the search must try them after COM1 to COM4, in number order.
for port in COM12 COM7; do
    bounded 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d /dev/null /f \
        </dev/null >/dev/null 2>&1
done
bounded 120 wineserver -w || stop_wine
for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
echo "== Wine prefix made in $(($(date +%s) - started)) s"

SIMS=()
cleanup() {
    # wineserver holds the pty as its controlling terminal: it goes first.
    stop_wine
    for pid in "${SIMS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT
start_wine

WORK=$TARVEX_ROOT/build-win/e2e
rm -rf "$WORK"
mkdir -p "$WORK"

echo "== unit tests under Wine (at $SECONDS s)"
# Each test program runs through cmake/wine_test_run.sh, which keeps Wine's
# services off its output.
unitStatus=0
bounded 900 ctest --test-dir build-win --output-on-failure --timeout 120 || unitStatus=$?
if [ "$unitStatus" -ne 0 ]; then
    echo "== the prefix's processes after the unit tests:"
    wine_processes
    exit "$unitStatus"
fi

# start_sim NAME ARGS...: a paced simulator; its pty becomes COM3 for Wine and
# $TARVEX_COM3 for the Linux reader.
start_sim() {
    local name=$1
    shift
    "$SIM" "$@" >"$WORK/$name.sim" 2>&1 &
    SIMS+=($!)
    local pty=""
    for _ in $(seq 200); do
        pty=$(head -1 "$WORK/$name.sim" 2>/dev/null || true)
        [ -n "$pty" ] && break
        sleep 0.1
    done
    [ -n "$pty" ] || { echo "tarvex-sim did not start"; exit 1; }
    ln -sfn "$pty" "$WINEPREFIX/dosdevices/com3"
    export TARVEX_COM3=$pty
}

failures=0
# compare NAME LOCALE ARGS...: both readers download with these options; the
# results files must be byte-identical.
compare() {
    local name=$1 locale=$2
    shift 2
    mkdir -p "$WORK/linux" "$WORK/windows"
    local began linuxMs windowsMs status=0 linuxStatus=0
    began=$(date +%s%N)
    (cd "$WORK/linux" && LC_ALL=$locale bounded 300 "$LINUX_READ" --port 3 --no-history \
        --force --output "$name" "$@" >"$name.log" 2>&1) || linuxStatus=$?
    linuxMs=$((($(date +%s%N) - began) / 1000000))
    began=$(date +%s%N)
    (cd "$WORK/windows" && LC_ALL=$locale bounded 300 wine "$WIN_READ" --port 3 --no-history \
        --force --output "$name" "$@" >"$name.log" 2>&1) || status=$?
    windowsMs=$((($(date +%s%N) - began) / 1000000))
    if [ "$linuxStatus" -eq 0 ] && [ "$status" -eq 0 ] && cmp -s "$WORK/linux/$name" "$WORK/windows/$name"; then
        printf 'identical: %-20s Linux %6d ms, Wine %6d ms\n' "$name" "$linuxMs" "$windowsMs"
    else
        echo "DIFFERENT: $name (tarvex-read exit $linuxStatus, tarvex-read.exe exit $status;" \
            "see $WORK/windows/$name.log)"
        failures=$((failures + 1))
    fi
}

echo "== tarvex-read.exe against tarvex-sim on COM3 (at $SECONDS s)"
# The last 60 records from position 20: the download wraps round the ring.
start_sim clean --seed 11 --position 20
compare таблица-запятая.xls ru_RU.UTF-8 --count 60 --format table
compare table-point.xls C --count 60 --format table
compare report-comma.doc ru_RU.UTF-8 --count 60 --format report
compare report-point.doc de_DE.UTF-8 --count 60 --format report
stop_wine
kill "${SIMS[-1]}"
start_wine
# Dropped, corrupt, split and late replies: the retries must give the same file.
start_sim faults --seed 12 --faults 7:15:600
compare faults-table.xls ru_RU.UTF-8 --count 40 --format table --timeout 1500
compare faults-report.doc C --count 40 --format report --timeout 1500

# A form this build cannot write is refused before anything is asked of the
# instrument, in the user's interface language.
refused() {
    local locale=$1 text=$2 status=0
    (cd "$WORK/windows" && LC_ALL=$locale bounded 60 wine "$WIN_READ" --port 3 --format pdf \
        >"pdf-$locale.log" 2>&1) || status=$?
    if [ "$status" -eq 2 ] && grep -q "$text" "$WORK/windows/pdf-$locale.log" &&
        ! grep -q "COM3" "$WORK/windows/pdf-$locale.log"; then
        echo "refused before the download: --format pdf ($locale)"
    else
        echo "NOT REFUSED: --format pdf (exit $status; see $WORK/windows/pdf-$locale.log)"
        failures=$((failures + 1))
    fi
}
refused C "cannot write the pdf form"
refused ru_RU.UTF-8 "не умеет записывать форму pdf"

# The port search: the saved port (2 by default), COM1 to COM4, then the other
# ports present.
mkdir -p "$WORK/list" # no Vextar.ini: the saved port is the default
tried=$(cd "$WORK/list" && LC_ALL=C bounded 60 wine "$WIN_READ" --list-ports 2>&1 |
    sed -n '/search tries/,/^Other/p' | awk '$1 ~ /^[0-9]+\.$/ {sub(/^.*\\/, "", $2); print $2}' |
    tr '\n' ' ') || true
if [ "$tried" = "COM2 COM1 COM2 COM3 COM4 COM7 COM12 " ]; then
    echo "port search order: $tried"
else
    echo "WRONG PORT SEARCH ORDER: $tried"
    failures=$((failures + 1))
fi

echo "== tarvex.exe on Xvfb against tarvex-sim on COM3 (at $SECONDS s)"
# The dialog finds the instrument, reads 40 records into each form through
# the save dialog and writes Vextar.ini on closing; both files must equal
# the Linux reader's of the same records. Wine's desktop process must see
# the display, so the server is started again under Xvfb.
stop_wine
kill "${SIMS[-1]}"
start_sim dialog --seed 11 --position 20
mkdir -p "$WORK/dialog/reference" "$WORK/dialog/runs"
for form in table:xls report:doc; do
    (cd "$WORK/dialog/reference" && LC_ALL=ru_RU.UTF-8 bounded 300 "$LINUX_READ" --port 3 \
        --no-history --force --count 40 --format "${form%:*}" --output "reference.${form#*:}" \
        >/dev/null 2>&1)
done
# Drive Z: is /; winepath is not used, as it would start a server without the display.
windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }
status=0
TARVEX_DIALOG_EXE=$(windows_path build-win/app/win32/tarvex.exe) \
    TARVEX_DIALOG_WORK=$(windows_path "$WORK/dialog/runs") \
    TARVEX_DIALOG_REFERENCE=$(windows_path "$WORK/dialog/reference") LC_ALL=ru_RU.UTF-8 \
    bounded 420 xvfb-run -a -s "-screen 0 1024x768x24" bash -c \
    'wineserver -p; timeout 300 wine build-win/tests/windows/win32_dialog_test.exe; status=$?; wineserver -k; exit $status' \
    </dev/null >"$WORK/dialog.log" 2>&1 || status=$?
if [ "$status" -eq 0 ]; then
    grep -a '^\[  PASSED\|^\[       OK' "$WORK/dialog.log"
else
    echo "DIALOG TEST FAILED (status $status; see $WORK/dialog.log):"
    grep -a -A4 'Failure' "$WORK/dialog.log" | head -40
    failures=$((failures + 1))
fi

source "$TARVEX_ROOT/scripts/windows/history_test.sh"
source "$TARVEX_ROOT/scripts/windows/installer_test.sh"

if [ "$failures" -ne 0 ]; then
    echo "== $failures Windows comparisons failed"
    exit 1
fi
echo "== Windows tests passed in $SECONDS s"
