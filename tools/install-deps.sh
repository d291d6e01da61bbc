#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, running and testing need, skipping what is there.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev libgl-dev
    libx11-dev libxtst-dev libxrandr-dev libxi-dev
    # the Wayland backends: the client library, wayland-scanner, the protocols' XML files;
    # the recording overlay's key symbols; the native window's Qt platform
    libwayland-dev wayland-protocols plasma-wayland-protocols libxkbcommon-dev qt6-wayland
    fonts-liberation
    # tests: a display of their own, a window manager, X input and inspection tools
    xvfb openbox xdotool x11-utils x11-xserver-utils xauth strace procps
    # tests: the number reader under libFuzzer
    clang libclang-rt-14-dev
    # tests: the installed files are checked with the desktop's own validators, the package
    # is built with its dependencies computed from the binary
    desktop-file-utils appstream groff-base man-db dpkg-dev file
    # tests: Debian's own checker of the package
    lintian
    # tests: the RemoteDesktop portal backend on a headless GNOME compositor with PipeWire for
    # its screen casts, through a stand-in portal in Python on a private session bus; the test's
    # windows on Qt's Wayland platform; the whole program there with its window on XWayland,
    # which the other compositors' tests run too
    mutter pipewire pipewire-bin wireplumber dbus dbus-bin python3-dbus python3-gi qt6-wayland
    xwayland
    # benchmarks
    libbenchmark-dev
    # the Windows program: Qt cross-built from Debian's source, the program with mingw-w64,
    # run under wine
    g++-mingw-w64-x86-64 wine wine64 ninja-build zip
)

# Installed without what they recommend: kwin-wayland's would bring the whole Plasma desktop,
# and with it a D-Bus that X11 programs launch by themselves.
bare_packages=(
    # tests: headless Wayland compositors (sway, KWin on a private session bus; with XWayland from
    # above, sway's also gives wine a monitor left of the primary), typing into them, reading
    # sway's window tree, reading its pixels
    sway wtype kwin-wayland dbus jq grim
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done
missing_bare=()
for p in "${bare_packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing_bare+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive

# Qt for Windows is built from Debian's qt6-base source package, which needs a deb-src entry.
sources_added=no
sources=/etc/apt/sources.list.d/debian.sources
if [ -f "$sources" ]; then
    if ! grep -q '^Types:.*deb-src' "$sources"; then
        $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
        sources_added=yes
    fi
elif [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
        | $sudo tee -a /etc/apt/sources.list >/dev/null
    sources_added=yes
fi
[ $sources_added = yes ] && echo "Enabled Debian's source packages"
[ ${#missing[@]} -eq 0 ] && [ ${#missing_bare[@]} -eq 0 ] && [ $sources_added = no ] && exit 0

$sudo apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get install -y -qq "${missing[@]}"
fi
if [ ${#missing_bare[@]} -gt 0 ]; then
    echo "Installing: ${missing_bare[*]}"
    $sudo apt-get install -y -qq --no-install-recommends "${missing_bare[@]}"
fi
