#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command in the Debian 13 root (tools/debian13/root.sh) in a pid, network and mount
# namespace of its own: when the command ends, or this script is killed (a test's timeout), every
# process it left dies with the namespace, and its X servers, buses and sockets never meet the
# host's tests. The root is seen read-only, with the source tree read-only at /src, the build
# folder at /build and fresh /tmp, /run and /dev/shm. The tests' scripts drop to an ordinary user
# for the compositors and their clients, as on the host.
# Usage: tools/debian13/enter.sh ROOT SOURCE_DIR BUILD_DIR COMMAND...
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 ROOT SOURCE_DIR BUILD_DIR COMMAND..." >&2; exit 2; }
root=$1 src=$(cd "$2" && pwd) build=$3
shift 3
[ -d "$root/usr" ] || { echo "enter.sh: no Debian 13 root at $root (tools/debian13/root.sh)" >&2; exit 1; }
mkdir -p "$build"
build=$(cd "$build" && pwd)
sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)

# shellcheck disable=SC2016 # expanded inside the namespace
exec "${sudo[@]}" unshare --pid --fork --kill-child=SIGKILL --net --mount --propagation private \
    bash -c '
    set -e
    root=$1 src=$2 build=$3
    shift 3
    mount --bind "$root" "$root"
    mount -o remount,bind,ro "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    mount --rbind /sys "$root/sys"
    mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
    mount -t tmpfs -o mode=755 tmpfs "$root/run"
    mount --bind "$src" "$root/src"
    mount -o remount,bind,ro "$root/src"
    mount --bind "$build" "$root/build"
    exec chroot "$root" env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/tmp \
        LANG=C.UTF-8 "$@"
' enter "$root" "$src" "$build" "$@"
