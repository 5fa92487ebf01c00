#!/usr/bin/env bash
# Cross-builds the Windows programs on Linux: build/mingw-i686/coppertrowel.exe (32-bit) and
# build/mingw-x64/coppertrowel.exe (64-bit), each a single file that runs alone.
# Installs what is missing when run as root on Debian; otherwise says what to install.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh

ensure_packages "${WINDOWS_BUILD_PACKAGES[@]}"
for preset in mingw-i686 mingw-x64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" --target coppertrowel
done
echo "32-bit: $PWD/build/mingw-i686/coppertrowel.exe"
echo "64-bit: $PWD/build/mingw-x64/coppertrowel.exe"
