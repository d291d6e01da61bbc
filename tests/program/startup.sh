#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# Start-up: the window a user sees, its size, that it takes the keyboard focus, that it stays off
# the taskbar, and that closing it ends the program.
# Usage: startup.sh VARBELO XSHOT
VARBELO=$1 XSHOT=$2
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

start_on_xvfb
say "window $vb_window at $vb_x,$vb_y"

# Nobody asks openbox to activate the window: it must be active by its own request, and typing
# goes into the X box of row 1.
for ((i = 0; i < 50; i++)); do
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$vb_window" ] && break
    sleep 0.1
done
[ "$(xdotool getactivewindow 2>/dev/null)" = "$vb_window" ] \
    || fail "expected the window to be active once shown; the active window is $(xdotool getactivewindow 2>&1)"
xdotool type 7777
sleep 0.3
ink=$("$XSHOT" --ink "$vb_window" 50 23 45 15) # inside row 1's X box
read -r _ _ ink_w _ <<<"$ink"
[ "$ink" != none ] && ((ink_w >= 15)) \
    || fail "expected the typed 7777 in the X box of row 1 (dark pixels $ink there)"
say "active at start, typing goes to row 1's X box"

title=$(xprop -id "$vb_window" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME([^)]*) = //p')
[ "$title" = '"Varbelo V1.0"' ] || fail "expected the title \"Varbelo V1.0\", found $title"

[ "$(count_windows '^Varbelo V1\.0$')" = 1 ] \
    || fail "expected one window titled \"Varbelo V1.0\", found $(count_windows '^Varbelo V1\.0$')"

window_geometry "$vb_window"
[ "$win_w"x"$win_h" = 442x386 ] \
    || fail "expected a client area of 442x386, found ${win_w}x${win_h}"

# The window manager answers the request to leave the taskbar asynchronously.
state=
for ((i = 0; i < 30; i++)); do
    state=$(xprop -id "$vb_window" _NET_WM_STATE)
    grep -q '_NET_WM_STATE_SKIP_TASKBAR' <<<"$state" && break
    sleep 0.1
done
grep -q '_NET_WM_STATE_SKIP_TASKBAR' <<<"$state" \
    || fail "expected _NET_WM_STATE to hold _NET_WM_STATE_SKIP_TASKBAR; it is: $state"

# A fixed size: the window manager keeps the window as it is when asked to resize it.
xdotool windowsize "$vb_window" 700 600
sleep 0.5
window_geometry "$vb_window"
[ "$win_w"x"$win_h" = 442x386 ] \
    || fail "expected the client area to stay 442x386 after a resize request, found ${win_w}x${win_h}"

# Closing through the window manager (Alt+F4 in openbox) ends the program normally.
activate_window "$vb_window"
xdotool key alt+F4
wait_exit "$vb_pid" 5 || fail "expected the program to end within 5 s of Alt+F4; it still runs, with \
$(count_windows '^Varbelo V1\.0$') window(s) shown"
[ "$code" = 0 ] || fail "expected exit code 0 after closing the window, got $code"
say "closed: exit code $code"

# The closed copy left no lock behind: the next start shows its window.
start_varbelo varbelo-again
find_varbelo 15 "$last"
[ "$(count_windows '^Application$')" = 0 ] || fail "a start after a normal close said \"Application running.\""
say "PASS"
