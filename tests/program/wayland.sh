#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# Inside a Wayland session the program runs through XWayland, whatever Qt would pick, and says
# once on standard error that its clicks reach only XWayland programs; outside one it says
# nothing. Xvfb stands in for XWayland: to the program both are an X server.
# Usage: wayland.sh VARBELO
VARBELO=$1
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

notice='Varbelo runs through XWayland: its clicks reach only programs that run under XWayland too.'

start_display
start_wm

run_session() { # NAME ENV...: starts the program with ENV, waits for its window, closes it
    local name=$1
    shift
    launch "$name" env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE \
        XDG_RUNTIME_DIR="$runtime" "$@" "$VARBELO"
    local pid=$last
    find_varbelo 15 "$pid"
    kill -TERM "$pid"
    wait_exit "$pid" 5 || fail "$name: the program did not end within 5 s of SIGTERM"
    [ "$code" = 0 ] || fail "$name: expected exit code 0, got $code"
}

notices() { grep -cxF "$notice" "$work/$1.log" || true; }

run_session wayland WAYLAND_DISPLAY=wayland-0 XDG_SESSION_TYPE=wayland
[ "$(notices wayland)" = 1 ] \
    || fail "expected the XWayland notice once on stderr in a Wayland session, found it $(notices wayland) times"
say "Wayland session: one notice"

# Asked for Qt's Wayland platform, it still takes XWayland, where its input calls work.
run_session asked QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-0
[ "$(notices asked)" = 1 ] || fail "expected the notice once with QT_QPA_PLATFORM=wayland"
say "QT_QPA_PLATFORM=wayland: on X11 all the same, one notice"

run_session x11 XDG_SESSION_TYPE=x11
[ "$(notices x11)" = 0 ] || fail "expected no XWayland notice in an X11 session"
say "X11 session: no notice"
say PASS
