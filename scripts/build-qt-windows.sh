#!/usr/bin/env bash
# Builds Qt 6 for 64-bit Windows (Core, Gui, Widgets and the windows platform plugin) from
# Debian's own qt6-base source package, cross-compiled with mingw-w64 and the host's Qt tools.
# Installs into $RV740X_QT_WINDOWS (default ~/.cache/rv740x/qt-6.4.2-mingw64); a finished
# install is reused and the script returns at once.
#
# The deb-src entry lives in a private apt directory under the work directory: the system's
# package lists are left as they are.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

version=6.4.2
prefix="${RV740X_QT_WINDOWS:-$HOME/.cache/rv740x/qt-$version-mingw64}"
work="${RV740X_QT_WINDOWS_WORK:-$HOME/.cache/rv740x/qt-$version-mingw64-build}"
jobs="${RV740X_JOBS:-2}"

if [ -f "$prefix/.complete" ]; then
    echo "Qt for Windows already built in $prefix"
    exit 0
fi

for tool in x86_64-w64-mingw32-g++-posix cmake ninja dpkg-source /usr/lib/qt6/libexec/moc; do
    command -v "$tool" > /dev/null || {
        echo "build-qt-windows: $tool is missing (run scripts/install-deps.sh --windows)" >&2
        exit 1
    }
done

start=$(date +%s)
mkdir -p "$work"
cd "$work"

# Debian's source, fetched through a private apt configuration holding only a deb-src entry.
if [ ! -d src ]; then
    apt="$work/apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
    cat > "$apt/sources.list" << 'SOURCES'
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
SOURCES
    aptopts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
        -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
        -o "Debug::NoLocking=1" -o "APT::Sandbox::User=$(id -un)")
    apt-get "${aptopts[@]}" update
    rm -rf fetch
    mkdir fetch
    (cd fetch && apt-get "${aptopts[@]}" source "qt6-base=$version+dfsg-10")
    mv fetch/qt6-base-"$version"+dfsg src
fi

# Configure for the win32-g++ target with the host's moc, rcc and uic (qt6-base-dev-tools).
# Only what the window needs; the libraries Qt would otherwise look for on the host are its own
# bundled copies or switched off, so nothing of the Linux system leaks into the Windows build.
# Debian's source lacks the wintab headers, hence no tablet events; the 6.4 windows plugin
# needs OpenGL, so OpenGL stays on.
if [ ! -f build/build.ninja ]; then
    cmake -S src -B build -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_SHARED_LIBS=ON \
        -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_tabletevent=OFF \
        -DFEATURE_opengl=ON \
        -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_network=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_testlib=OFF -DFEATURE_concurrent=OFF \
        -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_pkg_config=OFF \
        -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_fontconfig=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
        -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF \
        -DFEATURE_system_md4c=OFF -DFEATURE_system_textmarkdownreader=OFF \
        -DFEATURE_sql_sqlite=OFF
fi

nice -n 19 cmake --build build --parallel "$jobs"
cmake --install build
touch "$prefix/.complete"
echo "Qt for Windows built in $(( $(date +%s) - start )) s into $prefix"
