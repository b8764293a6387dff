# shellcheck shell=bash
# Sourced by scripts/windows.sh --test: the history and the workbook on
# Windows. tarvex-read.exe keeps a download in the history at its default
# place (%LOCALAPPDATA%\Tarvex\) and writes a workbook; the Linux reader does
# the same download. tarvex-history.exe must then list what tarvex-history
# lists, and export the same files from the same history file, here on a
# Cyrillic path. Console output is compared without the CRs Windows puts in.
WIN_HISTORY=$TARVEX_ROOT/build-win/tools/history/tarvex-history.exe
LINUX_HISTORY=$TARVEX_ROOT/build/tools/tarvex-history
H=$WORK/history
mkdir -p "$H/linux" "$H/windows"

# same WHAT A B: files A and B must be equal.
same() {
    if cmp -s "$2" "$3"; then
        echo "identical: $1"
    else
        echo "DIFFERENT: $1 ($2, $3)"
        diff "$2" "$3" | head -5 || true
        failures=$((failures + 1))
    fi
}

# same_workbook WHAT A B: the sheets, their texts and formats must be equal.
# docProps/core.xml differs by design: libxlsxwriter stamps it with the time
# of writing, and its comments name the port and when it was read.
same_workbook() {
    local what=$1 a=$H/unzipped-a b=$H/unzipped-b part ok=1
    rm -rf "$a" "$b"
    unzip -q -d "$a" "$2" && unzip -q -d "$b" "$3" || ok=0
    for part in xl/worksheets/sheet1.xml xl/worksheets/sheet2.xml xl/sharedStrings.xml \
        xl/styles.xml xl/workbook.xml; do
        if ! cmp -s "$a/$part" "$b/$part"; then
            ok=0
            echo "  $part differs"
        fi
    done
    if [ "$ok" = 1 ]; then
        echo "identical: $what (sheets, shared strings, styles)"
    else
        echo "DIFFERENT: $what ($2, $3)"
        failures=$((failures + 1))
    fi
}

# run_win NAME ARGS...: a Windows program's status, its output in NAME.out
# with CRLF made LF, its errors in NAME.err; in the locale $LOCALE.
LOCALE=ru_RU.UTF-8
run_win() {
    local name=$1 status=0
    shift
    (cd "$H/windows" && LC_ALL=$LOCALE bounded 300 wine "$@" >"$name.raw" 2>"$name.err") || status=$?
    tr -d '\r' <"$H/windows/$name.raw" >"$H/windows/$name.out"
    return "$status"
}

echo "== the history and the workbook: tarvex-read.exe, tarvex-history.exe"
# A persistent server again (the tests before may have stopped it), started
# before the simulator's pty becomes COM3.
stop_wine
start_wine
start_sim history --seed 13 --position 40
(cd "$H/linux" && TARVEX_DATABASE=$H/linux/история.sqlite3 LC_ALL=ru_RU.UTF-8 "$LINUX_READ" \
    --port 3 --count 80 --format xlsx --output чтение.xlsx >read.log 2>&1) ||
    { echo "the Linux reader failed: $H/linux/read.log"; failures=$((failures + 1)); }
windows_history=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tarvex/history.sqlite3
rm -f "$windows_history"
# In Russian: this locale makes Wine's interface language Russian.
if run_win read "$WIN_READ" --port 3 --count 80 --format xlsx --output чтение.xlsx &&
    [ -f "$windows_history" ] && grep -q "сохранен[аоы] [0-9]* нов" "$H/windows/read.err"; then
    echo "kept in %LOCALAPPDATA%\\Tarvex\\history.sqlite3"
else
    echo "NOT KEPT: tarvex-read.exe's download (see $H/windows/read.err)"
    failures=$((failures + 1))
