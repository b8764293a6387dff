#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program's main job against the
# bundled simulated instrument: tarvex-sim on a pseudo-terminal mapped to COM3,
# then the dialog when a display is available, otherwise the headless reader.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$TARVEX_ROOT"
install_dependencies
build build

workdir="$TARVEX_ROOT/build/demo"
mkdir -p "$workdir"
build/tools/tarvex-sim --seed 7 --position 1234 --link "$workdir/instrument" >"$workdir/sim.out" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$workdir/instrument" ] && break; sleep 0.1; done
export TARVEX_COM3="$workdir/instrument"
# The simulator's records go to a history of the demo's own, never into the
# user's measurement history.
export TARVEX_DATABASE="$workdir/history.sqlite3"
echo "== simulated instrument on $(cat "$workdir/sim.out"), mapped to COM3"
echo "== measurement history of the demo: $TARVEX_DATABASE"

cd "$workdir"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$TARVEX_ROOT/build/app/tarvex" ]; then
    echo "== starting tarvex; results files are saved where you choose"
    "$TARVEX_ROOT/build/app/tarvex"
else
    echo "== no display: downloading 100 records with tarvex-read"
    "$TARVEX_ROOT/build/tools/tarvex-read" --count 100 --force
fi
echo "== settings, results and the demo's history are in $workdir"
echo "   (look back: build/tools/tarvex-history list --database $TARVEX_DATABASE)"
