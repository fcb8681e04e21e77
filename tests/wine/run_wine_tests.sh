#!/usr/bin/env bash
# The Windows build's tests under Wine: first the core's tests that need no pseudo-terminal
# (core_tests_windows.exe), then the command-line tool end to end on the Windows serial path
# against the simulator: COM2, COM7 and COM12 lead to the simulator's pseudo-terminal and every
# command's answer is checked against the Linux build's answer on the same line. The
# instrument's memory must come back byte for byte after a write of another configuration and a
# write of the backup. COM2 is a bare link in the prefix's dosdevices, as before; COM7 and COM12
# are serial ports Wine announces as Windows does (HARDWARE\DEVICEMAP\SERIALCOMM), set up the
# way Wine documents, under HKLM\Software\Wine\Ports.
#
#   tests/wine/run_wine_tests.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
#
# Needs wine64 (Debian's wine, wine64) and the Linux build's rv740x and rv740x-sim. The Wine
# prefix is kept in the Windows build directory, so later runs start quickly.
set -euo pipefail
# shellcheck source=wine_common.sh
source "$(dirname "$0")/wine_common.sh"
use_build_runtime
make_prefix
build_modem_shim

# The line: a RV7408 at 1, a RV7406 at 5, a silent one at 4, one whose block 5 has both
# copies broken at 6, one of another family at 7.
start_simulator_ready --instrument 1 --instrument 5,model=RV7406 --instrument 4,silent \
    --instrument 6,bad-both=5 --instrument 7,family=18
# COM2 is the simulator's line, through Wine's DOS device link.
ln -sfn "$work/line" "$WINEPREFIX/dosdevices/com2"
announce_ports COM7 COM12

# The core's tests; those of the port's wait use COM2 and instrument 1.
echo "== core tests"
RV740X_TEST_COM='\\.\COM2' RV740X_TEST_LISTED_COMS=COM7,COM12 LD_PRELOAD="$shim" \
    "$wine" "$win/core_tests_windows.exe" \
    --gtest_brief=1 | sed 's/\r$//'

# Runs both programs with the same arguments (the Windows one on COM2, the Linux one on the
# link) and compares exit code, output and errors; paths are given per program.
compare() {
    local name="$1"
    shift
    local -a linuxArgs=() windowsArgs=()
    for arg in "$@"; do
        case "$arg" in
            @DIR) linuxArgs+=("$work/linux"); windowsArgs+=("$windir") ;;
            @FILE1) linuxArgs+=("$linuxFile1"); windowsArgs+=("$winFile1") ;;
            @FILE5) linuxArgs+=("$linuxFile5"); windowsArgs+=("$winFile5") ;;
            *) linuxArgs+=("$arg"); windowsArgs+=("$arg") ;;
        esac
    done
    local lcode=0 wcode=0
    "$linux/rv740x" --port "$work/line" "${linuxArgs[@]}" > "$work/l.out" 2> "$work/l.err" ||
        lcode=$?
    LD_PRELOAD="$shim" "$wine" "$win/rv740x.exe" --port "$winport" "${windowsArgs[@]}" \
        > "$work/w.out" 2> "$work/w.err" || wcode=$?
    # Windows ends lines with CR LF; the backup's paths are the program's own.
    sed -i 's/\r$//' "$work/w.out" "$work/w.err"
    sed -i "s|$work/linux|DIR|g; s|/|\\\\|g" "$work/l.out"
    sed -i "s|$(printf '%s' "$windir" | sed 's/\\/\\\\/g')|DIR|g; s|/|\\\\|g" "$work/w.out"
    # A failure names the line it was on: the device on Linux, the COM name and its device on
    # Windows. Both must name it; which one is the platform's.
    sed -i "s|^Устройство: $work/line\$|Устройство: LINE|" "$work/l.err"
    sed -i "/^Порт: $winport\$/d; s|^Устройство: \\\\\\\\\\.\\\\$winport\$|Устройство: LINE|" "$work/w.err"
    echo "== $name: exit $wcode (Linux $lcode)"
    sed 's/^/   /' "$work/w.out" "$work/w.err"
    [ "$wcode" = "$lcode" ] || fail "$name: exit $wcode, Linux $lcode"
    cmp -s "$work/l.out" "$work/w.out" || { fail "$name: output differs"; diff "$work/l.out" "$work/w.out" || true; }
    cmp -s "$work/l.err" "$work/w.err" || { fail "$name: errors differ"; diff "$work/l.err" "$work/w.err" || true; }
    return 0
}


