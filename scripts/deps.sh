# Sourced by the set-up scripts: installs Debian packages only when they are missing,
# as root or through sudo.

BUILD_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev libevdev-dev"
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev"
# The desktop server's device test boots a kernel under QEMU (scripts/vm-test).
TEST_PACKAGES="$TEST_PACKAGES qemu-system-x86 busybox-static cpio xz-utils"
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
