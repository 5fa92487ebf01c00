#!/usr/bin/env bash
# A user's own build, the way the README's "Build it yourself" gives it, in a scratch folder:
#   1. the plain Release build makes the program with neither GoogleTest nor Google Benchmark to be found, and
#      makes no warning an error;
#   2. with tests asked for and no GoogleTest, configuring stops with one message naming the package.
#   check.sh SOURCE_DIR SCRATCH_DIR
set -euo pipefail
source=$1 scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
hide=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)

cmake --no-warn-unused-cli -S "$source" -B "$scratch/program" -DCMAKE_BUILD_TYPE=Release "${hide[@]}" >/dev/null
cmake --build "$scratch/program" -j "$(nproc)" >/dev/null
[ -x "$scratch/program/coppertrowel" ] || { echo "FAIL: no coppertrowel built"; exit 1; }
if grep -q -- '-Werror' "$scratch/program/compile_commands.json"; then
    echo "FAIL: a plain build makes warnings errors"
    exit 1
fi
echo "ok: the program builds without GoogleTest or Google Benchmark, warnings not errors"

if cmake -S "$source" -B "$scratch/tests" -DBUILD_TESTING=ON "${hide[@]}" >"$scratch/tests.log" 2>&1; then
    echo "FAIL: configuring the tests without GoogleTest succeeded"
    exit 1
fi
if ! grep -q 'libgtest-dev' "$scratch/tests.log"; then
    echo "FAIL: configuring the tests without GoogleTest did not name the package:"
    cat "$scratch/tests.log"
    exit 1
fi
echo "ok: without GoogleTest, configuring the tests stops and names libgtest-dev"
rm -rf "$scratch"
