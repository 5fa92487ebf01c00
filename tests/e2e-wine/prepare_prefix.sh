#!/usr/bin/env bash
# Makes the Wine prefix named by WINEPREFIX with the loader named by WINELOADER, once; later runs find it
# ready and return at once.
set -euo pipefail
ready="$WINEPREFIX/coppertrowel-prefix-ready"
if [ -f "$ready" ]; then
    exit 0
fi
mkdir -p "$WINEPREFIX"
# No display: wineboot shows nothing and needs none.
env -u DISPLAY "$WINELOADER" wineboot --init >/dev/null 2>&1
# The test displays have no window manager. Wine would hand a full-screen window to one and, when the window
# is destroyed, wait two seconds for a window manager to confirm it is gone; windows it keeps to itself need
# no confirmation.
env -u DISPLAY "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# Wait until the prefix is written out and the session has ended.
wineserver --wait
touch "$ready"
