#!/usr/bin/env bash
# Installs, on Debian 12 or a relative, every package the build, the tests, the demo and the
# fuzz run need (ser2net is the real gateway the network lines are tested through). Only missing packages are installed, unless --always is given (CI, which
# must also refresh the package lists). --windows adds the Windows build's: mingw-w64, Wine,
# NSIS and what building Qt for Windows from Debian's source needs. Uses sudo when not run as
# root.
set -euo pipefail

always=0
windows=0
for arg in "$@"; do
    case "$arg" in
        --always) always=1 ;;
        --windows) windows=1 ;;
        *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

packages=(
    build-essential cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-translations-l10n nlohmann-json3-dev
    libudev-dev pkg-config libcli11-dev
    xvfb xauth fonts-dejavu-core fonts-liberation xdotool dbus at-spi2-core python3-pyatspi
    librsvg2-bin dpkg-dev file lintian desktop-file-utils appstream man-db poppler-utils
    ser2net
)
if [ "$windows" = 1 ]; then
    packages+=(
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 nsis zip
        imagemagick xdotool qt6-base-dev-tools qt6-translations-l10n libgtest-dev
    )
fi

missing=()
if [ "$always" = 1 ]; then
    missing=("${packages[@]}")
else
    command -v dpkg-query > /dev/null || exit 0
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
fi
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}" < /dev/null
