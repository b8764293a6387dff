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
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$TARVEX_ROOT"

# tcl makes SQLite's amalgamation and dpkg-dev unpacks Debian's source
# packages (scripts/windows_deps.sh); nsis makes the installer.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine googletest python3 xvfb xauth
                  tcl dpkg-dev libz-mingw-w64-dev nsis)

missing=()
for pkg in "${WINDOWS_PACKAGES[@]}"; do
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

echo "== Linux tarvex-sim and tarvex-read (build/), for the comparison"
install_dependencies
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build -j "$JOBS" --target tarvex-sim tarvex-read tarvex-history
SIM=$TARVEX_ROOT/build/tools/tarvex-sim
LINUX_READ=$TARVEX_ROOT/build/tools/tarvex-read
WIN_READ=$TARVEX_ROOT/build-win/tools/reader/tarvex-read.exe

# A fresh Wine prefix with the fonts the dialogs are laid out in, and one
# persistent wineserver, so that each program starts in a few hundredths of a
# second instead of seconds.
export WINEPREFIX=$TARVEX_ROOT/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
started=$(date +%s)
wineboot -i >/dev/null 2>&1
wineserver -w
for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
echo "== Wine prefix made in $(($(date +%s) - started)) s"

SIMS=()
cleanup() {
    # wineserver holds the pty as its controlling terminal: it goes first.
    wineserver -k 2>/dev/null || true
    for pid in "${SIMS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT
# Wine's own services start with the first program and live as long as the
# server: started here, they hold no test's output open (ctest would wait
# for them).
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

WORK=$TARVEX_ROOT/build-win/e2e
rm -rf "$WORK"
mkdir -p "$WORK"

echo "== unit tests under Wine"
# A first console program with its output elsewhere starts whatever Wine
# starts on demand; once a ctest run waited for Win32.LinkUnit until its
# time-out right after a fresh prefix (not understood yet).
wine build-win/tests/windows/win32_link_unit_tests.exe --gtest_list_tests </dev/null >/dev/null 2>&1
ctest --test-dir build-win --output-on-failure --timeout 60

# start_sim NAME ARGS...: a paced simulator; its pty becomes COM3 for Wine and
# $TARVEX_COM3 for the Linux reader.
start_sim() {
    local name=$1
    shift
    "$SIM" "$@" >"$WORK/$name.sim" 2>&1 &
    SIMS+=($!)
    local pty=""
    for _ in $(seq 100); do
        pty=$(head -1 "$WORK/$name.sim" 2>/dev/null || true)
        [ -n "$pty" ] && break
        sleep 0.05
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
    local began linuxMs windowsMs status=0
    began=$(date +%s%N)
    (cd "$WORK/linux" && LC_ALL=$locale "$LINUX_READ" --port 3 --no-history --force \
        --output "$name" "$@" >"$name.log" 2>&1)
    linuxMs=$((($(date +%s%N) - began) / 1000000))
    began=$(date +%s%N)
    (cd "$WORK/windows" && LC_ALL=$locale wine "$WIN_READ" --port 3 --no-history --force \
        --output "$name" "$@" >"$name.log" 2>&1) || status=$?
    windowsMs=$((($(date +%s%N) - began) / 1000000))
    if [ "$status" -eq 0 ] && cmp -s "$WORK/linux/$name" "$WORK/windows/$name"; then
        printf 'identical: %-20s Linux %6d ms, Wine %6d ms\n' "$name" "$linuxMs" "$windowsMs"
    else
        echo "DIFFERENT: $name (tarvex-read.exe exit $status; see $WORK/windows/$name.log)"
        failures=$((failures + 1))
    fi
}

echo "== tarvex-read.exe against tarvex-sim on COM3"
# The last 60 records from position 20: the download wraps round the ring.
start_sim clean --seed 11 --position 20
compare таблица-запятая.xls ru_RU.UTF-8 --count 60 --format table
compare table-point.xls C --count 60 --format table
compare report-comma.doc ru_RU.UTF-8 --count 60 --format report
compare report-point.doc de_DE.UTF-8 --count 60 --format report
wineserver -k
kill "${SIMS[-1]}"
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
# Dropped, corrupt, split and late replies: the retries must give the same file.
start_sim faults --seed 12 --faults 7:15:600
compare faults-table.xls ru_RU.UTF-8 --count 40 --format table --timeout 1500
compare faults-report.doc C --count 40 --format report --timeout 1500

# A form this build cannot write is refused before anything is asked of the
# instrument.
status=0
(cd "$WORK/windows" && wine "$WIN_READ" --port 3 --format pdf >pdf.log 2>&1) || status=$?
if [ "$status" -eq 2 ] && grep -q "cannot write the pdf form" "$WORK/windows/pdf.log" &&
    ! grep -q "COM3" "$WORK/windows/pdf.log"; then
    echo "refused before the download: --format pdf"
else
    echo "NOT REFUSED: --format pdf (exit $status; see $WORK/windows/pdf.log)"
    failures=$((failures + 1))
fi

echo "== tarvex.exe on Xvfb against tarvex-sim on COM3"
# The dialog finds the instrument, reads 40 records into each form through
# the save dialog and writes Vextar.ini on closing; both files must equal
# the Linux reader's of the same records. Wine's desktop process must see
# the display, so the server is started again under Xvfb.
wineserver -k
kill "${SIMS[-1]}"
start_sim dialog --seed 11 --position 20
mkdir -p "$WORK/dialog/reference" "$WORK/dialog/runs"
for form in table:xls report:doc; do
    (cd "$WORK/dialog/reference" && LC_ALL=ru_RU.UTF-8 "$LINUX_READ" --port 3 --no-history \
        --force --count 40 --format "${form%:*}" --output "reference.${form#*:}" >/dev/null 2>&1)
done
# Drive Z: is /; winepath is not used, as it would start a server without the display.
windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }
status=0
TARVEX_DIALOG_EXE=$(windows_path build-win/app/win32/tarvex.exe) \
    TARVEX_DIALOG_WORK=$(windows_path "$WORK/dialog/runs") \
    TARVEX_DIALOG_REFERENCE=$(windows_path "$WORK/dialog/reference") LC_ALL=ru_RU.UTF-8 \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c \
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
echo "== Windows tests passed"
