#!/usr/bin/env bash
# The Linux packages' contents, read without installing them:
#   deb_lint.sh OUT_DIR VERSION SOURCE_DIR
# lintian finds no error in the Debian package (every tag it finds is printed, infos and pedantic ones too);
# the newest entry of the changelog it carries is VERSION, which lintian does not compare; the tarball holds
# the same files; and no file of either names the source folder, which holds the build folders (a configured
# file written with a build path, a run-time search path into the build tree).
set -uo pipefail
out=$1 version=$2 source=$3
failed=0
fail() {
    echo "FAIL: $1"
    failed=1
}
deb=$(echo "$out"/*.deb)
tarball=$(echo "$out"/*.tar.gz)
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

mkdir "$scratch/tar"
tar -xzf "$tarball" -C "$scratch/tar" || exit 1
files_of() { (cd "$1" && find . ! -type d | sort); }
if ! diff <(files_of "$scratch/deb/usr") <(files_of "$scratch/tar"/*); then
    fail "the tarball's files (>) differ from the Debian package's under /usr (<)"
else
    echo "ok: the tarball holds the Debian package's files: $(files_of "$scratch/tar"/* | tr '\n' ' ')"
fi

if grep -rlF -- "$source/" "$scratch"; then
    fail "the files above name the source or build folder $source"
else
    echo "ok: no file names $source"
fi
exit $failed
