#!/usr/bin/env bash
# Builds and runs every test this machine can run: the unit tests and the end-to-end tests on a virtual X
# display (default preset), the browser build's page in headless Chromium (web), the unit tests again under
# AddressSanitizer with UndefinedBehaviorSanitizer (debug) and ThreadSanitizer (tsan), and the Windows programs,
# 32-bit and 64-bit, under Wine, each with its own loader. Where the machine cannot execute 32-bit x86 programs,
# the 32-bit Windows program is still built and its run-time tests are reported as skipped. Ends with a summary of
# what was skipped and why, and of what failed; exits 0 only when everything that could run passed.
#
# COPPERTROWEL_NO_32BIT=1 treats the machine as unable to run 32-bit programs.
# Installs what is missing when run as root on Debian; otherwise says what to install.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh

ensure_packages "${LINUX_BUILD_PACKAGES[@]}" "${DEMO_DISPLAY_PACKAGES[@]}" "${TEST_DISPLAY_PACKAGES[@]}" \
    "${WINDOWS_BUILD_PACKAGES[@]}" "${WINE_PACKAGES[@]}" "${PACKAGING_PACKAGES[@]}" "${WEB_PACKAGES[@]}" \
    clang-format || exit 1

jobs=$(nproc)
failures=()
skips=()
started=$SECONDS

echo "== Formatting"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror || failures+=("formatting")

# run_preset PRESET [CTEST ARGUMENTS...]: configure, build and test one preset, noting what failed, and what
# skipped grouped by the reason each gave.
run_preset() {
    local preset=$1 junit status group
    shift
    echo "== Preset $preset"
    if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
        failures+=("$preset: the build")
        return
    fi
    junit=$(mktemp)
    ctest --preset "$preset" -j "$jobs" --output-junit "$junit" "$@"
    status=$?
    scripts/ctest-outcomes.py "$junit" >"$junit.outcomes"
    [ $status -eq 0 ] || failures+=("$preset: $(grep -c '^failed' "$junit.outcomes") test(s), listed above")
    while IFS= read -r group; do
        [ -n "$group" ] && skips+=("$preset: $group")
    done < <(awk -F'\t' '$1 == "skipped" { tests[$3] = tests[$3] " " $2 }
                          END { for (r in tests) print substr(tests[r], 2) ": " r }' "$junit.outcomes")
    rm -f "$junit" "$junit.outcomes"
}

echo "== Can this machine execute 32-bit x86 programs?"
reason=$(scripts/can-run-32bit.sh)
case $? in
0) echo "yes: both Windows programs run all their tests" ;;
1) echo "no, $reason: the 32-bit Windows program is built, its run-time tests are skipped" ;;
*)
    echo "$reason"
    failures+=("32-bit detection: $reason")
    ;;
esac
# Cross-check with the 32-bit Wine loader itself, where it is installed: it starts exactly where the detection
# says 32-bit programs run.
if [ -x /usr/lib/wine/wine ] && [ "${COPPERTROWEL_NO_32BIT:-0}" != 1 ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then loader_starts=1; else loader_starts=0; fi
    if { [ -z "$reason" ] && [ $loader_starts -eq 0 ]; } || { [ -n "$reason" ] && [ $loader_starts -eq 1 ]; }; then
        failures+=("32-bit detection: it disagrees with whether the 32-bit Wine loader starts")
    fi
fi

# The long run (label long) is for runs that ask for it: ctest --preset default -L long. The teardown stress
# (label stress) and the plain build (label build) run in the optimised build only.
run_preset default --label-exclude long
# The page, after the default build: its sprite lists are compared with those of the default build's program.
run_preset web
run_preset debug --label-exclude 'long|stress'
run_preset tsan --label-exclude 'long|stress'
# The Windows programs: the same unit tests, the backend's own tests and the end-to-end test, under Wine.
run_preset mingw-i686
run_preset mingw-x64

# The path of a machine that cannot run 32-bit programs, forced: every run-time test of the 32-bit program must
# report itself skipped with its reason, none may fail or pass. Seconds: nothing starts. (The resources check
# reads the .exe without running it, so it is left out here.)
echo "== A machine that cannot execute 32-bit programs (forced with COPPERTROWEL_NO_32BIT=1)"
junit=$(mktemp) forced_reason="32-bit programs treated as unable to run (COPPERTROWEL_NO_32BIT=1)"
forced=$(COPPERTROWEL_NO_32BIT=1 ctest --preset mingw-i686 --label-exclude resources --output-junit "$junit" 2>&1)
echo "$forced" | grep -E 'Test +#|tests passed'
count=$(echo "$forced" | sed -n 's/^100% tests passed, 0 tests failed out of \([0-9]*\)$/\1/p')
if [ -z "$count" ] || [ "$count" -eq 0 ] || [ "$(echo "$forced" | grep -c '\*\*\*Skipped')" -ne "$count" ] ||
    [ "$(scripts/ctest-outcomes.py "$junit" | awk -F'\t' -v reason="$forced_reason" '$1 == "skipped" && $3 == reason' |
        wc -l)" -ne "$count" ]; then
    failures+=("forced no-32-bit path: the 32-bit program's run-time tests did not all report themselves skipped")
fi
rm -f "$junit"

echo "== Summary ($(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s)"
if [ ${#skips[@]} -gt 0 ]; then
    echo "Skipped:"
    printf '  %s\n' "${skips[@]}"
else
    echo "Skipped: nothing"
fi
if [ ${#failures[@]} -gt 0 ]; then
    echo "FAILED:"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "Everything that could run passed."
