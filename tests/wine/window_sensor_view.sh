#!/usr/bin/env bash
# The live view of a sensor in the Windows window under Wine and Xvfb, against a simulated
# Pt100 on channel 1 cooling from 25 °C to 0 °C over a minute. COM2 is the simulator's COM7
# through RV740X_COM2=COM7; the instrument is read with "Прочитать", the view opened with
# "Прибор" → "Наблюдение за датчиком…" by keyboard, and "Пуск", the view's first control,
# pressed with the space bar. Passes when the instrument is asked to measure again and again
# and the view's picture changes as the readings come in. Leaves a screenshot when asked for
# one.
#
#   tests/wine/window_sensor_view.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR [SCREENSHOT.png]
#
# Needs what tests/wine/window_read.sh needs.
set -euo pipefail
# shellcheck source=window_common.sh
source "$(dirname "$0")/window_common.sh"

export RV740X_COM2=COM7
start_simulator --instrument 1,ramp=1:109.73:100:60,r-noise=1:0.01
start_window
read_instrument
[ "$reads" -ge 31 ] || { echo "FAIL: the read did not go over the line"; exit 1; }

# "Прибор" is the third menu.
open_menu_item 2
view="$(wait_for_window "Наблюдение за датчиком" 30)"
if [ -z "$view" ]; then
    echo "FAIL: the live view did not open (is there a menu \"Прибор\"?)"
    [ -n "$shot" ] && import -window root "$shot"
    exit 1
fi
sleep 1
requests_heard() { grep -c '"dir":"rx"' "$work/sim.log" 2> /dev/null || true; }
before="$(requests_heard)"
xdotool key space
sleep 3
import -window "$view" "$work/first.png"
sleep 4
import -window "$view" "$work/second.png"
measured=$(($(requests_heard) - before))
changed="$(compare -metric AE "$work/first.png" "$work/second.png" null: 2>&1 || true)"
[ -n "$shot" ] && import -window root "$shot"
echo "requests in 7 s of the run: $measured; pixels changed in 4 s: $changed"
# About 20 answers a second at 9600 baud; well under half of that would be a stalled run.
[ "$measured" -ge 40 ] || { echo "FAIL: the view does not measure"; exit 1; }
[ "${changed%%.*}" -ge 200 ] 2> /dev/null || { echo "FAIL: the view does not plot"; exit 1; }
echo "the live view measures and plots"
