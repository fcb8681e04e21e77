# What the window's Wine tests share (sourced, not run): their arguments, a display of their
# own, the simulator on a line that the Wine prefix announces as the serial port COM7,
# rv740x-config.exe on it, and the steps a user takes with mouse and keyboard. The arguments
# are the sourcing script's: WINDOWS_BUILD_DIR LINUX_BUILD_DIR [SCREENSHOT.png].
#
# Needs wine64, Xvfb, xdotool and ImageMagick's import and compare.
work_tag=window
end_wineserver_at_exit=1
# shellcheck source=wine_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine_common.sh"
shot="${3:-}"

stage="$(ls -d "$win"/package/rv740x-configurator-*-windows-x64)"
[ -f "$stage/rv740x-config.exe" ] || { echo "no window in $stage" >&2; exit 1; }

# A display of its own: Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 3> "$work/display" > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

make_prefix
# COM2, the window's start-up port, leads nowhere, and no mapping is left from an earlier run.
rm -f "$WINEPREFIX/dosdevices/com2"
find "$WINEPREFIX/drive_c/users" -path '*/rv740x/ports.conf' -delete 2> /dev/null || true
# The simulator's line is COM7. A Wine server from before (the end-to-end run) may also have
# started its desktop without a display: announcing the port ends it.
announce_ports COM7
build_modem_shim

# start_simulator INSTRUMENT...: rv740x-sim at the pace of a real line, logging every frame.
start_simulator() {
    "$linux/rv740x-sim" --link "$work/line" --state "$work/state" --log "$work/sim.log" --pace \
        "$@" > "$work/sim.out" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -e "$work/line" ] && break; sleep 0.1; done
}

# wait_for_window TITLE [SECONDS]: the X window id of the visible window whose title holds
# TITLE, waiting up to SECONDS (120: the first start in a new Wine prefix takes a while).
wait_for_window() {
    local found=""
    for _ in $(seq $((${2:-120} * 2))); do
        found="$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -1 || true)"
        [ -n "$found" ] && break
        sleep 0.5
    done
    printf '%s' "$found"
}

# wait_until_gone ID: until the window is no longer shown (10 s at the most).
wait_until_gone() {
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name . 2> /dev/null | grep -qx "$1" || return 0
        sleep 0.2
    done
    echo "FAIL: the window $(xdotool getwindowname "$1" 2> /dev/null) stays open"
    exit 1
}

# start_window: rv740x-config.exe, until its main window shows; sets `window`.
start_window() {
    LD_PRELOAD="$shim" "$wine" "$stage/rv740x-config.exe" > "$work/program.out" 2>&1 &
    pids+=($!)
    window="$(wait_for_window "RV7406 и RV7408")"
    if [ -z "$window" ]; then
        echo "FAIL: the window did not appear"
        cat "$work/program.out"
        exit 1
    fi
    sleep 2
}

# focus_window ID: gives the window the keyboard, as clicking into it would. There is no window
# manager on this display, so a window that a dialog covered gets it back only so.
focus_window() {
    xdotool windowfocus --sync "$1" 2> /dev/null || true
    sleep 0.5
}

# open_menu_item MENU: the first item of the menu bar's MENU-th menu (0 for "Файл"), by keyboard
# as a user without a mouse does: Alt, arrows, Enter.
open_menu_item() {
    focus_window "$window"
    xdotool key alt
    sleep 0.5
    for _ in $(seq "$1"); do
        xdotool key Right
        sleep 0.2
    done
    xdotool key Down
    sleep 0.5
    xdotool key Return
}

# replies_sent: how many replies the simulator has sent.
replies_sent() { grep -c '"dir":"tx"' "$work/sim.log" 2> /dev/null || true; }

# read_instrument: "Прочитать", its question answered with Enter; waits until the whole
# configuration went over the line (31 replies more than before).
read_instrument() {
    local before
    before="$(replies_sent)"
    focus_window "$window"
    # "Прочитать": its place in the client area, below the menu bar.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    local menu=$((HEIGHT - 473))
    xdotool mousemove $((X + 516)) $((Y + menu + 300)) click 1
    local question
    question="$(wait_for_window "Подтверждение" 30)"
    [ -n "$question" ] || { echo "FAIL: \"Прочитать\" asked nothing"; exit 1; }
    sleep 0.5
    xdotool key Return
    reads=0
    for _ in $(seq 60); do
        reads=$(($(replies_sent) - before))
        [ "$reads" -ge 31 ] && break
        sleep 0.5
    done
    sleep 2
}
