# shellcheck shell=bash
# Sourced by scripts/windows.sh --test: the installer installs silently into
# the folder /D= names, puts the Start-menu entries there, the installed
# reader runs, and the silent uninstall takes it all away again.
echo "== the installer, silently under Wine"
installer=$(ls "$TARVEX_ROOT"/build-win/tarvex-*-setup-x64.exe)
# /D= takes the rest of the command line, and Wine quotes an argument with a
# space, which NSIS would not take for /D=: a folder without one.
into='C:\Programs\Tarvex'
installed=$WINEPREFIX/drive_c/Programs/Tarvex
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/'Start Menu'/Programs/Tarvex
expected=(tarvex-read.exe tarvex-history.exe readme.txt licence.txt Uninstall.exe)
links=("Tarvex readme.lnk" Uninstall.lnk)
# The dialog, when this build has it, with its Start-menu entry.
if [ -n "$(find "$TARVEX_ROOT/build-win/_CPack_Packages" -name tarvex.exe)" ]; then
    expected+=(tarvex.exe)
    links+=(Tarvex.lnk)
fi

began=$(date +%s%N)
status=0
bounded 120 wine "$installer" /S "/D=$into" </dev/null >"$WORK/install.log" 2>&1 || status=$?
missing=()
for file in "${expected[@]}"; do [ -f "$installed/$file" ] || missing+=("$file"); done
for link in "${links[@]}"; do [ -f "$menu/$link" ] || missing+=("Start menu: $link"); done
if [ "$status" -eq 0 ] && [ ${#missing[@]} -eq 0 ]; then
    echo "installed in $((($(date +%s%N) - began) / 1000000)) ms: ${expected[*]}; Start menu: ${links[*]}"
else
    echo "NOT INSTALLED (exit $status): missing ${missing[*]}"
    failures=$((failures + 1))
fi

status=0
bounded 60 wine "$installed/tarvex-read.exe" --help </dev/null >"$WORK/installed-help.log" 2>&1 || status=$?
if [ "$status" -eq 0 ] && grep -q "^usage: tarvex-read" "$WORK/installed-help.log"; then
    echo "the installed tarvex-read.exe runs"
else
    echo "THE INSTALLED tarvex-read.exe FAILED (exit $status, see $WORK/installed-help.log)"
    failures=$((failures + 1))
fi

# The uninstaller copies itself away and runs from there: its end is seen by
# the files going.
began=$(date +%s%N)
bounded 120 wine "$installed/Uninstall.exe" /S </dev/null >"$WORK/uninstall.log" 2>&1 || true
for _ in $(seq 200); do
    [ -e "$installed/Uninstall.exe" ] || [ -e "$menu" ] || break
    sleep 0.1
done
left=$(find "$installed" "$menu" -type f 2>/dev/null || true)
if [ -z "$left" ]; then
    echo "uninstalled in $((($(date +%s%N) - began) / 1000000)) ms: no file left"
else
    echo "LEFT AFTER UNINSTALLING: $left"
    failures=$((failures + 1))
fi
