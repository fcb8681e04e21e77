#!/usr/bin/env bash
# The Windows window under Wine and Xvfb against the simulator: rv740x-config.exe starts on
# COM2, which is the simulator's line; "Прочитать" is clicked and its question answered with
# Enter, as a user does (xdotool). Passes when the whole configuration went over the line and
# the window's caption names the instrument it read. Leaves a screenshot when asked for one.
#
#   tests/wine/window_read.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR [SCREENSHOT.png]
#
# Needs the window built (scripts/build-windows.sh with Qt for Windows), wine64, Xvfb,
# xdotool and ImageMagick's import.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
win="$(cd "$1" && pwd)"
linux="$(cd "$2" && pwd)"
shot="${3:-}"
stage="$(ls -d "$win"/package/rv740x-configurator-*-windows-x64)"
[ -f "$stage/rv740x-config.exe" ] || { echo "no window in $stage" >&2; exit 1; }

export WINEPREFIX="${RV740X_WINEPREFIX:-$win/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"

work="$(mktemp -d /tmp/rv740x-wine-window-XXXXXX)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of its own: Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 3> "$work/display" > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
# A Wine server left from an earlier run in this prefix (the end-to-end tests) started its
# desktop without a display, and would keep the window off this one: end it first.
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
"$wineserver" -k 2> /dev/null || true
"$wineserver" -w 2> /dev/null || true
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i > /dev/null 2>&1

shim="$work/pty_modem_lines.so"
g++ -shared -fPIC -O2 -o "$shim" "$here/pty_modem_lines.cpp" -ldl

"$linux/rv740x-sim" --link "$work/line" --state "$work/state" --log "$work/sim.log" --pace \
    --instrument 1 > "$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/line" ] && break; sleep 0.1; done
ln -sfn "$work/line" "$WINEPREFIX/dosdevices/com2"

LD_PRELOAD="$shim" "$wine" "$stage/rv740x-config.exe" > "$work/program.out" 2>&1 &
pids+=($!)

window=""
# The first start in a new Wine prefix takes a while.
for _ in $(seq 240); do
    window="$(xdotool search --onlyvisible --name "RV7406 и RV7408" 2> /dev/null | head -1 || true)"
    [ -n "$window" ] && break
    sleep 0.5
done
if [ -z "$window" ]; then
    echo "FAIL: the window did not appear"
    cat "$work/program.out"
    exit 1
fi
sleep 2

# "Прочитать": its place in the client area, below the menu bar.
eval "$(xdotool getwindowgeometry --shell "$window")"
menu=$((HEIGHT - 473))
xdotool mousemove $((X + 516)) $((Y + menu + 300)) click 1
sleep 2
xdotool key Return

reads=0
for _ in $(seq 60); do
    reads="$(grep -c '"dir":"tx"' "$work/sim.log" || true)"
    [ "$reads" -ge 31 ] && break
    sleep 0.5
done
sleep 2
caption="$(xdotool getwindowname "$window")"
[ -n "$shot" ] && import -window root "$shot"
echo "replies the simulator sent: $reads; caption: $caption"
[ "$reads" -ge 31 ] || { echo "FAIL: the read did not go over the line"; exit 1; }
case "$caption" in
    *"RV7408 № 1"*) echo "the window read the instrument" ;;
    *) echo "FAIL: the caption does not name the instrument read"; exit 1 ;;
esac
