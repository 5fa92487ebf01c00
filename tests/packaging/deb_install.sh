#!/usr/bin/env bash
# The Debian package installed on this machine, used and removed:
#   deb_install.sh OUT_DIR VERSION PYTHON X11_E2E SCRATCH_DIR
# dpkg -i installs it; the installed program answers --version with VERSION, shows its picture on a virtual
# display and ends with status 0 on a left click (x11_e2e.py's balls scenario); man renders the page without
# a warning; the desktop entry is valid and its icon is in the package; dpkg --purge removes the package and
# every file it installed. The package is purged whatever happens.
# Skipped where dpkg cannot be used: not a Debian system, not root, or coppertrowel installed already (the
# test would replace and then remove it). Only the run on a virtual display is skipped where its tools are
# missing.
set -uo pipefail
out=$1 version=$2 python=$3 e2e=$4 scratch=$5
skip() {
    echo "Skipped: $1"
    exit 77
}
command -v dpkg >/dev/null || skip "no dpkg: not a Debian system"
[ "$(id -u)" = 0 ] || skip "not root: dpkg -i needs root"
status=$(dpkg-query -W -f='${db:Status-Status}' coppertrowel 2>/dev/null)
if [ -n "$status" ] && [ "$status" != not-installed ]; then
    skip "coppertrowel is on this machine already (dpkg status $status); the test would remove it"
fi
for path in /usr/games/coppertrowel /usr/bin/coppertrowel; do
    [ -e "$path" ] && skip "$path is on this machine already, from no package; the test would remove it"
done

failed=0 skipped=""
fail() {
    echo "FAIL: $1"
    failed=1
}
trap 'dpkg --purge coppertrowel >/dev/null 2>&1' EXIT
dpkg -i "$out"/*.deb || exit 1
installed=$(dpkg -L coppertrowel)
find_installed() { grep -E "$1" <<<"$installed"; }

program=$(find_installed '^/usr/(bin|games)/coppertrowel$')
printed=$("$program" --version)
if [ "$printed" != "coppertrowel $version" ]; then
    fail "\"$program --version\" printed \"$printed\", not \"coppertrowel $version\""
else
    echo "ok: $program --version prints \"$printed\""
fi

page=$(find_installed '/share/man/man6/coppertrowel\.6\.gz$')
# The way lintian reads a page: groff's own warnings on.
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [ $? -ne 0 ] || [ -n "$warnings" ] || ! man -l "$page" 2>/dev/null | grep -q "coppertrowel $version"; then
    fail "man -l $page: not rendered cleanly, or without the version: $warnings"
else
    echo "ok: man -l renders $page without warnings, with the version"
fi

entry=$(find_installed '/share/applications/coppertrowel\.desktop$')
if ! desktop-file-validate "$entry"; then
    fail "desktop-file-validate $entry"
elif ! find_installed '/share/icons/hicolor/.*/apps/coppertrowel\.(svg|png)$' >/dev/null; then
    fail "the desktop entry's icon, coppertrowel, is not in the package"
else
    echo "ok: desktop-file-validate passes $entry, whose icon the package holds"
fi

config=$(find_installed '/share/xscreensaver/config/coppertrowel\.xml$')
if ! "$python" -c '
import sys, xml.etree.ElementTree as tree
saver = tree.parse(sys.argv[1]).getroot()
command = saver.find("command")
sys.exit(saver.tag != "screensaver" or saver.get("name") != "coppertrowel" or command is None
         or command.get("arg") != "--root")' "$config"; then
    fail "xscreensaver's configuration $config is missing or does not run coppertrowel --root"
else
    echo "ok: $config names the hack coppertrowel with --root"
fi

"$python" "$e2e" --program "$program" --out "$scratch" balls-1280x1024
case $? in
0) ;;
77) skipped="the installed program's run on a virtual display (its tools are missing)" ;;
*) fail "the installed program's run on a virtual display" ;;
esac

dpkg --purge coppertrowel || fail "dpkg --purge coppertrowel"
status=$(dpkg-query -W -f='${db:Status-Status}' coppertrowel 2>/dev/null)
if [ -n "$status" ] && [ "$status" != not-installed ]; then
    fail "after the purge, coppertrowel's dpkg status is $status"
fi
# Every file goes, and every directory dpkg made for them; directories other packages own, or hold files in,
# stay.
left_behind() {
    [ -e "$1" ] || return 1
    [ -d "$1" ] || return 0
    ! dpkg-query -S "$1" >/dev/null 2>&1 && [ -z "$(ls -A "$1")" ]
}
left=()
while IFS= read -r path; do
    left_behind "$path" && left+=("$path")
done <<<"$installed"
if [ ${#left[@]} -gt 0 ]; then
    fail "left after the purge: ${left[*]}"
else
    echo "ok: dpkg --purge removed the package and the $(wc -l <<<"$installed") paths it listed"
fi

[ $failed = 0 ] && [ -n "$skipped" ] && skip "$skipped; everything else passed"
exit $failed
