#!/usr/bin/env bash
# Makes the packages, each from a Release build of its own:
#   scripts/package.sh [WORK_DIR]
# WORK_DIR (default build/package) holds the three builds, and WORK_DIR/out the packages: the Debian package
# and a tarball of the Linux program, a zip of the 32-bit and the 64-bit Windows programs with the README and
# the copyright, and a zip of the page (its three files, which any static host serves) with the same two. Every run configures afresh and makes the packages anew, whatever the folder held before.
# Installs what is missing when run as root on Debian; otherwise says what to install.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh

linux_build=()
for pkg in "${LINUX_BUILD_PACKAGES[@]}"; do
    case $pkg in
    libgtest-dev | libbenchmark-dev) ;; # the tests' and benchmarks' libraries: no tests are built here
    *) linux_build+=("$pkg") ;;
    esac
done
ensure_packages "${linux_build[@]}" "${WINDOWS_BUILD_PACKAGES[@]}" "${PACKAGING_PACKAGES[@]}" emscripten

work=${1:-build/package}
mkdir -p "$work"
work=$(cd "$work" && pwd)
# The packages' directories take their modes from the umask CPack stages them with.
umask 022
jobs=$(nproc)
release=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCOPPERTROWEL_BENCHMARKS=OFF
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

# The Linux program as Debian builds and lays out its own games: with its hardening flags (dpkg-buildflags,
# run from here, also maps the source folder's path away in what the compiler writes; the optimisation stays
# the Release build's), stripped of the compiler's notes too, and in /usr/games.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake --fresh -S . -B "$work/linux" "${release[@]}" -DCOPPERTROWEL_BACKEND=x11 -DCMAKE_INSTALL_BINDIR=games \
    -DCMAKE_STRIP="$PWD/packaging/linux/strip.sh" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$work/linux" -j "$jobs"
for bits in 32 64; do
    toolchain=cmake/toolchain-mingw-$([ $bits = 32 ] && echo i686 || echo x64).cmake
    cmake --fresh -S . -B "$work/windows-$bits" --toolchain "$PWD/$toolchain" "${release[@]}" \
        -DCOPPERTROWEL_BACKEND=win32 >/dev/null
    cmake --build "$work/windows-$bits" -j "$jobs" --target coppertrowel
done
# The page, from the web preset's toolchain; emscripten's optimiser finds its JavaScript parser only through
# NODE_PATH.
cmake --fresh --preset web -B "$work/web" "${release[@]}" >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build "$work/web" -j "$jobs" --target coppertrowel

# CPack stages under a folder of its own, so that out/ holds the packages and nothing else.
rm -rf "$work/out" "$work/cpack"
mkdir -p "$work/out"
(cd "$work/linux" && cpack -B "$work/cpack/linux" >/dev/null)
COPPERTROWEL_WINDOWS_32=$work/windows-32 COPPERTROWEL_WINDOWS_64=$work/windows-64 \
    cpack --config packaging/windows-zip.cmake -B "$work/cpack/windows" >/dev/null
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$work/linux/CPackConfig.cmake")
web=coppertrowel-$version-web
mkdir -p "$work/cpack/web/$web"
cp "$work"/web/page/{index.html,coppertrowel.js,coppertrowel.wasm} README.md "$work/cpack/web/$web/"
cp packaging/copyright "$work/cpack/web/$web/copyright.txt"
(cd "$work/cpack/web" && zip -qrX "$work/out/$web.zip" "$web")
mv "$work"/cpack/linux/*.deb "$work"/cpack/linux/*.tar.gz "$work"/cpack/windows/*.zip "$work/out/"

echo "Packages in $work/out:"
stat -c '%10s bytes  %n' "$work"/out/*
