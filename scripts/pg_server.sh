#!/usr/bin/env bash
# scripts/pg_server.sh COMMAND [ARGS...]: runs COMMAND with a throwaway
# PostgreSQL server beside it, then stops the server and deletes its data
# whatever happens. COMMAND finds the server in TARVEX_TEST_POSTGRES, a libpq
# connection string (superuser "tarvex_test" over a Unix socket, no password).
# As root the server runs as nobody (it refuses root); as any other user, as
# that user. The status is COMMAND's. It also listens on the loopback
# (TARVEX_TEST_POSTGRES_TCP, without a database) where it refuses every
# login; with TARVEX_PG_TCP_PORT=N on port N, where it takes them (timings).
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

# Debian keeps the server's programs out of PATH, one folder per version.
BIN=
for dir in /usr/lib/postgresql/*/bin; do
    [ -x "$dir/postgres" ] && BIN=$dir
done
if [ -z "$BIN" ]; then
    BIN=$(dirname "$(command -v postgres 2>/dev/null || true)")
    [ -x "$BIN/postgres" ] || { echo "$0: no PostgreSQL server installed (postgresql-15)" >&2; exit 1; }
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-pg.XXXXXX")
as_server() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$WORK"
    as_server() { (cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"); }
fi

stop_server() {
    if [ -f "$WORK/data/postmaster.pid" ]; then
        as_server "$BIN/pg_ctl" stop -D "$WORK/data" -m immediate -w >/dev/null 2>&1 || true
    fi
    rm -rf "$WORK"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

# Logins over TCP are refused unless a port is asked for (the timings):
# another user of this machine could log in as the superuser otherwise.
# The refusal comes after the TLS request, which the tests need to meet.
HOST_AUTH=reject
[ -n "${TARVEX_PG_TCP_PORT:-}" ] && HOST_AUTH=trust
as_server "$BIN/initdb" -D "$WORK/data" -U tarvex_test --auth-local=trust --auth-host=$HOST_AUTH \
    -E UTF8 --locale=C.UTF-8 >"$WORK/initdb.log" 2>&1 || { cat "$WORK/initdb.log" >&2; exit 1; }
# The loopback port: the one asked for, else a free one (another server of
# this script may take one at the same moment: a few tries).
for try in 1 2 3 4 5; do
    PORT=${TARVEX_PG_TCP_PORT:-$((20000 + RANDOM % 40000))}
    if as_server "$BIN/pg_ctl" start -D "$WORK/data" -w -l "$WORK/server.log" \
        -o "-c listen_addresses=127.0.0.1 -c unix_socket_directories='$WORK' -c port=$PORT \
            -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=100" \
        >/dev/null 2>&1; then
        break
    fi
    if [ -n "${TARVEX_PG_TCP_PORT:-}" ] || [ "$try" = 5 ]; then
        cat "$WORK/server.log" >&2
        exit 1
    fi
done

export TARVEX_TEST_POSTGRES="host=$WORK port=$PORT user=tarvex_test dbname=postgres"
export TARVEX_TEST_POSTGRES_TCP="host=127.0.0.1 port=$PORT user=tarvex_test"
# In the background, so that a signal to this script is handled at once
# (bash runs a trap only after its foreground command ends): the command is
# stopped, then the server.
"$@" <&0 &
child=$!
trap 'kill -TERM "$child" 2>/dev/null; wait "$child"; exit 130' INT TERM
status=0
wait "$child" || status=$?
exit "$status"
