# Sourced by the README's commands. ensure_packages PKG... installs the Debian packages that are missing when
# running as root, and otherwise prints the exact command to run and fails.
# Packages named pkg:i386 need the i386 architecture, which is added first when missing.

ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local needs_i386=0
    for pkg in "${missing[@]}"; do
        case "$pkg" in *:i386) needs_i386=1 ;; esac
    done
    local add_arch=""
    if [ $needs_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        add_arch="dpkg --add-architecture i386 && "
    fi

    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Run as root, then try again:" >&2
        echo "  sudo sh -c '${add_arch}apt-get update && apt-get install -y ${missing[*]}'" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    [ -n "$add_arch" ] && dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building and testing the Linux program needs.
LINUX_BUILD_PACKAGES=(cmake make g++ pkg-config libx11-dev libxext-dev libxrandr-dev libgtest-dev
    libbenchmark-dev)
# What the demo needs where there is no display: a virtual one, a screenshot of it, and a click to end it.
DEMO_DISPLAY_PACKAGES=(xvfb x11-apps imagemagick xdotool)
# What the end-to-end tests need beyond that: the window managers, xscreensaver, and the tools that change the
# screen, probe it and send it input.
TEST_DISPLAY_PACKAGES=(x11-utils x11-xserver-utils libxtst6 python3 openbox awesome xfwm4 dbus-daemon xscreensaver
    xscreensaver-data)
# What cross-building the Windows programs needs (GoogleTest's sources come with googletest; rsvg-convert and
# icotool draw the icon at build time).
WINDOWS_BUILD_PACKAGES=(cmake make googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix librsvg2-bin
    icoutils)
# What running them under Wine on a virtual display needs: Wine with its 32-bit part (i386 architecture), and
# XTEST for the tests' input.
WINE_PACKAGES=(wine wine32:i386 wine64 fonts-wine libxrender1 libxrender1:i386 libxrandr2 libxrandr2:i386 xvfb
    libxtst6 x11-xserver-utils python3)
# What making the packages needs (dpkg-shlibdeps finds the .deb's dependencies; zip for the Windows archive;
# rsvg-convert draws the Linux package's PNG icons), and what checking them needs: lintian, the desktop-entry
# validator, man, and a reader of Windows resources.
PACKAGING_PACKAGES=(cmake make g++ dpkg-dev file zip unzip gzip python3 lintian desktop-file-utils man-db icoutils
    librsvg2-bin)
# What building the page and testing it in a browser needs: emscripten (which brings Node.js), Chromium with a
# monospace font for the numbers, and npm for the tests' puppeteer-core. Debian's Node.js comes without npm, which
# is a package of its own there; a Node.js from elsewhere brings its own npm, which Debian's would conflict with.
WEB_PACKAGES=(cmake make python3 emscripten chromium fonts-dejavu-core)
command -v npm >/dev/null || WEB_PACKAGES+=(npm)
