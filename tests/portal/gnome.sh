#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The RemoteDesktop portal backend on GNOME's compositor: a headless mutter with two monitors side
# by side, PipeWire for its screen casts and a stand-in portal that forwards to mutter's own
# interfaces, all on a private session bus and as an ordinary user, started as the program tests
# start them (start_gnome in tests/program/common.sh).
# Usage: gnome.sh STANDIN_PORTAL TEST
set -euo pipefail
VARBELO=$2 # what common.sh runs, for its checks
source "$(dirname "${BASH_SOURCE[0]}")/../program/common.sh"

wayland_user
test=$(user_copy "$2")
start_gnome "$1" physical 1 800x600 640x480
code=0
"${uenv[@]}" QT_QPA_PLATFORM=wayland timeout 80 "$test" >"$work/test.log" 2>&1 || code=$?
cat "$work/test.log"
[ "$code" = 0 ] || fail "the test ended with code $code"
lost='varbelo: the desktop ended the remote-control session; clicks are no longer sent'
lines=$(grep -cxF "$lost" "$work/test.log" || true)
[ "$lines" = 1 ] || fail "expected the lost session said once on standard error, found $lines"
say PASS
