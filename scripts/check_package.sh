#!/usr/bin/env bash
# Checks a built package the way a user's machine meets it, without
# installing it: lintian finds nothing; unpacked into a temporary root, each
# program runs from there (--help, a download from the unpacked simulator,
# the Russian catalogue found beside the programs); the desktop entry, the
# AppStream data and the systemd units pass their validators.
#
#   scripts/check_package.sh build/tarvex_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
pass() { echo "ok: $*"; }

# lintian refuses nothing as root but says it would rather not: stdout only.
tags=$(lintian --pedantic --display-info --no-tag-display-limit "$deb" 2>/dev/null || true)
if [ -n "$tags" ]; then fail "lintian:"$'\n'"$tags"; else pass "lintian --pedantic: no tags"; fi

root=$work/root
dpkg -x "$deb" "$root"
bin=$root/usr/bin

for program in tarvex tarvex-read tarvex-history tarvex-sim; do
    if [ ! -x "$bin/$program" ]; then
        fail "$program missing from the package"
    elif ! "$bin/$program" --help >"$work/help" 2>&1 || ! grep -q "$program" "$work/help"; then
        fail "$program --help:"$'\n'"$(cat "$work/help")"
    else
        pass "$program --help"
    fi
done
for program in tarvex-read tarvex-history; do
    if LC_ALL=ru_RU.UTF-8 LANGUAGE=ru "$bin/$program" --help 2>&1 | grep -q "Код завершения\|историю измерений"; then
        pass "$program finds the Russian catalogue"
    else
        fail "$program --help is not in Russian under ru_RU.UTF-8"
    fi
done

# A download from the unpacked simulator, paced as the instrument's line is.
(cd "$work" && exec "$bin/tarvex-sim" --seed 7 --position 300 --link "$work/instrument" >sim.out) &
sim=$!
for _ in $(seq 100); do [ -e "$work/instrument" ] && break; sleep 0.1; done
if (cd "$work" && "$bin/tarvex-read" --device "$work/instrument" --count 10 --no-history \
    --output-dir "$work/results" >read.out 2>read.err); then
    pass "tarvex-read downloads from tarvex-sim: $(cat "$work/read.out")"
else
    fail "tarvex-read from the package:"$'\n'"$(cat "$work/read.err")"
fi

desktop=$root/usr/share/applications/tarvex.desktop
if desktop-file-validate "$desktop"; then pass "desktop-file-validate"; else fail "desktop entry"; fi
if appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml >"$work/as" 2>&1; then
    pass "appstreamcli validate"
else
    fail "appstreamcli validate:"$'\n'"$(cat "$work/as")"
fi

# The units as installed, but naming the unpacked reader: verify checks that
# the program exists and that the man page named in Documentation= opens.
units=$work/units
mkdir -p "$units" "$work/runtime"
sed "s|/usr/bin/|$bin/|" "$root/usr/lib/systemd/user/tarvex-read.service" >"$units/tarvex-read.service"
cp "$root/usr/lib/systemd/user/tarvex-read.timer" "$units/"
if XDG_RUNTIME_DIR=$work/runtime MANPATH=$root/usr/share/man \
    systemd-analyze verify --user "$units/tarvex-read.service" "$units/tarvex-read.timer" >"$work/verify" 2>&1 &&
    [ ! -s "$work/verify" ]; then
    pass "systemd-analyze verify --user"
else
    fail "systemd-analyze verify:"$'\n'"$(cat "$work/verify")"
fi
calendar=$(sed -n 's/^OnCalendar=//p' "$units/tarvex-read.timer")
if systemd-analyze calendar "$calendar" >/dev/null; then
    pass "systemd-analyze calendar '$calendar'"
else
    fail "calendar '$calendar'"
fi
grep -q '^Persistent=true' "$units/tarvex-read.timer" && grep -q '^RandomizedDelaySec=' "$units/tarvex-read.timer" ||
    fail "the timer lacks Persistent=true or RandomizedDelaySec"

# Bash completion as bash-completion loads it.
completion=$root/usr/share/bash-completion/completions/tarvex-read
if [ -f /usr/share/bash-completion/bash_completion ]; then
    words=$(bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"
        COMP_WORDS=(tarvex-read --output-d); COMP_CWORD=1; COMP_LINE="tarvex-read --output-d"
        COMP_POINT=${#COMP_LINE}; _tarvex_read; echo "${COMPREPLY[*]}"' _ "$completion")
    if [ "$words" = "--output-dir" ]; then pass "bash completion"; else fail "completion gave '$words'"; fi
fi

exit "$failed"
