#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# A drag in progress when the program is told to end: the held button is released before it
# goes, or the user is left with a button stuck down.
# Usage: drag_signal.sh VARBELO CLICKRECORDER TERM|INT|HUP
VARBELO=$1 RECORDER=$2 SIGNAL=$3
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

spot_a=(800 500)
spot_b=(1100 700)

start_on_xvfb
place_and_record

# Row 0: press and hold at A; row 1: move on to B with the button still held.
xdotool mousemove --sync "${spot_a[@]}"
sleep 0.15
press_key space
xdotool mousemove --sync "${spot_b[@]}"
sleep 0.15
press_key space
click_client "$down_x" "$(row_y 0)"

start=$(log_lines)
click_client "$execute_x" "$execute_y"
wait_presses "$start" 1 3 \
    || fail "expected the run to press the button over the recorder within 3 s of Execute; nothing came"
press=$(clicks_after "$start" press | head -n 1)
read -r _ button x y t_press <<<"$press"
[ "$button $x $y" = "1 ${spot_a[*]}" ] \
    || fail "expected a press of button 1 at ${spot_a[*]}, got button $button at $x $y"
say "button held at $x,$y"

# Well before the next step, so that only the signal can be what releases the button.
sleep 0.3
released=$(clicks_after "$start" release)
[ -z "$released" ] || fail "the button was released before the signal: $released"
sent=$(now_ms)
kill -"$SIGNAL" "$vb_pid"
say "SIG$SIGNAL sent"

# Both must happen: the release, and the end of the process (a little slack over 1 s for load).
deadline=$((sent + 1500))
release='' ended_ms=''
while (($(now_ms) < deadline)); do
    [ -n "$release" ] || release=$(clicks_after "$start" release | head -n 1)
    [ -n "$ended_ms" ] || is_running "$vb_pid" || ended_ms=$(($(now_ms) - sent))
    [ -n "$release" ] && [ -n "$ended_ms" ] && break
    sleep 0.05
done
[ -n "$release" ] || fail "expected a ButtonRelease within 1.5 s of SIG$SIGNAL during a drag; none came ($([ -n "$ended_ms" ] && echo "the program ended after $ended_ms ms" || echo "the program still runs"))"
read -r _ rbutton rx ry t_release <<<"$release"
[ "$rbutton" = 1 ] || fail "expected the release of button 1, got button $rbutton"
# The end of the pass would release it 2 s after the press; the signal came 0.3 s after it.
((t_release - t_press < 1500)) \
    || fail "the button was released only $((t_release - t_press)) ms after the press, by the end of the pass rather than on SIG$SIGNAL"
[ -n "$ended_ms" ] || fail "expected the program to end within ~1 s of SIG$SIGNAL; it still runs after 1.5 s"
wait_exit "$vb_pid" 1
say "released at $rx,$ry $((t_release - t_press)) ms after the press; program ended ${ended_ms} ms after the signal, exit code $code"
say "PASS"
