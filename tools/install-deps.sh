#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, running and testing need, skipping what is there.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev libgl-dev
    libx11-dev libxtst-dev libxrandr-dev libxi-dev
    fonts-liberation
    # tests: a display of their own, a window manager, X input and inspection tools
    xvfb openbox xdotool x11-utils x11-xserver-utils xauth strace procps
    # tests: the number reader under libFuzzer
    clang libclang-rt-14-dev
    # tests: the installed files are checked with the desktop's own validators, the package
    # is built with its dependencies computed from the binary
    desktop-file-utils appstream groff-base man-db dpkg-dev file
    # benchmarks
    libbenchmark-dev
    # tests: the Windows backend, cross-built and run under wine
    g++-mingw-w64-x86-64 wine wine64
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
