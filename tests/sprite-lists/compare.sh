#!/bin/sh
# The web build's sprite lists and number texts against the desktop build's, width by width.
# Usage: compare.sh DESKTOP_TOOL WEB_TOOL_JS
set -eu
desktop=$1
web=$2
if [ ! -x "$desktop" ]; then
    echo "compare.sh: no desktop tool at $desktop; build the default preset first" \
         "(or point COPPERTROWEL_DESKTOP_BUILD at a desktop build)" >&2
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Runs one side into $out/$1 and says how long it took.
run() {
    name=$1
    shift
    start=$(date +%s%N)
    if ! "$@" >"$out/$name"; then
        echo "compare.sh: the $name tool failed: $*" >&2
        exit 1
    fi
    echo "$name: $(( ($(date +%s%N) - start) / 1000000 )) ms"
}
run desktop "$desktop"
run web node "$web"

if cmp -s "$out/desktop" "$out/web"; then
    echo "all $(wc -l <"$out/desktop") lines match: every width's sprite lists and number texts, and the blend tables"
    exit 0
fi
# Lines keyed by their first field (the width), so that a missing line counts as a difference too.
awk 'NR == FNR { desktop[$1] = $0; total++; next }
     { seen[$1] = 1; if (desktop[$1] != $0) { print $1 ":\n  desktop: " desktop[$1] "\n  web:     " $0; n++ } }
     END { for (w in desktop) if (!(w in seen)) { print w ": missing from the web build"; n++ }
           print n + 0 " of " total " lines differ" }' "$out/desktop" "$out/web"
exit 1
