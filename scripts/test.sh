#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build, the
# Debian package made from it and checked, the Windows build and its tests
# under Wine (scripts/windows.sh --test), the link and download tests under
# ThreadSanitizer, the whole suite under
# AddressSanitizer with UndefinedBehaviorSanitizer, then a bounded fuzz run.
# The plain and the AddressSanitizer suites run beside a throwaway PostgreSQL
# server (scripts/pg_server.sh), whose tests must then run, not be skipped.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$TARVEX_ROOT"
install_dependencies

export QT_QPA_PLATFORM=offscreen
export TARVEX_TEST_POSTGRES_REQUIRED=1

# Totals over every ctest run and the fuzz targets, printed however the run ends.
PASSED=0
FAILED=0
trap 'echo; echo "tests: $PASSED passed, $FAILED failed"' EXIT

# run_ctest BUILD_DIR [ctest options...]: runs and adds its counts to the totals.
# With WITH_SERVER=1 in its environment, beside a throwaway PostgreSQL server.
run_ctest() {
    local log status=0 beside=()
    [ "${WITH_SERVER:-0}" = 1 ] && beside=(scripts/pg_server.sh)
    log=$(mktemp)
    "${beside[@]}" ctest --test-dir "$@" --output-on-failure -j "$JOBS" | tee "$log" || status=$?
    local counts
    counts=$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log")
    rm -f "$log"
    if [ -n "$counts" ]; then
        set -- $counts
        FAILED=$((FAILED + $1))
        PASSED=$((PASSED + $2 - $1))
    elif [ "$status" -ne 0 ]; then
        FAILED=$((FAILED + 1))
    fi
    return "$status"
}

echo "== build and test"
build build -DTARVEX_WERROR=ON
WITH_SERVER=1 run_ctest build

echo "== Debian package"
# Packed from the build above (no second build); checked without installing.
if deb=$(scripts/package.sh build | tail -n 1) && scripts/check_package.sh "$deb"; then
    PASSED=$((PASSED + 1))
else
    FAILED=$((FAILED + 1))
    exit 1
fi

echo "== Windows build, tests under Wine"
# Bounded as a whole as well as step by step: a Wine that hangs fails the run
# instead of holding CI.
if timeout -k 30 900 scripts/windows.sh --test; then
    PASSED=$((PASSED + 1))
else
    FAILED=$((FAILED + 1))
    exit 1
fi

echo "== ThreadSanitizer: link and download tests"
build build-tsan -DTARVEX_WERROR=ON -DTARVEX_GUI=OFF -DTARVEX_SANITIZE=thread
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build-tsan -L threads

echo "== AddressSanitizer and UndefinedBehaviorSanitizer: whole suite"
build build-asan -DTARVEX_WERROR=ON -DTARVEX_SANITIZE=address,undefined
WITH_SERVER=1 ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" run_ctest build-asan

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzzing"
    if scripts/fuzz.sh; then
        PASSED=$((PASSED + 4))
    else
        FAILED=$((FAILED + 1))
        exit 1
    fi
fi
