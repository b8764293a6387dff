#!/usr/bin/env bash
# Times the shared history on a PostgreSQL server over the loopback: a
# synthetic history of RECORDS records (default 1,000,000), then merges of
# 2000-record downloads into it, tarvex-history list --sample N as a whole
# process (connecting included), stats, the bytes a record takes on the
# server, and the history window's first rows (offscreen).
# Needs a server: run it as
#   TARVEX_PG_TCP_PORT=55433 scripts/pg_server.sh bench/server_history_bench.sh
# (over TCP; without the port, over the Unix socket), or give
# TARVEX_TEST_POSTGRES (a superuser's connection string) yourself.
# Builds nothing: give the build directory (default build/ under the source tree).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build}
RECORDS=${2:-1000000}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
BENCH=$BUILD/bench/history_bench
HISTORY=$BUILD/tools/tarvex-history
WINDOW=$BUILD/bench/history_window_bench
for exe in "$BENCH" "$HISTORY"; do
    [ -x "$exe" ] || { echo "missing $exe (build first)" >&2; exit 1; }
done
: "${TARVEX_TEST_POSTGRES:?no server: run under scripts/pg_server.sh}"

DB=tarvex_bench_$$
psql "$TARVEX_TEST_POSTGRES" -qAtc "CREATE DATABASE $DB" >/dev/null
trap 'psql "$TARVEX_TEST_POSTGRES" -qAtc "DROP DATABASE IF EXISTS $DB WITH (FORCE)" >/dev/null' EXIT
# Over the loopback (TCP), as a PC on the lab's network would connect.
LOCATION="$TARVEX_TEST_POSTGRES dbname=$DB"
if [ -n "${TARVEX_PG_TCP_PORT:-}" ]; then
    LOCATION="$TARVEX_TEST_POSTGRES_TCP dbname=$DB sslmode=disable"
fi
echo "server history: $LOCATION"
"$HISTORY" init "$LOCATION" >/dev/null

"$BENCH" fill "$LOCATION" "$RECORDS"
psql "$LOCATION" -qAtc "VACUUM ANALYZE" >/dev/null
"$BENCH" merge "$LOCATION"

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

ON=(--database "$LOCATION")
rows=$("$HISTORY" list "${ON[@]}" --sample 1234 --csv | tail -n +2 | wc -l)
echo "tarvex-history list --sample 1234 ($rows records): $(best_ms "$HISTORY" list "${ON[@]}" --sample 1234) ms"
echo "tarvex-history list --sample 1234 --from 2022-01-01: $(best_ms "$HISTORY" list "${ON[@]}" --sample 1234 --from 2022-01-01) ms"
echo "tarvex-history list --from 2022-03-01 --to 2022-03-02: $(best_ms "$HISTORY" list "${ON[@]}" --from 2022-03-01 --to 2022-03-02) ms"
echo "tarvex-history stats: $(best_ms "$HISTORY" stats "${ON[@]}") ms"
"$HISTORY" stats "${ON[@]}" | sed -n '1p;2p;6p'
read -r records bytes < <(psql "$LOCATION" -qAtF' ' -c \
    "SELECT count(*), pg_total_relation_size('tarvex.records') FROM tarvex.records")
sightings=$(psql "$LOCATION" -qAtc "SELECT pg_total_relation_size('tarvex.sightings') / greatest(count(*), 1) FROM tarvex.sightings")
echo "server: $((bytes / records)) bytes per record with its indexes, $sightings per sighting"

if [ -x "$WINDOW" ]; then
    QT_QPA_PLATFORM=offscreen "$WINDOW" "$LOCATION" 1234 2>/dev/null
fi
