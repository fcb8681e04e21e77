#!/usr/bin/env bash
# The Windows window under Wine and Xvfb against the simulator, driven as a user drives it
# (xdotool). rv740x-config.exe starts on COM2, which leads nowhere; "Порт" → "Устройства
# COM-портов…" lists the ports Windows has, the simulator's COM7 among them, and COM7 is chosen
# there for COM2 and saved to %APPDATA%\rv740x\ports.conf. Then "Прочитать" is clicked and its
# question answered with Enter. Passes when the mapping was saved, the whole configuration
# went over the line and the window's caption names the instrument it read. Leaves a
# screenshot when asked for one.
#
#   tests/wine/window_read.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR [SCREENSHOT.png]
#
# Needs the window built (scripts/build-windows.sh with Qt for Windows), wine64, Xvfb,
# xdotool and ImageMagick's import.
set -euo pipefail
# shellcheck source=window_common.sh
source "$(dirname "$0")/window_common.sh"

start_simulator --instrument 1
start_window

# The port dialog, by keyboard: the list of ports has the focus; typing the start of an entry
# selects it, which fills the device field; then past "Проверить" to the COM name, and
# "Назначить".
open_menu_item 1
dialog="$(wait_for_window "Устройства COM-портов" 30)"
[ -n "$dialog" ] || { echo "FAIL: the port dialog did not open"; exit 1; }
sleep 1
xdotool type --delay 50 '\\.\COM7'
sleep 0.5
xdotool key Tab Tab Tab Down Tab space
sleep 1
[ -n "$shot" ] && import -window root "${shot%.png}-ports.png"
xdotool key Escape
wait_until_gone "$dialog"
saved="$(find "$WINEPREFIX/drive_c/users" -path '*/rv740x/ports.conf' -exec cat {} + 2> /dev/null |
    tr -d '\r' || true)"
echo "ports.conf: $saved"
[ "$saved" = 'COM2=\\.\COM7' ] || { echo "FAIL: COM7 was not saved for COM2"; exit 1; }

read_instrument
caption="$(xdotool getwindowname "$window")"
[ -n "$shot" ] && import -window root "$shot"
echo "replies the simulator sent: $reads; caption: $caption"
[ "$reads" -ge 31 ] || { echo "FAIL: the read did not go over the line"; exit 1; }
case "$caption" in
    *"RV7408 № 1"*) echo "the window read the instrument through COM7" ;;
    *) echo "FAIL: the caption does not name the instrument read"; exit 1 ;;
esac
