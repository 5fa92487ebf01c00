#!/usr/bin/env bash
# Runs a command on a virtual X display of its own, 1280x1024 with 24 bits a pixel, then ends the Wine session
# the command leaves behind (its desktop lives on this display) and the display.
# Exits 77 (skipped) when Xvfb is not installed.
set -uo pipefail
if ! command -v Xvfb >/dev/null; then
    echo "Xvfb is not installed: skipped" >&2
    exit 77
fi
workdir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset 3>"$workdir/display" \
    >"$workdir/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$workdir/display" ] && break
    sleep 0.1
done
if ! [ -s "$workdir/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$workdir/xvfb.log" >&2
    kill "$xvfb" 2>/dev/null
    exit 1
fi
export DISPLAY=":$(head -n 1 "$workdir/display")"
# A Wine session still lingering in the prefix keeps its desktop on the display it started with.
wineserver --kill 2>/dev/null
wineserver --wait 2>/dev/null

"$@"
status=$?

wineserver --kill 2>/dev/null
wineserver --wait 2>/dev/null
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
rm -rf "$workdir"
exit $status
