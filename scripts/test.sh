#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build, the
# link and download tests under ThreadSanitizer, the whole suite under
# AddressSanitizer with UndefinedBehaviorSanitizer, then a bounded fuzz run.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$TARVEX_ROOT"
install_dependencies

export QT_QPA_PLATFORM=offscreen

echo "== build and test"
build build -DTARVEX_WERROR=ON
ctest --test-dir build --output-on-failure -j "$JOBS"

echo "== ThreadSanitizer: link and download tests"
build build-tsan -DTARVEX_WERROR=ON -DTARVEX_GUI=OFF -DTARVEX_SANITIZE=thread
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build-tsan --output-on-failure -j "$JOBS" -L threads

echo "== AddressSanitizer and UndefinedBehaviorSanitizer: whole suite"
build build-asan -DTARVEX_WERROR=ON -DTARVEX_SANITIZE=address,undefined
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
    ctest --test-dir build-asan --output-on-failure -j "$JOBS"

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzzing"
    scripts/fuzz.sh
fi