cp "$work/state/1.mem" "$work/1.mem.before"
mkdir -p "$work/linux"
# The backup goes to a folder with Cyrillic letters, given as Windows writes it.
windir='Z:'"$(printf '%s' "$work" | sed 's|/|\\|g')"'\Конфигурации'

winport=COM2
compare "search" search --to 7
compare "backup" backup @DIR --to 5
cmp -s "$work/state/1.mem" "$work/1.mem.before" || fail "backup changed the memory"
windows_files=("$work/Конфигурации"/*.rv740x.json)
[ "${#windows_files[@]}" = 2 ] || fail "backup made ${#windows_files[@]} files, not 2"
winFile1="$windir\\$(basename "$(ls "$work/Конфигурации"/RV7408_1_*)")"
winFile5="$windir\\$(basename "$(ls "$work/Конфигурации"/RV7406_5_*)")"
linuxFile1="$(ls "$work"/linux/RV7408_1_*)"
linuxFile5="$(ls "$work"/linux/RV7406_5_*)"
# Both builds saved the same configuration, but for the time stamp.
diff <(grep -v '"savedAt"' "$linuxFile1") <(grep -v '"savedAt"' "$work/Конфигурации"/RV7408_1_*) \
    || fail "the Windows backup of 1 differs from the Linux one"

compare "diff, equal" diff 1 @FILE1
# Another configuration into instrument 1 (the RV7406's, so --yes), then its own back.
LD_PRELOAD="$shim" "$wine" "$win/rv740x.exe" --port COM2 write 1 "$winFile5" --yes \
    > "$work/w.out" 2>&1 || fail "write of another configuration: exit $?"
cmp -s "$work/state/1.mem" "$work/1.mem.before" && fail "the other configuration changed nothing"
compare "diff, changed" diff 1 @FILE1
LD_PRELOAD="$shim" "$wine" "$win/rv740x.exe" --port COM2 write 1 "$winFile1" --yes \
    > "$work/w.out" 2>&1 || fail "write of the backup: exit $?"
if cmp "$work/state/1.mem" "$work/1.mem.before"; then
    echo "== memory of instrument 1 restored byte for byte"
else
    fail "memory of instrument 1 not restored"
fi

# Failure rows: no answer, a broken copy, another family.
compare "read, no answer" read 4
compare "read, broken copy" read 6
compare "write, another family" write 7 @FILE1 --yes
compare "diff, another family" diff 7 @FILE1

# Every COM number: COM7 and COM12 as the port, by name and as a device, and in the list of
# the ports Windows has.
winport=COM7
compare "search on COM7" search --to 7
winport='\\.\COM12'
compare 'diff on \\.\COM12' diff 1 @FILE1
winport=com12
compare "diff on com12" diff 5 @FILE5
LD_PRELOAD="$shim" "$wine" "$win/rv740x.exe" ports > "$work/ports.out" 2>&1 || fail "ports: exit $?"
sed -i 's/\r$//' "$work/ports.out"
for com in COM7 COM12; do
    grep -Fqx "  \\\\.\\$com" "$work/ports.out" || { fail "ports does not list $com"; cat "$work/ports.out"; }
done
# Numbers past the last Windows has are refused, naming the ones it has.
code=0
"$wine" "$win/rv740x.exe" --port COM257 search > /dev/null 2> "$work/w.err" || code=$?
sed -i 's/\r$//' "$work/w.err"
[ "$code" = 2 ] || fail "--port COM257: exit $code"
grep -qx 'Порт «COM257» не задан: укажите COM1..COM256, путь к устройству или сетевой адрес rfc2217://УЗЕЛ:ПОРТ, tcp://УЗЕЛ:ПОРТ' "$work/w.err" ||
    { fail "--port COM257: $(cat "$work/w.err")"; }

report "Wine end-to-end"