fi
same_workbook "tarvex-read.exe --format xlsx" "$H/linux/чтение.xlsx" "$H/windows/чтение.xlsx"
# Only the new records: the history knows this instrument's last position.
LOCALE=C.UTF-8
if run_win new "$WIN_READ" --port 3 --new --format table --output новые.xls &&
    grep -q "No new records since the last download" "$H/windows/new.err"; then
    echo "tarvex-read.exe --new finds the last download in the history"
else
    echo "NOT FOUND: the last download, by tarvex-read.exe --new (see $H/windows/new.err)"
    failures=$((failures + 1))
fi

# Lists and figures in English: the messages' language is not compared here.
LOCALE=C.UTF-8
TARVEX_DATABASE=$H/linux/история.sqlite3 LC_ALL=$LOCALE "$LINUX_HISTORY" list >"$H/linux/list.out" 2>&1 || true
run_win list "$WIN_HISTORY" list || true
same "tarvex-history.exe list (its own history)" "$H/linux/list.out" "$H/windows/list.out"

# The Linux history on a Cyrillic path in the prefix: both programs read the
# same file, so even the download times in the exports agree.
shared='C:\Данные лаборатории\история.sqlite3'
mkdir -p "$WINEPREFIX/drive_c/Данные лаборатории"
cp "$H/linux/история.sqlite3" "$WINEPREFIX/drive_c/Данные лаборатории/"
for args in "list --csv" "list --cell 1 --from 01.05.2021" "stats"; do
    name=$(echo "$args" | tr -c 'a-z0-9\n' '-')
    # shellcheck disable=SC2086 # the words are the options
    TARVEX_DATABASE=$H/linux/история.sqlite3 LC_ALL=$LOCALE "$LINUX_HISTORY" $args 2>&1 |
        sed 's|^History: .*||' >"$H/linux/$name.out" || true
    # shellcheck disable=SC2086
    run_win "$name" "$WIN_HISTORY" $args --database "$shared" || true
    sed -i 's|^History: .*||' "$H/windows/$name.out"
    same "tarvex-history.exe $args" "$H/linux/$name.out" "$H/windows/$name.out"
done
# The exports with the decimal comma.
LOCALE=ru_RU.UTF-8
for form in table:xls report:doc xlsx:xlsx; do
    (cd "$H/linux" && TARVEX_DATABASE=$H/linux/история.sqlite3 LC_ALL=$LOCALE "$LINUX_HISTORY" export \
        --format "${form%:*}" --output "выгрузка.${form#*:}" >/dev/null 2>&1) || true
    status=0
    run_win "export-${form%:*}" "$WIN_HISTORY" export --database "$shared" --format "${form%:*}" \
        --output "выгрузка.${form#*:}" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "FAILED: tarvex-history.exe export --format ${form%:*} (exit $status)"
        failures=$((failures + 1))
    elif [ "${form%:*}" = xlsx ]; then
        same_workbook "tarvex-history.exe export --format xlsx" "$H/linux/выгрузка.xlsx" \
            "$H/windows/выгрузка.xlsx"
    else
        same "tarvex-history.exe export --format ${form%:*}" "$H/linux/выгрузка.${form#*:}" \
            "$H/windows/выгрузка.${form#*:}"
    fi
done
# Exit statuses: nothing matches (1), a bad option (2), no history (6).
statuses=""
status=0
run_win status "$WIN_HISTORY" export --sample 9999 --database "$shared" || status=$?
statuses="$statuses $status"
status=0
run_win status "$WIN_HISTORY" list --bogus || status=$?
statuses="$statuses $status"
status=0
run_win status "$WIN_HISTORY" list --database 'C:\нет\h.sqlite3' || status=$?
statuses="$statuses $status"
if [ "$statuses" = " 1 2 6" ]; then
    echo "exit statuses as on Linux: 1 nothing to export, 2 bad usage, 6 no history"
else
    echo "DIFFERENT exit statuses:$statuses (expected 1 2 6)"
    failures=$((failures + 1))
fi
