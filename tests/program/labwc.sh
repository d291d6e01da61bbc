#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# On labwc (a wlroots compositor, headless, one output, with XWayland) the program clicks through
# the virtual pointer, with its window native on Wayland: a script typed into it clicks at the
# right spots of a native and an X11 window, the pointer going from one to the other. labwc has no
# IPC and no portal with global shortcuts, so nothing tells the program of Esc over other windows:
# the run's notice says so, and varbelo --stop stops the run, letting go of a held button.
# Usage: labwc.sh VARBELO WAYLANDRECORDER CLICKRECORDER
VARBELO=$1 RECORDER=$2 XRECORDER=$3
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need labwc wtype grim dbus-daemon setpriv

user_programs

# labwc tells no one where a window is: its rules put the program's window at 20,40 and the
# recorder's right of it at 500,0, without the title bars that labwc would draw above them, so
# that neither covers the other when it takes the focus.
start_labwc '<windowRule identifier="org.varbelo.Varbelo" serverDecoration="no">
  <action name="MoveTo" x="20" y="40"/>
</windowRule>
<windowRule title="recorder" serverDecoration="no">
  <action name="MoveTo" x="500" y="0"/>
  <action name="ResizeTo" width="780" height="720"/>
</windowRule>'
say "labwc with one output of 1280 x 720, XWayland on $xdisplay"

# The native recorder, an X11 recorder over its lower right part (override-redirect, so where
# asked), then the program, which takes the keyboard.
launch recorder "${uenv[@]}" "$recorder" recorder
wait_ready "$work/recorder.log" "the recorder"
launch rec-x "${uenv[@]}" "$xrecorder" 900 350 350 300
wait_ready "$work/rec-x.log" "the X11 recorder"
launch varbelo "${uenv[@]}" "$vb"
wait_line "$work/varbelo.log" '^varbelo: clicking through the wlroots virtual pointer$' 10 \
    "expected \"varbelo: clicking through the wlroots virtual pointer\" on standard error"
grep -q 'XWayland' "$work/varbelo.log" && fail "the program says it runs through XWayland on labwc"
wait_line "$work/recorder.log" '^inactive$' 15 "expected the program's window to take the keyboard"
vb_x=20 vb_y=40
wait_until "the program's window at $vb_x,$vb_y" 10 \
    '[ "$(pixel $((vb_x + 1)) $((vb_y + 1)))" != "0 0 0" ]'
sleep 0.5 # the window's first frame: it takes input from then on

# Five steps, each with Down and Up, in the native and the X11 window in turn, typed from row 1's
# X box, which has the focus; then back over the toggles to the loop box (3 passes) and Execute.
steps=("native 600 100" "x 1000 400" "native 700 600" "x 1100 600" "native 1200 100")
type_script "${steps[@]}"
ink=$(notice_ink)
backtabs=()
for ((i = 0; i < 2 * ${#steps[@]} + 1; i++)); do backtabs+=(-M shift -k Tab -m shift); done
sway_type "${backtabs[@]}" 3 -M shift -k Tab -m shift -k space
say "script typed, Execute pressed"

# Pass 1 whole, in order, in each window's pixels (the X11 recorder's are the layout's).
wait_until "pass 1's clicks" 15 '(($(grep -c "^release" "$work/recorder.log") >= 3 && $(grep -c "^release" "$work/rec-x.log") >= 2))'
expect_presses <(head -n 3 <(grep '^press' "$work/recorder.log")) "100 100
200 600
700 100" "labwc, the native window at 500,0"
expect_presses <(head -n 2 <(grep '^press' "$work/rec-x.log")) "1000 400
1100 600" "labwc, the X11 window"
say "every click at its typed position, in the native and the X11 window"

# No global Esc here: the run's notice and its standard error say so.
grep -q '^varbelo: Esc cannot stop a run here' "$work/varbelo.log" \
    || fail "expected the program to say that Esc cannot stop a run on labwc"
(($(notice_ink) > ink)) || fail "expected the notice to say that Esc cannot stop this run"
say "the notice says that Esc cannot stop this run"

# varbelo --stop in pass 2: the button turns from red, no step follows, no button stays held.
presses() { cat "$work/recorder.log" "$work/rec-x.log" | grep -c "^$1" || true; }
wait_until "pass 2's first click" 10 '(($(presses press) > 5))'
"${uenv[@]}" timeout 10 "$vb" --stop >"$work/stop.out" 2>&1 || fail "varbelo --stop: $(cat "$work/stop.out")"
wait_until "the run stopped by varbelo --stop" 5 \
    '! is_red "$(pixel $((vb_x + colour_x)) $((vb_y + colour_y)))"'
at=$(presses press)
sleep 1.2 # the next step, had the run gone on
[ "$(presses press)" = "$at" ] || fail "a step was played after varbelo --stop stopped the run"
[ "$at" = "$(presses release)" ] || fail "a button stayed held after varbelo --stop"
((at < 15)) || fail "varbelo --stop did not stop the run: all 3 passes were played"
say "varbelo --stop stopped the run after $at clicks"
say PASS
