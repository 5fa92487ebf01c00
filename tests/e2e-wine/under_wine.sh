#!/usr/bin/env bash
# Runs one test of a Windows build under its own Wine loader:
#   under_wine.sh LOADER BITS COMMAND...
# LOADER is the Wine loader that starts this build's programs (it becomes WINELOADER, which Wine and the
# scripts it runs use for every program they start); BITS is 32 or 64. A 32-bit build's programs need a
# machine that can execute 32-bit x86 programs: where it cannot, the test says why in one line and exits 77,
# which CTest reports as skipped.
set -uo pipefail
loader=$1 bits=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
if [ "$bits" = 32 ]; then
    reason=$("$here/../../scripts/can-run-32bit.sh")
    case $? in
    0) ;;
    1)
        echo "Skipped: $reason"
        exit 77
        ;;
    *)
        echo "$reason"
        exit 1
        ;;
    esac
fi
export WINELOADER=$loader
exec "$@"
