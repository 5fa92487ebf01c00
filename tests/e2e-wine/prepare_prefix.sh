#!/usr/bin/env bash
# Makes the Wine prefix named by WINEPREFIX, once; later runs find it and return at once.
set -euo pipefail
if [ -f "$WINEPREFIX/system.reg" ]; then
    exit 0
fi
mkdir -p "$WINEPREFIX"
# No display: wineboot shows nothing and needs none.
env -u DISPLAY wineboot --init >/dev/null 2>&1
# Wait until the prefix is written out and the session has ended.
wineserver --wait
test -f "$WINEPREFIX/system.reg"
