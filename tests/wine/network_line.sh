#!/usr/bin/env bash
# rv740x.exe on network lines under Wine: the simulator's line behind Debian's ser2net, by
# Telnet with COM-PORT-OPTION (RFC 2217) and raw TCP, reached through Winsock. Every answer is
# checked against the Linux build's through the same gateway, and the instrument's memory must
# come back byte for byte after a write of another configuration and a write of its own.
#
#   tests/wine/network_line.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
#
# Needs wine64, ser2net and the Linux build's rv740x and rv740x-sim. The Wine prefix is the
# one run_wine_tests.sh keeps in the Windows build directory.
set -euo pipefail
work_tag=net
# shellcheck source=wine_common.sh
source "$(dirname "$0")/wine_common.sh"
use_build_runtime
make_prefix

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_simulator_ready --instrument 1 --instrument 5,model=RV7406

# One gateway at a time in front of the line, as in a cabinet.
gateway_pid=""
start_gateway() {
    stop "$gateway_pid"
    port="$(free_port)"
    printf 'connection: &line\n  accepter: %s127.0.0.1,%s\n  connector: serialdev,%s,9600n81,local\n' \
        "$1" "$port" "$work/line" > "$work/ser2net.yaml"
    ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" > "$work/ser2net.log" 2>&1 &
    gateway_pid=$!
    pids+=("$gateway_pid")
    for _ in $(seq 100); do
        grep -q "$(printf '0100007F:%04X' "$port") 00000000:0000 0A" /proc/net/tcp && return 0
        sleep 0.05
    done
    echo "ser2net did not listen: $(cat "$work/ser2net.log")" >&2
    exit 1
}

wpath() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }

# Runs both programs on the same line with the same arguments and compares exit code, output
# (less the time stamp of a read) and errors. @OWN is the file of instrument 1's own
# configuration, as each program writes its path.
compare() {
    local name="$1" url="$2"
    shift 2
    local -a linuxArgs=() windowsArgs=()
    for arg in "$@"; do
        if [ "$arg" = @OWN ]; then
            linuxArgs+=("$work/own.json")
            windowsArgs+=("$(wpath "$work/own.json")")
        else
            linuxArgs+=("$arg")
            windowsArgs+=("$arg")
        fi
    done
    local lcode=0 wcode=0
    "$linux/rv740x" --port "$url" "${linuxArgs[@]}" > "$work/l.out" 2> "$work/l.err" || lcode=$?
    "$wine" "$win/rv740x.exe" --port "$url" "${windowsArgs[@]}" > "$work/w.out" 2> "$work/w.err" ||
        wcode=$?
    sed -i 's/\r$//' "$work/w.out" "$work/w.err"
    sed -i '/"savedAt"/d' "$work/l.out" "$work/w.out"
    sed -i "s|$work/own.json|OWN|; s|$(wpath "$work/own.json" | sed 's/\\/\\\\/g')|OWN|" \
        "$work/l.out" "$work/w.out"
    echo "== $name: exit $wcode (Linux $lcode)"
    head -c 600 "$work/w.err" | sed 's/^/   /'
    [ "$wcode" = "$lcode" ] || fail "$name: exit $wcode, Linux $lcode"
    cmp -s "$work/l.out" "$work/w.out" || { fail "$name: output differs"; diff "$work/l.out" "$work/w.out" | head -20 || true; }
    cmp -s "$work/l.err" "$work/w.err" || { fail "$name: errors differ"; diff "$work/l.err" "$work/w.err" || true; }
    return 0
}

start_gateway "telnet(rfc2217),tcp,"
url="rfc2217://127.0.0.1:$port"
cp "$work/state/1.mem" "$work/1.mem.before"
compare "rfc2217: search" "$url" search --to 6
compare "rfc2217: read" "$url" read 1
"$linux/rv740x" --port "$url" read 1 -o "$work/own.json"
"$linux/rv740x" --port "$url" read 5 -o "$work/other.json"
"$wine" "$win/rv740x.exe" --port "$url" write 1 "$(wpath "$work/other.json")" --yes \
    > "$work/w.out" 2>&1 || fail "rfc2217: write of another configuration: exit $?"
cmp -s "$work/state/1.mem" "$work/1.mem.before" && fail "the other configuration changed nothing"
compare "rfc2217: diff, changed" "$url" diff 1 @OWN
"$wine" "$win/rv740x.exe" --port "$url" write 1 "$(wpath "$work/own.json")" --yes \
    > "$work/w.out" 2>&1 || fail "rfc2217: write of its own configuration: exit $?"
if cmp "$work/state/1.mem" "$work/1.mem.before"; then
    echo "== memory of instrument 1 restored byte for byte through RFC 2217"
else
    fail "memory of instrument 1 not restored"
fi

start_gateway "tcp,"
url="tcp://127.0.0.1:$port"
compare "raw: read" "$url" read 5
compare "raw: search over all speeds" "$url" search --all-speeds --to 6

# The causes of a failed connection, as Winsock reports them.
compare "refused" "tcp://127.0.0.1:$(free_port)" read 1
compare "host not found" "rfc2217://no-such-gateway.invalid:4001" read 1

report "Wine network lines"
