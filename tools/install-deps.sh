#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 or 13 packages that a make command needs, skipping what is there: always
# what building and running the program need, and on top what each named group needs.
#
# Usage: tools/install-deps.sh [GROUP...]
#   run       the program alone (make run; the default)
#   test      the tests of the Linux build (make test also installs sanitize, windows and fuzz)
#   package   the .deb (make package)
#   windows   the Windows program: Qt for Windows from Debian's source, mingw-w64, wine
#   demo      make demo
#   bench     make bench
#   fuzz      the number reader under libFuzzer (make fuzz)
#   sanitize  the sanitizer build and its tests (make sanitize)
#   debian13  the Debian 13 root of the tests (make debian13; make test installs it too)
# shellcheck disable=SC2034 # the lists are read by name, through "declare -n"
set -euo pipefail

# Each package is in one list; a group installs the lists that it names below. The lists in
# "bare" go in without what their packages recommend.
bare=" run compositors_bare "

# The compiler, CMake, pkg-config; Qt (qt6-base-dev has Core, Gui, Widgets, D-Bus and Test);
# XTest, RandR and XInput2; the Wayland backends: the client library, wayland-scanner, the
# protocols' XML files, the recording overlay's key symbols; the native window's Qt platform;
# the window's font. What these recommend (GTK's Qt theme, systemd, image codecs, ...) would
# add a third to the packages that a fresh machine fetches and unpacks before the window opens.
list_run=(
    cmake make g++ pkg-config qt6-base-dev
    libx11-dev libxtst-dev libxrandr-dev libxi-dev
    libwayland-dev wayland-protocols plasma-wayland-protocols libxkbcommon-dev qt6-wayland
    fonts-liberation
)
# A private X server with a window manager, X input and the window inspectors (xprop,
# xwininfo): the program tests, the demo, the benchmarks, and wine in the Windows build.
list_xserver=(xvfb openbox xdotool x11-utils)
# A private session bus: Esc through a stand-in portal, the compositors' sessions.
list_bus=(dbus)
# What the program tests and the benchmarks look on with: the X resources (xrdb), strace, pgrep.
list_probes=(x11-xserver-utils strace procps)
# Headless Wayland compositors for the tests and the benchmarks: mutter with PipeWire for its
# screen casts and a stand-in portal in Python; XWayland, which all of them run.
list_compositors=(
    mutter pipewire pipewire-bin wireplumber dbus-bin python3-dbus python3-gi xwayland
)
# The same, installed without what they recommend: kwin-wayland's would bring the whole Plasma
# desktop, and with it a D-Bus that X11 programs launch by themselves. sway and KWin, typing into
# them, reading sway's window tree and its pixels.
list_compositors_bare=(sway wtype kwin-wayland jq grim)
# dpkg-shlibdeps for the .deb's dependencies; dpkg-source for Qt's source package.
list_debian=(dpkg-dev)
# CPack tells binaries by file(1).
list_package=(file)
# The installed files checked with the desktop's own validators; Debian's checker of the .deb.
list_checks=(desktop-file-utils appstream groff-base man-db lintian)
# Qt for Windows and the program, cross-built with mingw-w64 and run under wine.
list_windows=(g++-mingw-w64-x86-64 wine wine64 ninja-build zip)
list_fuzz=(clang libclang-rt-dev) # the default clang's, 14 on Debian 12 and 19 on 13
list_bench=(libbenchmark-dev)
# The Debian 13 root that Debian 13's desktops are tested in (tools/debian13/root.sh).
list_debian13=(debootstrap)

lists=(run)
sources=no
[ $# -gt 0 ] || set -- run
for group in "$@"; do
    case $group in
    run) ;;
    test) lists+=(xserver bus probes compositors compositors_bare debian package checks debian13) ;;
    package) lists+=(debian package) ;;
    windows) lists+=(xserver debian windows) sources=yes ;;
    demo) lists+=(xserver) ;;
    bench) lists+=(xserver bus probes compositors compositors_bare bench) ;;
    fuzz) lists+=(fuzz) ;;
    sanitize) lists+=(bus) ;;
    debian13) lists+=(debian13) ;;
    *)
        echo "install-deps: no group '$group'; the groups: run test package windows demo bench" \
             "fuzz sanitize debian13" >&2
        exit 2
        ;;
    esac
done

installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true)" = installed ]
}
missing=()
missing_bare=()
declare -A seen=()
for list in "${lists[@]}"; do
    [ -z "${seen[$list]:-}" ] || continue
    seen[$list]=1
    declare -n names=list_$list
    for p in "${names[@]}"; do
        if installed "$p"; then
            continue
        elif [[ $bare == *" $list "* ]]; then
            missing_bare+=("$p")
        else
            missing+=("$p")
        fi
    done
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive

# Qt for Windows is built from Debian's qt6-base source package, which needs a deb-src entry.
sources_added=no
if [ $sources = yes ]; then
    deb822=/etc/apt/sources.list.d/debian.sources
    if [ -f "$deb822" ]; then
        if ! grep -q '^Types:.*deb-src' "$deb822"; then
            $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' "$deb822"
            sources_added=yes
        fi
    elif [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src' /etc/apt/sources.list; then
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
            | $sudo tee -a /etc/apt/sources.list >/dev/null
        sources_added=yes
    fi
    [ $sources_added = no ] || echo "Enabled Debian's source packages"
fi
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
