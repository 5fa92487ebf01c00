#!/usr/bin/env bash
# Builds coppertrowel and runs it full screen on the current X display; a left click ends it.
# Where there is no display, runs it for a few seconds on a virtual one, saves a screenshot and says where.
# Installs what is missing when run as root on Debian; otherwise says what to install.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
source scripts/virtual-display.sh

ensure_packages "${LINUX_BUILD_PACKAGES[@]}"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target coppertrowel
program=$PWD/build/default/coppertrowel

display_answers() {
    [ -n "${DISPLAY:-}" ] || return 1
    command -v xdpyinfo >/dev/null 2>&1 || return 0 # cannot ask: let the program try it
    xdpyinfo >/dev/null 2>&1
}
if display_answers; then
    echo "coppertrowel runs full screen on $DISPLAY; click anywhere with the left button to end it."
    exec "$program"
fi

ensure_packages "${DEMO_DISPLAY_PACKAGES[@]}"
echo "No X display here: running coppertrowel on a virtual 1280x1024 display for a few seconds."
start_virtual_display 1280x1024x24

"$program" &
demo=$!
sleep 4
screenshot=$PWD/build/default/screenshot.png
xwd -root -silent | convert xwd:- "$screenshot"
xdotool mousemove 640 900 click 1
status=0
wait $demo || status=$?
echo "Screenshot of the running demo: $screenshot"
echo "The demo ended on a left click with status $status."
exit $status
