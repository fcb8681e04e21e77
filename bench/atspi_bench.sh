#!/usr/bin/env bash
# The window's answers to accessibility queries, idle and during a read: the program under
# Xvfb on a session bus of its own with the accessibility bus on, against a simulated RV7408
# at 9600 baud (a read of about 5 s), then bench/atspi_probe.py.
#
#   bench/atspi_bench.sh [BUILD_DIR]        (default: build)
#
# Needs xvfb, xdotool, dbus, at-spi2-core and python3-pyatspi (scripts/install-deps.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] || [ -z "${RV740X_ATSPI_INNER:-}" ]; then
    exec env RV740X_ATSPI_INNER=1 dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" \
        "$0" "$build"
fi

work="$(mktemp -d /tmp/rv740x-atspi-XXXXXX)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The accessibility bus, on; Qt then exports the window's tree to it.
/usr/libexec/at-spi-bus-launcher --launch-immediately > /dev/null 2>&1 &
pids+=($!)
sleep 1
busctl --user set-property org.a11y.Bus /org/a11y/bus org.a11y.Status IsEnabled b true \
    2> /dev/null || gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' > /dev/null

"$build/rv740x-sim" --link "$work/line" --state "$work/state" --log "$work/sim.log" --pace \
    --instrument 1 > "$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/line" ] && break; sleep 0.1; done

HOME="$work" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 RV740X_COM2="$work/line" \
    "$build/rv740x-config" > "$work/program.out" 2>&1 &
pids+=($!)

/usr/bin/python3 "$root/bench/atspi_probe.py"
# The read went over the line: its block reads are in the simulator's log.
reads="$(grep -c '"text":"211;' "$work/sim.log" || true)"
echo "block reads the simulator answered: $reads"
[ "$reads" -gt 0 ]
