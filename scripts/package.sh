#!/usr/bin/env bash
# Builds the Debian package build/tarvex_VERSION_amd64.deb with CPack.
#
#   scripts/package.sh [BUILD_DIR]
#
# Without BUILD_DIR the programs are built for the package in build-deb
# (Release, installed under /usr, no tests); the test run passes its own
# build instead of building everything again. Either way the programs carry
# the hardening flags and are stripped in the package.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$TARVEX_ROOT"
install_dependencies

BUILD=${1:-build-deb}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # -O2 as Debian builds its packages (GCC 12 warns falsely at -O3 on
    # string concatenation).
    cmake -S "$TARVEX_ROOT" -B "$TARVEX_ROOT/$BUILD" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr -DTARVEX_TESTS=OFF \
        "${launcher[@]}" >/dev/null
fi
cmake --build "$TARVEX_ROOT/$BUILD" -j "$JOBS"

out=$TARVEX_ROOT/$BUILD/cpack
rm -rf "$out"
cpack --config "$TARVEX_ROOT/$BUILD/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1 || {
    cat "$out.log"
    echo "FAIL: cpack did not make the package" >&2
    exit 1
}
deb=$(ls "$out"/tarvex_*.deb)
mkdir -p "$TARVEX_ROOT/build"
mv -f "$deb" "$TARVEX_ROOT/build/"
echo "$TARVEX_ROOT/build/$(basename "$deb")"
