#!/usr/bin/env bash
# The zips:
#   zip_check.sh OUT_DIR VERSION PYTHON TESTS_DIR SCRATCH_DIR
# The page's zip holds the page, its script and its WebAssembly module, with the README and the copyright, and
# nothing else. The Windows zip holds the 32-bit and the 64-bit program, each in the folder named after it and each
# really that kind of program, each also as its screen saver (the same bytes named .scr), with the README and the
# copyright, and nothing else; each program carries its icon and version resources
# (tests/resources/check_resources.py); the 64-bit one answers --version with VERSION under Wine, in a prefix of
# its own kept in SCRATCH_DIR. The 32-bit one is not run: many machines cannot, and it is the same code. Only the
# Wine run is skipped, where Wine's 64-bit loader is missing.
set -uo pipefail
out=$1 version=$2 python=$3 tests=$4 scratch=$5
failed=0 skipped=""
fail() {
    echo "FAIL: $1"
    failed=1
}
top=coppertrowel-$version-windows
zip=$out/$top.zip
# holds ZIP FILE...: whether ZIP holds exactly the FILEs.
holds() {
    local zip=$1 expected listed
    shift
    expected=$(printf '%s\n' "$@" | sort)
    listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
    if [ "$listed" != "$expected" ]; then
        fail "$(basename "$zip") holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"
    else
        echo "ok: $(basename "$zip") holds" $listed
    fi
}
holds "$zip" "$top/32-bit/coppertrowel.exe" "$top/32-bit/coppertrowel.scr" "$top/64-bit/coppertrowel.exe" \
    "$top/64-bit/coppertrowel.scr" "$top/README.md" "$top/copyright.txt"
web=coppertrowel-$version-web
holds "$out/$web.zip" "$web/index.html" "$web/coppertrowel.js" "$web/coppertrowel.wasm" "$web/README.md" \
    "$web/copyright.txt"
if [ "$(unzip -p "$out/$web.zip" "$web/coppertrowel.wasm" | head -c 4 | od -An -c | tr -d ' ')" = '\0asm' ]; then
    echo "ok: $web/coppertrowel.wasm is a WebAssembly module"
else
    fail "$web/coppertrowel.wasm is not a WebAssembly module"
fi

rm -rf "$scratch/unpacked"
mkdir -p "$scratch/unpacked"
unzip -q "$zip" -d "$scratch/unpacked" || exit 1
for bits in 32 64; do
    program=$scratch/unpacked/$top/$bits-bit/coppertrowel.exe
    kind=$(file -b "$program")
    case $bits:$kind in
    "32:PE32 executable (GUI) Intel 80386"* | "64:PE32+ executable (GUI) x86-64"*)
        echo "ok: $bits-bit/coppertrowel.exe is a $kind" ;;
    *) fail "$bits-bit/coppertrowel.exe is a $kind" ;;
    esac
    if cmp -s "$program" "${program%.exe}.scr"; then
        echo "ok: $bits-bit/coppertrowel.scr is the same program"
    else
        fail "$bits-bit/coppertrowel.scr is not the same program as $bits-bit/coppertrowel.exe"
    fi
    "$python" "$tests/resources/check_resources.py" exe "$program" "$version"
    case $? in
    0) ;;
    77) skipped="reading the resources back (wrestool is missing)" ;;
    *) fail "the resources of $bits-bit/coppertrowel.exe" ;;
    esac
done

loader=/usr/lib/wine/wine64
if [ ! -x "$loader" ]; then
    skipped="${skipped:+$skipped; }the 64-bit program's run ($loader is not installed)"
else
    export WINEPREFIX=$scratch/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    under_wine=("$tests/e2e-wine/under_wine.sh" "$loader" 64)
    "${under_wine[@]}" "$tests/e2e-wine/prepare_prefix.sh" || fail "making the Wine prefix $WINEPREFIX"
    printed=$("${under_wine[@]}" env -u DISPLAY "$loader" "$scratch/unpacked/$top/64-bit/coppertrowel.exe" \
        --version)
    wineserver --wait
    if [ "$printed" != "coppertrowel $version" ]; then
        fail "64-bit/coppertrowel.exe --version under Wine printed \"$printed\", not the version"
    else
        echo "ok: 64-bit/coppertrowel.exe --version under Wine prints \"$printed\""
    fi
fi

[ $failed = 0 ] && [ -n "$skipped" ] && { echo "Skipped: $skipped; everything else passed"; exit 77; }
exit $failed
