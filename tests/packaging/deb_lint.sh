#!/usr/bin/env bash
# The Debian package's contents, read without installing it:
#   deb_lint.sh OUT_DIR VERSION SOURCE_DIR
# lintian finds no error in it (every tag it finds is printed, infos and pedantic ones too); the newest entry
# of the changelog it carries is VERSION, which lintian does not compare; and no file names the source folder,
# which holds the build folders (a configured file written with a build path, a run-time search path into the
# build tree).
set -uo pipefail
out=$1 version=$2 source=$3
failed=0
fail() {
    echo "FAIL: $1"
    failed=1
}
deb=$(echo "$out"/*.deb)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== lintian $(basename "$deb")"
lintian --info --pedantic --fail-on error "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$scratch/deb" || exit 1
logged=$(dpkg-parsechangelog -l "$scratch/deb/usr/share/doc/coppertrowel/changelog.gz" -S Version)
if [ "$logged" != "$version" ]; then
    fail "the changelog's newest entry is version \"$logged\", the package's $version"
else
    echo "ok: the changelog's newest entry is $version"
fi

if grep -rlF -- "$source/" "$scratch"; then
    fail "the files above name the source or build folder $source"
else
    echo "ok: no file names $source"
fi
exit $failed
