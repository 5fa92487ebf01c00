#!/usr/bin/env bash
# Builds the page (the web preset, emscripten) and serves it on this machine:
#   scripts/run-web.sh [--port PORT]
# then open the address it prints in a browser; Ctrl+C stops the server. PORT defaults to 8640, 0 takes any free
# one. Installs what is missing when run as root on Debian; otherwise says what to install.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh

ensure_packages cmake make python3 emscripten
cmake --preset web >/dev/null
cmake --build --preset web -j "$(nproc)"
echo "Open the address below in a browser; Ctrl+C stops the server."
exec scripts/serve-web.py "$@" build/web/page
