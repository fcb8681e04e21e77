#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a package need:
# the programs run from there, the desktop entry and the metainfo validate, the icons have
# their sizes, the manual pages read without warnings and the documentation names dialout.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null

for f in bin/rv740x-config bin/rv740x-sim \
    share/applications/ru.rv740x.Configurator.desktop \
    share/metainfo/ru.rv740x.Configurator.metainfo.xml \
    share/icons/hicolor/scalable/apps/rv740x-config.svg \
    share/icons/hicolor/48x48/apps/rv740x-config.png \
    share/icons/hicolor/256x256/apps/rv740x-config.png \
    share/man/man1/rv740x-config.1.gz share/man/man1/rv740x-sim.1.gz \
    share/doc/rv740x-configurator/README.md share/doc/rv740x-configurator/copyright; do
    [ -f "$prefix/$f" ] || fail "missing $f"
done
[ -x "$prefix/bin/rv740x-config" ] && [ -x "$prefix/bin/rv740x-sim" ] || fail "programs not executable"

version="$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/rv740x-config" --version)"
[ "$version" = "rv740x-config $RV740X_EXPECTED_VERSION" ] || fail "--version said '$version'"
"$prefix/bin/rv740x-sim" --help | grep -q -- "--instrument" || fail "rv740x-sim --help"

out="$(desktop-file-validate "$prefix/share/applications/ru.rv740x.Configurator.desktop" 2>&1)" ||
    fail "desktop entry: $out"
[ -z "$out" ] || fail "desktop entry warnings: $out"
grep -q "^Name=Конфигуратор RV7406/RV7408$" "$prefix/share/applications/ru.rv740x.Configurator.desktop" ||
    fail "desktop entry name"
grep -q "^Exec=rv740x-config$" "$prefix/share/applications/ru.rv740x.Configurator.desktop" ||
    fail "desktop entry command"
appstreamcli validate --no-net "$prefix/share/metainfo/ru.rv740x.Configurator.metainfo.xml" > /dev/null ||
    fail "metainfo does not validate"
grep -q "<release version=\"$RV740X_EXPECTED_VERSION\"" \
    "$prefix/share/metainfo/ru.rv740x.Configurator.metainfo.xml" || fail "metainfo version"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $3*256+$4 "x" $7*256+$8}'; }
for size in 48 256; do
    got="$(png_size "$prefix/share/icons/hicolor/${size}x${size}/apps/rv740x-config.png")"
    [ "$got" = "${size}x${size}" ] || fail "icon ${size}: $got"
done

for page in rv740x-config rv740x-sim; do
    gzip -t "$prefix/share/man/man1/$page.1.gz" || fail "$page.1.gz is not gzip"
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 > /dev/null)" ||
        fail "man $page"
    [ -z "$warnings" ] || fail "man $page: $warnings"
done
zcat "$prefix/share/man/man1/rv740x-config.1.gz" | grep -q dialout || fail "man page lacks dialout"
grep -q dialout "$prefix/share/doc/rv740x-configurator/README.md" || fail "README lacks dialout"
echo "install tree in $prefix: ok"
