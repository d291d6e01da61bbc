#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian 13 root that the tests of Debian 13's desktops run in, once per machine, from
# Debian's own packages (debootstrap, then apt inside the root): the host stays Debian 12. The
# root goes into the cache beside Qt for Windows, keyed by the package list, so it is built anew
# only when tools/debian13/packages changes. It is built under a temporary name and renamed when
# complete: a build that was interrupted is never taken for a root. Prints the root's path as its
# last line.
# Usage: tools/debian13/root.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list=$here/packages
packages=$(sed 's/#.*//' "$list" | xargs)
suite=trixie

key=$( (echo "$suite"; echo "$packages") | sha256sum | cut -c1-12)
cache=${VARBELO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/varbelo}
root=$cache/debian13-$key
# Renamed into place only when complete: there, it is whole.
if [ -d "$root" ]; then
    echo "$root"
    exit 0
fi
# debootstrap and chroot need root: a user's build goes through sudo, into the user's cache.
[ "$(id -u)" = 0 ] || exec sudo env VARBELO_CACHE="$cache" "$0" "$@"
mkdir -p "$cache"
# One build at a time: a second caller (make test's, after the one it started in the background)
# waits for the first and then finds its root.
exec 9>"$cache/.lock-debian13-$key"
if ! flock -n 9; then
    echo "Waiting for another build of the Debian 13 root to finish ..." >&2
    flock 9
fi
if [ -d "$root" ]; then
    echo "$root"
    exit 0
fi
command -v debootstrap >/dev/null \
    || { echo "root.sh: debootstrap is not installed (tools/install-deps.sh test)" >&2; exit 1; }

# The mirror that the host's own packages come from.
mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null \
    || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" {print $2; exit}' /etc/apt/sources.list)

tmp=$root.partial
rm -rf "$tmp"
log=$cache/debian13-$key.log
echo "Building the Debian 13 root of the tests into $root (once per machine, a few minutes;" \
     "log: $log)" >&2
start=$SECONDS
debootstrap --variant=minbase "$suite" "$tmp" "$mirror" >"$log" 2>&1 \
    || { echo "debootstrap failed; see $log" >&2; exit 1; }

# apt inside the root, on the host's network and with the host's name server and its apt
# settings on dates (a mirror snapshot's Release files are past their Valid-Until). No service
# is started in a chroot.
cp /etc/resolv.conf "$tmp/etc/resolv.conf"
apt-config dump | grep -E '^Acquire::Check-(Valid-Until|Date) ' >"$tmp/etc/apt/apt.conf.d/99host" || true
printf '#!/bin/sh\nexit 101\n' >"$tmp/usr/sbin/policy-rc.d"
chmod 755 "$tmp/usr/sbin/policy-rc.d"
# shellcheck disable=SC2016,SC2086 # expanded inside the namespace; the list split into names
unshare --pid --fork --kill-child --mount --propagation private bash -c '
    set -e
    mount -t proc proc "$1/proc"
    mount --rbind /dev "$1/dev"
    mount -t tmpfs tmpfs "$1/tmp"
    root=$1
    shift
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive sh -c "apt-get update -qq && \
        apt-get install -y -qq --no-install-recommends $* && apt-get clean"
' install "$tmp" $packages >>"$log" 2>&1 || { echo "installing into the root failed; see $log" >&2; exit 1; }
rm -f "$tmp/etc/apt/apt.conf.d/99host"
mkdir "$tmp/src" "$tmp/build" # where enter.sh shows the source and build folders
rm -rf "$tmp"/var/lib/apt/lists/*
mv "$tmp" "$root"
echo "Debian 13 root built in $((SECONDS - start)) s" >&2
echo "$root"
