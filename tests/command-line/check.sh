#!/usr/bin/env bash
# The built program's command line, with no display to connect to:
#   --version          the name and the project's version on standard output, status 0;
#   --version, full    standard output cannot be written (/dev/full): status 1, not a success;
#   --bogus            nothing on standard output, a line naming it on standard error, status 2;
#   --speed 0 ...      a pacing value that is none, refused the same way.
#   check.sh VERSION PROGRAM...   (a Windows program: PROGRAM... is its Wine loader and the .exe)
set -uo pipefail
version=$1
shift
unset DISPLAY WAYLAND_DISPLAY
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
failed=0
fail() {
    echo "FAIL: $1"
    sed 's/^/    stderr: /' "$errors"
    failed=1
}

output=$("$@" --version 2>"$errors")
status=$?
if [ "$status" != 0 ] || [ "$output" != "coppertrowel $version" ]; then
    fail "--version: status $status, printed \"$output\", not \"coppertrowel $version\""
else
    echo "ok: --version prints \"$output\""
fi

"$@" --version >/dev/full 2>"$errors"
status=$?
if [ "$status" != 1 ]; then
    fail "--version into a full disk: status $status, not 1"
else
    echo "ok: --version into a full disk ends with status 1"
fi

output=$("$@" --bogus 2>"$errors")
status=$?
if [ "$status" != 2 ] || [ -n "$output" ] || ! grep -qFx 'coppertrowel: unknown argument "--bogus"' "$errors"; then
    fail "--bogus: status $status, standard output \"$output\""
else
    echo "ok: --bogus is refused on standard error with status 2"
fi
# Word splitting on purpose: each row is an argument list.
for arguments in "--speed 0" "--speed -5" "--speed 12x" "--speed 1000001" "--speed 99999999999999999999" \
    "--fps 0" "--fps 1001" "--speed" "--unpaced --speed 6600"; do
    # shellcheck disable=SC2086
    output=$("$@" $arguments 2>"$errors")
    status=$?
    if [ "$status" != 2 ] || [ -n "$output" ] || ! grep -q '^coppertrowel: "--' "$errors"; then
        fail "$arguments: status $status, standard output \"$output\""
    else
        echo "ok: $arguments is refused on standard error with status 2"
    fi
done
exit "$failed"
