#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The RemoteDesktop portal backend on GNOME's compositor: a headless mutter with two monitors side
# by side, PipeWire for its screen casts and a stand-in portal that forwards to mutter's own
# interfaces, all on a private session bus. Root drops to nobody first, as mutter and PipeWire
# expect a desktop user; the files are copied where that user can read them.
# Usage: gnome.sh STANDIN_PORTAL TEST...
set -euo pipefail

if [ "${1:-}" = --session ]; then
    # Inside the private bus, as the unprivileged user.
    cd "$2"
    trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
    pipewire >pipewire.log 2>&1 &
    wireplumber >wireplumber.log 2>&1 &
    mutter --headless --wayland --no-x11 --wayland-display=varbelo-wl \
        --virtual-monitor 800x600 --virtual-monitor 640x480 >mutter.log 2>&1 &
    owned() { # NAME: true once NAME is on the bus
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true
    }
    for ((i = 0; i < 200; i++)); do
        [ -S "$XDG_RUNTIME_DIR/varbelo-wl" ] && owned org.gnome.Mutter.ScreenCast && break
        sleep 0.05
    done
    /usr/bin/python3 standin_portal.py >standin.log 2>&1 &
    for ((i = 0; i < 200; i++)); do
        grep -q '^ready' standin.log 2>/dev/null && break
        sleep 0.05
    done
    shift 2
    code=0
    for test in "$@"; do
        QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=varbelo-wl "./$test" || code=1
    done
    exit $code
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$@" "${BASH_SOURCE[0]}" "$work/"
tests=()
for test in "${@:2}"; do tests+=("$(basename "$test")"); done
mkdir -m 700 "$work/runtime"
as_user=()
if [ "$(id -u)" = 0 ]; then
    chown -R nobody:nogroup "$work"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

code=0
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work" XDG_RUNTIME_DIR="$work/runtime" \
    GSETTINGS_BACKEND=memory timeout 80 dbus-run-session -- bash "$work/gnome.sh" --session "$work" "${tests[@]}" \
    >"$work/test.log" 2>&1 || code=$?
cat "$work/test.log"
lost='varbelo: the desktop ended the remote-control session; clicks are no longer sent'
lines=$(grep -cxF "$lost" "$work/test.log" || true)
if [ "$code" != 0 ] || [ "$lines" != 1 ]; then
    [ "$code" = 0 ] || echo "FAIL: the test ended with code $code"
    [ "$lines" = 1 ] || echo "FAIL: expected the lost session said once on standard error, found $lines"
    for log in mutter standin pipewire; do
        echo "---- $log.log ----"
        tail -n 30 "$work/$log.log" 2>/dev/null || true
    done
    exit 1
fi
echo PASS
