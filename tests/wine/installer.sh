#!/usr/bin/env bash
# The Windows installer under 64-bit Wine alone, as an administrator would run it unattended:
# `setup.exe /S` in a new Wine prefix, then the programs in Program Files with their licences,
# the Start-menu entry "Конфигуратор RV7406/RV7408", rv740x on PATH for every user (a new
# command prompt finds it), the entry in the installed programs; then `uninstall.exe /S` takes
# all of it back and leaves PATH as it was.
#
#   tests/wine/installer.sh WINDOWS_BUILD_DIR
#
# Needs wine64 (Debian's wine64; the 32-bit wine32 is not used) and the installer that
# scripts/build-windows.sh made.
set -euo pipefail
win="$(cd "$1" && pwd)"
setup="$(ls "$win"/rv740x-configurator-*-windows-x64-setup.exe)"
stage="$(ls -d "$win"/package/rv740x-configurator-*-windows-x64)"

work="$(mktemp -d /tmp/rv740x-installer-XXXXXX)"
export WINEPREFIX="$work/prefix" WINEARCH=win64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64)"
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver="$(command -v wineserver)"
cleanup() {
    "$wineserver" -k 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# The installer is a 64-bit program.
case "$(file -b "$setup")" in
    *PE32+*x86-64*) pass "the installer is a 64-bit program" ;;
    *) fail "the installer is not a 64-bit program: $(file -b "$setup")" ;;
esac

"$wine" wineboot -i > "$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
"$wineserver" -w

environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\rv740x-configurator'
# A registry value as text; "" when it is not there. Value names are compared as Windows does,
# whatever their letter case. Texts come through an export of the key, in UTF-16, so that
# Cyrillic letters survive; REG_EXPAND_SZ values (PATH) only as `reg query` prints them.
registry_value() {
    "$wine" reg query "$1" /v "$2" 2> /dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//Ip" || true
}
registry_text() {
    rm -f "$work/key.reg"
    "$wine" reg export "$1" 'Z:'"${work//\//\\}"'\key.reg' /y > /dev/null 2>&1 || return 0
    iconv -f UTF-16 -t UTF-8 < "$work/key.reg" | tr -d '\r' | sed -n "s/^\"$2\"=\"\(.*\)\"$/\1/p"
}
path_before="$(registry_value "$environment" Path)"
[ -n "$path_before" ] || { echo "the new prefix has no system PATH" >&2; exit 1; }

# The installer copies itself nowhere; it must end, and leave a finished installation.
"$wine" "$setup" /S
"$wineserver" -w

programs="$WINEPREFIX/drive_c/Program Files/RV740x Configurator"
windows_dir='C:\Program Files\RV740x Configurator'
for file in $(cd "$stage" && find . -type f | sed 's|^\./||'); do
    cmp -s "$stage/$file" "$programs/$file" || fail "not installed as packaged: $file"
done
[ -f "$programs/uninstall.exe" ] || fail "no uninstaller"
[ -f "$programs/LICENSES/LGPL-3.0.txt" ] && pass "programs and licences under Program Files"

# The Start-menu entry: the shortcut and the name the menu shows for it.
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
if [ -f "$menu/rv740x-config.lnk" ]; then
    target=rv740x-config.exe
    [ -f "$stage/rv740x-config.exe" ] || target=cmd.exe
    if iconv -f UTF-16LE -t UTF-8 < "$menu/rv740x-config.lnk" 2> /dev/null | grep -aq "$target" ||
        grep -aq "$target" "$menu/rv740x-config.lnk"; then
        pass "the shortcut starts $target"
    else
        fail "the shortcut does not start $target"
    fi
else
    fail "no shortcut in the Start menu"
fi
names="$(iconv -f UTF-16 -t UTF-8 < "$menu/desktop.ini" 2> /dev/null | tr -d '\r' || true)"
if grep -qx 'rv740x-config.lnk=Конфигуратор RV7406/RV7408' <<< "$names"; then
    pass "the Start menu shows \"Конфигуратор RV7406/RV7408\""
else
    fail "the Start menu's name for the shortcut: $names"
fi

# rv740x on PATH: in the registry, and for a command prompt started afterwards.
path_after="$(registry_value "$environment" Path)"
if [ "$path_after" = "$path_before;$windows_dir" ]; then
    pass "PATH gained $windows_dir"
else
    fail "PATH after installing: $path_after"
fi
# Its help ends with the program's version and platform.
footer="$("$wine" cmd /c 'rv740x --help' 2> /dev/null | tr -d '\r' | grep '^rv740x [0-9]' || true)"
case "$footer" in
    *"платформа: Windows x64") pass "a new command prompt runs rv740x: $footer" ;;
    *) fail "a new command prompt does not find rv740x on PATH" ;;
esac
[ "$(registry_text "$uninstall_key" DisplayName)" = "Конфигуратор RV7406/RV7408" ] &&
    pass "listed among the installed programs" || fail "not listed among the installed programs"

# The uninstaller copies itself to the temporary folder and runs from there; wait for it.
"$wine" "$programs/uninstall.exe" /S
"$wineserver" -w
[ -e "$programs" ] && fail "files left behind: $(cd "$programs" && find . | head -5)"
[ -e "$menu/rv740x-config.lnk" ] && fail "the shortcut is left"
names="$(iconv -f UTF-16 -t UTF-8 < "$menu/desktop.ini" 2> /dev/null | tr -d '\r' || true)"
grep -q 'rv740x-config.lnk' <<< "$names" && fail "the Start menu's name is left"
path_final="$(registry_value "$environment" Path)"
[ "$path_final" = "$path_before" ] || fail "PATH after uninstalling: $path_final"
[ -n "$(registry_text "$uninstall_key" DisplayName)" ] && fail "the uninstall entry is left"

if [ "$failures" -ne 0 ]; then
    echo "installer under Wine: $failures failures"
    exit 1
fi
echo "installer under Wine: installed, found on PATH and removed again without a trace"
