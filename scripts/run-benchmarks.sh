#!/usr/bin/env bash
# Builds the default preset and runs every benchmark: the frame composition, the simulation, the table builds
# and start-up on the headless platform (coppertrowel_bench), then the X11 presentation on a virtual X server
# this script starts for it (coppertrowel_x11_bench). Each benchmark runs REPETITIONS times (default 5), the
# repetitions of all benchmarks interleaved at random so that every ratio compares neighbours in time; the
# console shows the medians. The JSON results go to docs/performance/ (and BUILD_DIR/benchmarks, BUILD_DIR
# being build/default unless set), with the chart of frame cost and start-up time against screen width drawn
# from them, docs/performance/chart.png, and the medians and ratios printed as the tables of
# docs/performance.md.
#
#   scripts/run-benchmarks.sh                      everything
#   BENCHMARK_FILTER=Compose scripts/run-benchmarks.sh   only the benchmarks whose names match (regex)
#
# Installs what is missing when run as root on Debian; otherwise says what to install.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh

ensure_packages "${LINUX_BUILD_PACKAGES[@]}" xvfb python3 python3-pil

build_dir=${BUILD_DIR:-build/default}
repetitions=${REPETITIONS:-5}
filter=${BENCHMARK_FILTER:-.}
out="$build_dir/benchmarks"

cmake --preset default -B "$build_dir" -DCOPPERTROWEL_BENCHMARKS=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target coppertrowel_bench coppertrowel_x11_bench
mkdir -p "$out"

run() {
    local program=$1 json=$2
    "$program" --benchmark_filter="$filter" --benchmark_repetitions="$repetitions" \
        --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true \
        --benchmark_out="$json" --benchmark_out_format=json
}

echo "== Load before: $(cat /proc/loadavg)"
echo "== Headless benchmarks"
run "$build_dir/bench/coppertrowel_bench" "$out/headless.json"

echo "== X11 presentation on a virtual X server"
scratch=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 3840x2160x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$scratch"' EXIT
for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
fi
DISPLAY=":$(head -n1 "$scratch/display")" XVFB_PID=$xvfb run "$build_dir/bench/coppertrowel_x11_bench" "$out/x11.json"
echo "== Load after: $(cat /proc/loadavg)"

# The chart needs the system's PIL (python3-pil), so the system's interpreter, not one found first on the PATH.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
mkdir -p docs/performance
cp "$out/headless.json" "$out/x11.json" docs/performance/
"$python" scripts/benchmark-chart.py docs/performance/headless.json docs/performance/x11.json \
    --chart docs/performance/chart.png
