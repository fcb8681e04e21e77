#!/usr/bin/env bash
# Installs, on Debian 12 or a relative, every package the build, the tests, the demo and the
# fuzz run need. Only missing packages are installed, unless --always is given (CI, which
# must also refresh the package lists). Uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-translations-l10n nlohmann-json3-dev libudev-dev pkg-config
    libcli11-dev libglib2.0-dev
    xvfb xauth fonts-dejavu-core fonts-liberation
    librsvg2-bin dpkg-dev file lintian desktop-file-utils appstream man-db poppler-utils
)

missing=()
if [ "${1:-}" = --always ]; then
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
