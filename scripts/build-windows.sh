#!/usr/bin/env bash
# Builds the Windows packages on Debian, from a fresh machine: the portable zip and the
# installer, rv740x-configurator-<version>-windows-x64.zip and ...-setup.exe, in the build
# directory (default build-windows/).
#
#   scripts/build-windows.sh                  the command-line tool; the window too when Qt for
#                                             Windows is already built
#   RV740X_WINDOWS_GUI=1 scripts/build-windows.sh   build Qt for Windows first when missing
#                                             (scripts/build-qt-windows.sh; long)
#   RV740X_SKIP_INSTALL=1 ...                 do not touch the system's packages
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RV740X_WINDOWS_BUILD_DIR:-$root/build-windows}"
qt="${RV740X_QT_WINDOWS:-$HOME/.cache/rv740x/qt-6.4.2-mingw64}"
triple=x86_64-w64-mingw32
arch=x86-64

if [ -z "${RV740X_SKIP_INSTALL:-}" ]; then
    "$root/scripts/install-deps.sh" --windows
fi
if [ "${RV740X_WINDOWS_GUI:-0}" = 1 ]; then
    "$root/scripts/build-qt-windows.sh"
fi

gui=OFF
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
cmake_qt=()
if [ -f "$qt/.complete" ]; then
    gui=ON
    # Qt's own toolchain file finds the Windows Qt under the cross-compiling root, then loads
    # ours for the compilers.
    cmake_qt=(-DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH=/usr
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
    toolchain="$qt/lib/cmake/Qt6/qt.toolchain.cmake"
else
    echo "Qt for Windows not built ($qt): packaging the command-line tool only."
fi

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DRV740X_WERROR=ON \
    -DRV740X_BUILD_UI="$gui" "${launcher[@]}" "${cmake_qt[@]}"
cmake --build "$build" -j "${RV740X_JOBS:-2}"

version="$(sed -n 's/^#define RV740X_VERSION "\(.*\)"$/\1/p' "$build/src/generated/rv740x_version.h")"
name="rv740x-configurator-$version-windows-x64"
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage"

# The programs, stripped, and the mingw runtime they were linked with.
cp "$build/rv740x.exe" "$stage/"
[ "$gui" = ON ] && cp "$build/rv740x-config.exe" "$stage/"
runtime="$(dirname "$($triple-g++-posix -print-file-name=libstdc++-6.dll)")"
cp "$runtime/libstdc++-6.dll" "$runtime/libgcc_s_seh-1.dll" \
    "/usr/$triple/lib/libwinpthread-1.dll" "$stage/"
if [ "$gui" = ON ]; then
    for dll in Qt6Core Qt6Gui Qt6Widgets; do cp "$qt/bin/$dll.dll" "$stage/"; done
    mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
    cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
    [ -f "$qt/plugins/styles/qwindowsvistastyle.dll" ] &&
        cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
    # Qt's own texts in Russian, found where the program looks on every platform: Qt's
    # translations directory, which qt.conf places beside the program.
    cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"
    printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' > "$stage/qt.conf"
fi
$triple-strip "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll 2> /dev/null || true
cp "$build/dist/windows/rv740x-config.ico" "$stage/"
# Texts for Windows readers: CR LF.
crlf() { sed 's/\r$//; s/$/\r/' "$1" > "$2"; }
crlf "$root/README.md" "$stage/README.txt"

# The licence of every third-party component in the package, taken from this machine's Debian
# packages: the list (our copyright file), the texts it names, and each component's own
# copyright file. The LGPL builds on the GPL's text, so both travel.
licences="$stage/LICENSES"
mkdir -p "$licences"
crlf "$root/dist/copyright" "$licences/copyright.txt"
crlf /usr/share/common-licenses/LGPL-3 "$licences/LGPL-3.0.txt"
crlf /usr/share/common-licenses/GPL-3 "$licences/GPL-3.0.txt"
crlf "/usr/share/doc/gcc-mingw-w64-$arch-posix-runtime/copyright" "$licences/gcc-runtime.txt"
crlf "/usr/share/doc/mingw-w64-$arch-dev/copyright" "$licences/mingw-w64.txt"
crlf /usr/share/doc/nlohmann-json3-dev/copyright "$licences/nlohmann-json.txt"
crlf /usr/share/doc/libcli11-dev/copyright "$licences/CLI11.txt"
if [ "$gui" = ON ]; then
    # The Windows Qt is built from the same qt6-base source as this machine's Qt.
    crlf /usr/share/doc/qt6-base-dev-tools/copyright "$licences/Qt.txt"
    crlf /usr/share/doc/qt6-translations-l10n/copyright "$licences/qttranslations.txt"
fi

zip="$build/$name.zip"
rm -f "$zip"
(cd "$build/package" && zip -qr9 "$zip" "$name")

setup="$build/$name-setup.exe"
nsis=(-DRV740X_VERSION="$version" -DRV740X_STAGE="$stage" -DRV740X_SETUP="$setup"
    -DRV740X_ICON="$build/dist/windows/rv740x-config.ico")
[ "$gui" = ON ] && nsis+=(-DRV740X_GUI)
makensis -V2 "${nsis[@]}" "$root/dist/windows/installer.nsi"

echo "Windows packages:"
ls -l "$zip" "$setup"
