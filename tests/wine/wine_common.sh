# shellcheck shell=bash
# What the Wine tests against the simulator share (sourced, not run): their arguments
# WINDOWS_BUILD_DIR LINUX_BUILD_DIR, Wine kept quiet in the prefix that lives in the Windows
# build directory, a working folder of their own (named after `work_tag`, when the sourcing
# script sets it), the processes they start ended and the folder removed on exit, the ways the
# simulator's line becomes a Windows serial port, and the count of failed checks.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
win="$(cd "$1" && pwd)"
linux="$(cd "$2" && pwd)"

export WINEPREFIX="${RV740X_WINEPREFIX:-$win/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"

work="$(mktemp -d "/tmp/rv740x-wine${work_tag:+-$work_tag}-XXXXXX")"

# The processes the test started and has not stopped, ended in the reverse order at exit.
pids=()
# stop PID: ends a process the test started and waits for it to go.
stop() {
    if [ -n "$1" ] && kill -0 "$1" 2> /dev/null; then
        kill -TERM "$1"
        wait "$1" 2> /dev/null || true
    fi
    local kept=() pid
    for pid in "${pids[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
    pids=("${kept[@]}")
}
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
    # A test that drove windows ends Wine's server with them.
    if [ -n "${end_wineserver_at_exit:-}" ]; then "$wineserver" -k 2> /dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# make_prefix: the Wine prefix, when it is not there yet.
make_prefix() {
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    echo "Making the Wine prefix $WINEPREFIX"
    "$wine" wineboot -i > "$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
}

# use_build_runtime: the mingw runtime DLLs the programs were linked with, for programs run
# from the build directory rather than from the package.
use_build_runtime() {
    local runtime
    runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
    export WINEPATH="$runtime;/usr/x86_64-w64-mingw32/lib"
}

# build_modem_shim: `shim`, the library that gives Wine's process the modem lines a
# pseudo-terminal lacks (for LD_PRELOAD).
build_modem_shim() {
    shim="$work/pty_modem_lines.so"
    g++ -shared -fPIC -O2 -o "$shim" "$here/pty_modem_lines.cpp" -ldl
}

# start_simulator_ready ARGUMENTS...: rv740x-sim on the line $work/line with its memory in
# $work/state, until it says it is ready.
start_simulator_ready() {
    coproc SIM {
        exec "$linux/rv740x-sim" --link "$work/line" --state "$work/state" "$@"
    }
    pids+=("$SIM_PID")
    local word
    if ! read -r -t 20 word _ <&"${SIM[0]}" || [ "$word" != ready ]; then
        echo "rv740x-sim did not start" >&2
        exit 1
    fi
}

# announce_ports COM...: the simulator's line as serial ports Wine announces as Windows does
# (HARDWARE\DEVICEMAP\SERIALCOMM), set up the way Wine documents, under HKLM\Software\Wine\Ports:
# through a link of the prefix's own, which the ports' entries name. Wine reads the entries
# when its server starts, so a server from before is ended.
announce_ports() {
    local com
    ln -sfn "$work/line" "$WINEPREFIX/rv740x-line"
    for com in "$@"; do
        "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$com" /d "$WINEPREFIX/rv740x-line" /f \
            > /dev/null
    done
    "$wineserver" -k 2> /dev/null || true
    "$wineserver" -w 2> /dev/null || true
}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# report NAME: the test's outcome; fails when a check failed.
report() {
    if [ "$failures" -ne 0 ]; then
        echo "$1: $failures failures"
        exit 1
    fi
    echo "$1: all passed"
}
