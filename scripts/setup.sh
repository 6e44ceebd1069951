#!/usr/bin/env bash
# Installs what building Tallyrig needs (with --test, what testing needs too; with --package, what
# building its Debian package and its screenshots needs). Says nothing and changes nothing when
# everything is already there.
set -euo pipefail

want_tests=false want_package=false
bridge=$(cd "$(dirname "${BASH_SOURCE[0]}")/../devbridge" && pwd)

# The bridge's npm dependencies (the MCP SDK), exactly as its lock file pins them; again only when
# the lock file changed since.
bridge_modules() {
    if [[ ! -f "$bridge/node_modules/.package-lock.json" || "$bridge/package-lock.json" -nt "$bridge/node_modules/.package-lock.json" ]]; then
        echo "Installing the bridge's npm dependencies…"
        (cd "$bridge" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    fi
}
[[ "${1:-}" == "--test" ]] && want_tests=true
[[ "${1:-}" == "--package" ]] && want_package=true

if [[ "$(uname -s)" == "Darwin" ]]; then
    formulae=(cmake qt nlohmann-json node)
    missing=()
    for formula in "${formulae[@]}"; do
        brew list --versions "$formula" >/dev/null 2>&1 || missing+=("$formula")
    done
    if ((${#missing[@]})); then
        echo "Installing ${missing[*]} with Homebrew…"
        brew install "${missing[@]}"
    fi
    "$(dirname "$0")/setup-mac.sh"
    bridge_modules
    exit 0
fi

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-webengine-dev qt6-svg-dev qt6-qpa-plugins libqt6svg6
    qcoro-qt6-dev nlohmann-json3-dev libgl-dev
    nodejs git fonts-dejavu-core
    # Targeting on Linux: our own X11 connection with the window manager's hints (EWMH) and XInput 2.
    libxcb-ewmh-dev libxcb-xinput-dev
)
# npm for the bridge's dependencies: Debian's package, unless the installed Node.js brings its own.
command -v npm >/dev/null || packages+=(npm)
if $want_tests || $want_package; then
    packages+=(xvfb xauth)
    # The test desktop (with-desktop.sh) and the stand-in device simulator with its contract test.
    # xfwm4: the panel's desktop suites run under a second window manager too.
    packages+=(openbox xfwm4 xcompmgr dbus dbus-bin at-spi2-core x11-utils x11-apps xdotool
        python3 python3-gi python3-gi-cairo gir1.2-gtk-3.0 gir1.2-atspi-2.0)
fi
if $want_tests; then
    # The macOS backend's compile check, a Mac configuration of the project: clang, GNUstep's AppKit
    # headers and the blocks runtime.
    packages+=(clang libgnustep-gui-dev libblocksruntime-dev)
    # Real applications the Linux backend is tried on (tst_desktopapps): GTK 3's widget factory,
    # GTK 4's demo, a Qt 6 widgets application, and the test page in both browsers.
    packages+=(gtk-3-examples gtk-4-examples qt6ct firefox-esr chromium)
fi
if $want_tests || $want_package; then
    # The Debian package and its checks (the no-runtime test stage checks it too), and compilations
    # shared between the build folders of the test stages and the package.
    packages+=(dpkg-dev lintian desktop-file-utils appstream ccache)
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
((${#missing[@]})) || { bridge_modules; exit 0; }

sudo=()
if [[ $EUID -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
echo "Installing ${missing[*]}…"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
bridge_modules
