#!/usr/bin/env bash
# Builds the default preset and runs every benchmark: the frame composition, the simulation, the table builds
# and start-up on the headless platform (coppertrowel_bench), then the X11 presentation and conversion on a
# virtual X server this script starts for it (coppertrowel_x11_bench), side by side with the same presentation
# through SDL2 (coppertrowel_sdl_bench, built when SDL2's development files are there). Each benchmark runs
# REPETITIONS times (default 5), so that every ratio compares neighbours in time: the headless repetitions
# interleaved at random in one run; on the X server, REPETITIONS rounds, each running the X11 benchmarks once
# and SDL's once, in alternating order. The console shows the medians. The JSON results go to
# docs/performance/ (and BUILD_DIR/benchmarks, BUILD_DIR being build/default unless set), with the chart of
# frame cost, start-up time and presentation against screen width drawn from them, docs/performance/chart.png,
# and the medians and ratios printed as the tables of docs/performance.md. Last, the program as a screen saver
# beside xscreensaver's software hacks, each alone on the root window of a virtual X server of its own per screen
# size (scripts/bench-screensavers.py, SCREENSAVER_ROUNDS rounds, default 3): the CPU of each and of the server on
# its behalf, and the paced mode's frames, steps and lateness, in docs/performance/screensavers.json. Then the
# browser build's page in headless Chromium (scripts/bench-web.mjs): frames a second and the main thread's time
# per frame at 1920x1080 and 3840x2160, and the page's compressed download, in docs/performance/web.json.
#
#   scripts/run-benchmarks.sh                      everything
#   BENCHMARK_FILTER=Compose scripts/run-benchmarks.sh   only the benchmarks whose names match (regex)
#   BENCHMARK_FILTER=ScreenSavers scripts/run-benchmarks.sh   only the screen savers
#   BENCHMARK_FILTER=Web scripts/run-benchmarks.sh   only the page
#
# Installs what is missing when run as root on Debian; otherwise says what to install.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
source scripts/virtual-display.sh

ensure_packages "${LINUX_BUILD_PACKAGES[@]}" xvfb python3 python3-pil libsdl2-dev xscreensaver-data \
    "${WEB_PACKAGES[@]}"

build_dir=${BUILD_DIR:-build/default}
repetitions=${REPETITIONS:-5}
filter=${BENCHMARK_FILTER:-.}
out="$build_dir/benchmarks"

cmake --preset default -B "$build_dir" -DCOPPERTROWEL_BENCHMARKS=ON >/dev/null
targets=(coppertrowel coppertrowel_bench coppertrowel_x11_bench)
# The SDL2 comparison is a target only where the configuration found SDL2. No grep -q here or below: with
# pipefail, a writer that grep -q cut off early would count as a failure.
if cmake --build "$build_dir" --target help | grep -w coppertrowel_sdl_bench >/dev/null; then
    targets+=(coppertrowel_sdl_bench)
fi
cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]}"
rm -rf "$out/rounds"
mkdir -p "$out/rounds"

# Whether the filter leaves any of a program's benchmarks (a program left with none writes an empty JSON).
selects() {
    "$1" --benchmark_list_tests --benchmark_filter="$filter" 2>/dev/null | grep . >/dev/null
}

run() {
    local program=$1 json=$2
    "$program" --benchmark_filter="$filter" --benchmark_repetitions="$repetitions" \
        --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true \
        --benchmark_out="$json" --benchmark_out_format=json
}

echo "== Load before: $(cat /proc/loadavg)"
echo "== Headless benchmarks"
rm -f "$out/headless.json"
if selects "$build_dir/bench/coppertrowel_bench"; then
    run "$build_dir/bench/coppertrowel_bench" "$out/headless.json"
fi

echo "== X11 presentation and conversion, and SDL2's presentation, on a virtual X server"
start_virtual_display 3840x2160x24

# One round of a program: each of its benchmarks the filter selects, once, in a random order; the console's
# table goes to a file beside the JSON. A program the filter leaves nothing of is not run.
run_round() {
    local name=$1 number=$2 program="$build_dir/bench/coppertrowel_$1_bench"
    selects "$program" || return 0
    "$program" --benchmark_filter="$filter" --benchmark_enable_random_interleaving=true \
        --benchmark_out="$out/rounds/$name-$number.json" --benchmark_out_format=json \
        >"$out/rounds/$name-$number.txt"
}

programs=(x11)
[[ " ${targets[*]} " == *" coppertrowel_sdl_bench "* ]] && programs+=(sdl)
for r in $(seq "$repetitions"); do
    order=("${programs[@]}")
    if [ $((r % 2)) -eq 0 ] && [ ${#programs[@]} -eq 2 ]; then
        order=("${programs[1]}" "${programs[0]}")
    fi
    echo "   round $r of $repetitions: ${order[*]} (load $(cut -d' ' -f1-3 /proc/loadavg))"
    for name in "${order[@]}"; do
        run_round "$name" "$r"
    done
done
# The screen savers: the program itself, paced and not, beside the hacks. The chart needs the system's PIL
# (python3-pil), so the system's interpreter, not one found first on the PATH.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
rm -f "$out/screensavers.json"
if [[ ScreenSavers =~ $filter ]]; then
    echo "== Screen savers on the root window, ours beside xscreensaver's hacks"
    "$python" scripts/bench-screensavers.py --program "$build_dir/coppertrowel" --out "$out/screensavers.json" \
        --rounds "${SCREENSAVER_ROUNDS:-3}"
fi
rm -f "$out/web.json"
if [[ Web =~ $filter ]]; then
    echo "== The page in headless Chromium"
    cmake --preset web >/dev/null
    cmake --build --preset web -j "$(nproc)"
    # The tests' pinned puppeteer-core, installed beside the page's build rather than into the sources.
    modules=build/web/bench-node
    mkdir -p "$modules"
    cp tests/web/package.json tests/web/package-lock.json "$modules/"
    (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error)
    NODE_PATH="$PWD/$modules/node_modules" node scripts/bench-web.mjs --out "$out/web.json" build/web/page
fi
echo "== Load after: $(cat /proc/loadavg)"

# docs/performance/ holds one run: a comparison that did not run leaves no figures of an earlier one behind.
mkdir -p docs/performance
rm -f docs/performance/headless.json docs/performance/x11.json docs/performance/sdl.json \
    docs/performance/screensavers.json docs/performance/web.json
[ -f "$out/web.json" ] && cp "$out/web.json" docs/performance/
results=()
savers=()
if [ -f "$out/screensavers.json" ]; then
    cp "$out/screensavers.json" docs/performance/
    savers=(--screensavers docs/performance/screensavers.json)
fi
if [ -f "$out/headless.json" ]; then
    cp "$out/headless.json" docs/performance/
    results+=(docs/performance/headless.json)
fi
for name in "${programs[@]}"; do
    rounds=()
    for r in $(seq "$repetitions"); do
        [ -f "$out/rounds/$name-$r.json" ] && rounds+=("$out/rounds/$name-$r.json")
    done
    if [ ${#rounds[@]} -gt 0 ]; then
        "$python" scripts/merge-benchmark-rounds.py "$out/$name.json" "${rounds[@]}"
        cp "$out/$name.json" docs/performance/
        results+=("docs/performance/$name.json")
    fi
done
if [ ${#results[@]} -eq 0 ] && [ ${#savers[@]} -eq 0 ]; then
    [ -f "$out/web.json" ] && exit 0
    echo "No benchmark matches $filter" >&2
    exit 1
fi
"$python" scripts/benchmark-chart.py "${results[@]}" "${savers[@]}" --chart docs/performance/chart.png
