#!/usr/bin/env bash
# Builds and runs every test: the unit tests and the end-to-end tests on a virtual X display (default preset),
# the unit tests again under AddressSanitizer with UndefinedBehaviorSanitizer (debug) and ThreadSanitizer (tsan),
# and the Windows programs, 32-bit and 64-bit, under Wine.
# Installs what is missing when run as root on Debian; otherwise says what to install.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh

ensure_packages "${LINUX_BUILD_PACKAGES[@]}" "${VIRTUAL_DISPLAY_PACKAGES[@]}" "${WINDOWS_BUILD_PACKAGES[@]}" \
    "${WINE_PACKAGES[@]}" clang-format

jobs=$(nproc)

echo "== Formatting"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

run_preset() {
    local preset=$1
    shift
    echo "== Preset $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" "$@"
}

# The long run (label long) is for runs that ask for it: ctest --preset default -L long. The teardown stress
# (label stress) runs its 200 programs in the optimised build only.
run_preset default --label-exclude long
run_preset debug --label-exclude 'long|stress'
run_preset tsan --label-exclude 'long|stress'
# The Windows programs: the same unit tests, the backend's own tests and the end-to-end test, under Wine.
run_preset mingw-i686
run_preset mingw-x64
