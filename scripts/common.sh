# Shared by the two top-level scripts: Debian packages and the build.
# Sourced, not run.

TARVEX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TARVEX_PACKAGES=(cmake g++ make pkg-config libgtest-dev qt6-base-dev qt6-translations-l10n
                 xvfb xauth locales clang libclang-rt-14-dev procps time
                 libsqlite3-dev sqlite3 gettext libpq-dev postgresql-15
                 libxlsxwriter-dev libpango1.0-dev libcairo2-dev fonts-dejavu-core
                 poppler-utils unzip libreoffice-calc
                 dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin
                 systemd man-db bash-completion)
# The Windows build and its tests under Wine (scripts/windows.sh), which the
# test run includes. Xvfb and xauth: the dialog's tests run on a virtual
# display; tcl makes SQLite's amalgamation and dpkg-dev unpacks Debian's
# source packages (scripts/windows_deps.sh); nsis makes the installer.
TARVEX_WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix wine wine64 fonts-wine googletest
                         python3 xvfb xauth procps tcl dpkg-dev libz-mingw-w64-dev nsis)
TARVEX_PACKAGES+=("${TARVEX_WINDOWS_PACKAGES[@]}")
# Installed without their recommended packages: LibreOffice's pull in a desktop.
TARVEX_NO_RECOMMENDS=(libreoffice-calc)
TARVEX_LOCALES=(ru_RU.UTF-8 de_DE.UTF-8 uk_UA.UTF-8 en_US.UTF-8)
JOBS=$(nproc 2>/dev/null || echo 2)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages that are missing and generates the locales the
# tests switch to. Does nothing when everything is there already.
install_dependencies() {
    local missing=()
    for pkg in "${TARVEX_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        as_root apt-get update -qq
        local plain=() bare=()
        for pkg in "${missing[@]}"; do
            if [[ " ${TARVEX_NO_RECOMMENDS[*]} " == *" $pkg "* ]]; then bare+=("$pkg"); else plain+=("$pkg"); fi
        done
        if [ ${#plain[@]} -gt 0 ]; then
            as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${plain[@]}" >/dev/null
        fi
        if [ ${#bare[@]} -gt 0 ]; then
            as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
                --no-install-recommends "${bare[@]}" >/dev/null
        fi
    fi
    local want=()
    for loc in "${TARVEX_LOCALES[@]}"; do
        local short=${loc%.UTF-8}.utf8
        locale -a 2>/dev/null | grep -qx "$short" || want+=("$loc")
    done
    if [ ${#want[@]} -gt 0 ]; then
        echo "== generating locales: ${want[*]}"
        for loc in "${want[@]}"; do
            as_root sed -i "s/^# *\(${loc} UTF-8\)/\1/" /etc/locale.gen
            grep -q "^${loc} UTF-8" /etc/locale.gen || echo "${loc} UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
        done
        as_root locale-gen >/dev/null
    fi
}

# build DIR [cmake options...]: configures once and builds everything in DIR.
build() {
    local dir=$1
    shift
    cmake -S "$TARVEX_ROOT" -B "$TARVEX_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$TARVEX_ROOT/$dir" -j "$JOBS"
}
