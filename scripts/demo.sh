#!/usr/bin/env bash
# Builds the configurator and runs it against a simulated line: an RV7408 at network
# number 1 and an RV7406 at 5, answering at the pace of a real 9600-baud line on COM2.
# Closing the program stops the simulator.
#
#   scripts/demo.sh            install what is missing (Debian 12), build, run
#   RV740X_SKIP_INSTALL=1 scripts/demo.sh   do not touch the system's packages
#   RV740X_BUILD_DIR=DIR scripts/demo.sh    build somewhere other than build/
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RV740X_BUILD_DIR:-$root/build}"

if [ -z "${RV740X_SKIP_INSTALL:-}" ]; then
    "$root/scripts/install-deps.sh"
fi

# The same configuration as scripts/test.sh, so the two share one build.
RV740X_BUILD_DIR="$build" "$root/scripts/configure.sh"
cmake --build "$build" --target rv740x-config rv740x-sim -j "$(nproc)"

work="$(mktemp -d /tmp/rv740x-demo-XXXXXX)"
line="$work/ttyRV"
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid"
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The simulator's memory lives in $work/state for this run.
coproc SIM { exec "$build/rv740x-sim" --link "$line" --state "$work/state" --pace \
    --instrument 1,model=RV7408 --instrument 5,model=RV7406; }
sim_pid=$SIM_PID
if ! read -r -t 10 word path <&"${SIM[0]}" || [ "$word" != ready ]; then
    echo "rv740x-sim did not start" >&2
    exit 1
fi
echo "Simulated line at $path: RV7408 at number 1, RV7406 at number 5 (COM2, 9600 baud)."

RV740X_COM2="$line" "$build/rv740x-config"
