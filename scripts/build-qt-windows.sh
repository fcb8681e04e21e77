#!/usr/bin/env bash
# Builds Qt 6 for 64-bit Windows (Core, Gui, Widgets, the windows platform plugin and the
# Windows style) from Debian's own qt6-base source package, the same version as the host's Qt
# tools, cross-compiled with mingw-w64 and those tools. Installs into $RV740X_QT_WINDOWS
# (default ~/.cache/rv740x/qt-6.4.2-mingw64); a finished install is reused and the script
# returns at once.
#
#   scripts/build-qt-windows.sh                 fetch the source when missing, build, install
#   scripts/build-qt-windows.sh --source-only   only fetch the source into the work directory
#
# The source comes from wherever this machine's apt takes its packages: the system's
# configured `deb` entries (one-line lists and deb822 .sources alike) become `deb-src` entries
# in a private apt directory under the work directory ($RV740X_QT_WINDOWS_WORK), so a mirror
# or a proxy configured for apt is used as it is, and the system's package lists are left
# alone.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

version=6.4.2
prefix="${RV740X_QT_WINDOWS:-$HOME/.cache/rv740x/qt-$version-mingw64}"
work="${RV740X_QT_WINDOWS_WORK:-$HOME/.cache/rv740x/qt-$version-mingw64-build}"
jobs="${RV740X_JOBS:-2}"

source_only=0
case "${1:-}" in
    --source-only) source_only=1 ;;
    "") ;;
    *) echo "usage: $0 [--source-only]" >&2; exit 2 ;;
esac

for tool in x86_64-w64-mingw32-g++-posix cmake ninja dpkg-source /usr/lib/qt6/libexec/moc; do
    command -v "$tool" > /dev/null || {
        echo "build-qt-windows: $tool is missing (run scripts/install-deps.sh --windows)" >&2
        exit 1
    }
done

start=$(date +%s)
mkdir -p "$work"
cd "$work"
# One build at a time in a work directory: a second waits, then finds the first one's install.
exec 9> "$work/.lock"
flock 9
if [ "$source_only" = 0 ] && [ -f "$prefix/.complete" ]; then
    echo "Qt for Windows already built in $prefix"
    exit 0
fi

# The system's `deb` entries as `deb-src` entries: one-line lists line by line, deb822
# stanzas whole with their Types set to deb-src. Disabled stanzas and comments are left out.
source_entries() {
    local list parts file
    eval "$(apt-config shell list Dir::Etc::SourceList/f parts Dir::Etc::SourceParts/d)"
    for file in "$list" "$parts"*.list; do
        [ -f "$file" ] && sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$file"
    done > "$apt/sources.list"
    for file in "$parts"*.sources; do
        [ -f "$file" ] || continue
        awk 'function flush(  i) {
                 if (n > 0 && (" " types " ") ~ /[ \t]deb[ \t]/ && tolower(enabled) != "no") {
                     for (i = 1; i <= n; i++) print lines[i]
                     print ""
                 }
                 n = 0; types = ""; enabled = ""
             }
             /^[ \t]*#/ { next }
             /^[ \t]*$/ { flush(); next }
             tolower($1) == "types:" { sub(/^[^:]*:/, ""); types = $0; lines[++n] = "Types: deb-src"; next }
             tolower($1) == "enabled:" { enabled = $2 }
             { lines[++n] = $0 }
             END { flush() }' "$file"
    done > "$apt/sources.list.d/system.sources"
    if ! grep -q . "$apt/sources.list" "$apt/sources.list.d/system.sources"; then
        echo "build-qt-windows: apt has no deb entries to take the source from" >&2
        exit 1
    fi
}

# Debian's source of the host's Qt, fetched through the private apt directory.
if [ ! -d src ]; then
    apt="$work/apt"
    rm -rf "$apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
    source_entries
    aptopts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
        -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
        -o "Debug::NoLocking=1" -o "APT::Sandbox::User=$(id -un)")
    apt-get "${aptopts[@]}" update
    source_version="$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)"
    case "$source_version" in
        "$version"+*) ;;
        *) echo "build-qt-windows: the host's Qt is $source_version, not $version" >&2; exit 1 ;;
    esac
    rm -rf fetch
    mkdir fetch
    (cd fetch && apt-get "${aptopts[@]}" source "qt6-base=$source_version")
    mv fetch/qt6-base-"$version"*/ src
    rm -rf fetch
fi
[ "$source_only" = 1 ] && { echo "Qt source in $work/src"; exit 0; }

# Configure for the win32-g++ target with the host's moc, rcc and uic (qt6-base-dev-tools).
# Only what the window needs; the libraries Qt would otherwise look for on the host are its own
# bundled copies or switched off, so nothing of the Linux system leaks into the Windows build.
# Debian's source lacks the wintab headers, hence no tablet events; the 6.4 windows plugin
# needs OpenGL, so OpenGL stays on. Left out, as the window uses none of them and none is in
# its packages: the Direct2D platform plugin, a second build of most of the windows one (only
# the plugin: Qt Gui's DirectWrite font database, which the windows plugin links, needs the
# direct2d feature itself), and the JPEG, GIF and ICO image format plugins (the window loads
# no image; its icon is the program's resource). The libraries the packages carry are the
# same either way.
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
        -DFEATURE_sql_sqlite=OFF \
        -DFEATURE_direct2d1_1=OFF \
        -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
fi

nice -n 19 cmake --build build --parallel "$jobs"
cmake --install build
touch "$prefix/.complete"
echo "Qt for Windows built in $(( $(date +%s) - start )) s into $prefix"
