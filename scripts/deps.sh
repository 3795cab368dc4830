# Sourced by the set-up scripts: installs Debian packages only when they are missing,
# as root or through sudo.

# qt6-svg-dev renders the program's icon at the desktop's sizes.
BUILD_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-svg-dev libevdev-dev libwebsockets-dev libqrencode-dev libx11-dev"
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev"
# The web server's QR code is read back as a phone would read it.
TEST_PACKAGES="$TEST_PACKAGES zbar-tools"
# The desktop server's device tests boot a kernel under QEMU (scripts/vm-test, scripts/vm-desktop-test;
# the desktop packages that guest needs are downloaded, never installed).
TEST_PACKAGES="$TEST_PACKAGES qemu-system-x86 busybox-static cpio xz-utils"
# The Debian packages (CPack runs dpkg-shlibdeps), the metainfo check, and the mount
# namespace of the name look-up test (unshare, mount).
TEST_PACKAGES="$TEST_PACKAGES dpkg-dev appstream util-linux mount"
# The browser handheld: built with Emscripten, tested in headless Chromium driven by
# puppeteer-core from npm (tests/web/package-lock.json).
WEB_PACKAGES="emscripten nodejs"
WEB_TEST_PACKAGES="chromium"
# The real program under a real X server (tests/app/xvfb_boxes.py).
TEST_PACKAGES="$TEST_PACKAGES xvfb xdotool x11-apps python3"

ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Installing ${missing[*]} needs root or sudo." >&2; return 1; }
        sudo="sudo"
    fi
    echo "Installing: ${missing[*]}"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Installs the browser test's npm packages, pinned by tests/web/package-lock.json.
# Debian's npm only where no npm came with the installed node.
ensure_web_test_modules() {
    command -v npm >/dev/null || ensure_packages npm || return 1
    if [ ! -d tests/web/node_modules/puppeteer-core ] ||
        ! cmp -s tests/web/package-lock.json tests/web/node_modules/.penvale-lock 2>/dev/null; then
        (cd tests/web && npm ci --no-audit --no-fund --loglevel=error) || return 1
        cp tests/web/package-lock.json tests/web/node_modules/.penvale-lock
    fi
}
# The desktop server for Windows (scripts/windows): mingw-w64's -posix compilers, Wine
# to run what they build, NSIS for the installer, dpkg-dev to unpack Debian's sources
# of the libraries it links.
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 nsis dpkg-dev"
