#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# The user's whole session: capture three spots with Space, mark each to be clicked, loop twice,
# run; then stop a run with Esc and run again. A click-recording window under the spots tells
# where and when the clicks land.
# Usage: scenario.sh VARBELO CLICKRECORDER XPIXEL
VARBELO=$1 RECORDER=$2 XPIXEL=$3
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Under load the one-second steps may come a little early or late; order, places and pace are
# what matters.
TOLERANCE=150
spots_x=(700 1000 1180)
spots_y=(600 300 900)

start_on_xvfb
place_and_record

expect_execute_red() { # yes|no WHEN
    execute_red "$1" 10 && return 0
    if [ "$1" = yes ]; then
        fail "expected the Execute button red $2; its colour is $colour"
    else
        fail "expected the Execute button no longer red $2; its colour is $colour"
    fi
}

# Clicks Execute; prints the server time the button was released, when the click takes effect.
click_execute() { click_client_timed "$execute_x" "$execute_y"; }

# ---- Building the script, as a user does ----

# The keys are read system-wide: give the keyboard focus to another window, as when the user
# points into some other program. One capture is a long hold (one press is one capture however
# long it lasts), one uses Shift.
rec_window=$(wait_for_window '^clickrecorder$' 5) || fail "the click recorder's window is not on the screen"
xdotool windowfocus --sync "$rec_window"
capture_keys=(space shift space)
for i in 0 1 2; do
    xdotool mousemove --sync "${spots_x[i]}" "${spots_y[i]}"
    sleep 0.15
    if [ "$i" = 0 ]; then
        xdotool keydown space
        sleep 0.6
        xdotool keyup space
        sleep 0.15
    else
        press_key "${capture_keys[i]}"
    fi
done
toggle_rows 0 2
type_loop_count 2
expect_no_click_yet

# ---- Run: two passes of three clicks ----

start=$(log_lines)
t_execute=$(click_execute)
say "Execute clicked (server time $t_execute)"
expect_execute_red yes "while the run goes"
wait_presses "$start" 6 12 \
    || fail "expected 6 clicks within 12 s of Execute; got $(presses_after "$start"):
$(clicks_after "$start")"
# The run ends with an idle tick a second after the last click; anything after that is wrong.
sleep 3
events=$(clicks_after "$start")
say "received:"
echo "$events"

expected_places=()
for _ in 1 2; do
    for i in 0 1 2; do
        expected_places+=("press 1 ${spots_x[i]} ${spots_y[i]}" "release 1 ${spots_x[i]} ${spots_y[i]}")
    done
done
mapfile -t got <<<"$events"
((${#got[@]} == 12)) \
    || fail "expected exactly 6 clicks (12 button events) in the two passes, got ${#got[@]} events:
$events"
for ((k = 0; k < 12; k++)); do
    read -r kind button x y _ <<<"${got[k]}"
    [ "$kind $button $x $y" = "${expected_places[k]}" ] \
        || fail "button event $((k + 1)) of the run: expected \"${expected_places[k]}\" (kind, button, x, y), got \"$kind $button $x $y\"; all events:
$events"
done
rawcount=$(raw_after "$start" rawpress | grep -c . || true)
# One raw press is the click on Execute itself; any other would be a click landing elsewhere.
((rawcount == 7)) || fail "expected the run to press the button 6 times in all, the screen saw $((rawcount - 1))"

# Pace: one item a second, the idle end-of-pass tick making a two-second gap between passes.
times=()
for ((k = 0; k < 12; k += 2)); do
    read -r _ _ _ _ tp <<<"${got[k]}"
    read -r _ _ _ _ tr <<<"${got[k + 1]}"
    ((tr - tp <= TOLERANCE)) || fail "item $((k / 2 + 1)): expected press and release in the same step, they came $((tr - tp)) ms apart"
    times+=("$tp")
done
expected_gaps=(1000 1000 1000 2000 1000 1000)
previous=$t_execute
measured=()
for ((k = 0; k < 6; k++)); do
    gap=$((times[k] - previous))
    measured+=("$gap")
    ((gap >= expected_gaps[k] - TOLERANCE && gap <= expected_gaps[k] + TOLERANCE)) \
        || fail "click $((k + 1)) came $gap ms after the previous $([ "$k" = 0 ] && echo "click on Execute" || echo click); expected ${expected_gaps[k]} ±$TOLERANCE ms (all gaps: ${measured[*]})"
    previous=${times[k]}
done
say "gaps from Execute, then between clicks (ms): ${measured[*]} (expected ${expected_gaps[*]})"
expect_execute_red no "after the run has ended"

# ---- Esc stops a run; the next run starts at the first item ----

start=$(log_lines)
t_execute=$(click_execute)
wait_presses "$start" 2 5 || fail "expected 2 clicks within 5 s of the second Execute; got:
$(clicks_after "$start")"
after_two=$(log_lines)
xdotool windowfocus --sync "$rec_window" # Esc stops the run whichever window has the keyboard
press_key Escape
t_escape=$(raw_after "$after_two" rawkey | head -n 1)
[ -n "$t_escape" ] || fail "the Esc key press was not seen by the recorder's raw event log"
sleep 2.5
late=$(clicks_after "$after_two")
[ -z "$late" ] || fail "expected no click after Esc (pressed at server time $t_escape); got:
$late"
expect_execute_red no "after Esc"
say "Esc stopped the run after 2 clicks; nothing came in the 2.5 s after it"

start=$(log_lines)
t_execute=$(click_execute)
wait_presses "$start" 1 3 || fail "expected a click within 3 s of Execute after Esc; none came"
read -r _ _ x y t <<<"$(clicks_after "$start" | head -n 1)"
[ "$x $y" = "${spots_x[0]} ${spots_y[0]}" ] \
    || fail "expected the run after Esc to start at the first item (${spots_x[0]},${spots_y[0]}); its first click was at $x,$y"
gap=$((t - t_execute))
((gap >= 1000 - TOLERANCE && gap <= 1000 + TOLERANCE)) \
    || fail "expected the first click 1000 ±$TOLERANCE ms after Execute, it came after $gap ms"
say "the run after Esc started at the first item, $gap ms after Execute"

# ---- A program stalled mid-run (stopped, as a machine's sleep stops it) does not catch up ----

# The rest of the run comes one click a second after the stall, in order, nothing skipped: at
# most one step at once, none of the steps due meanwhile in a burst.
kill -STOP "$vb_pid"
sleep 3.5
kill -CONT "$vb_pid"
wait_presses "$start" 6 10 || fail "expected the 5 clicks left of the run within 10 s of the stall; got:
$(clicks_after "$start")"
mapfile -t got < <(clicks_after "$start" press)
for k in 1 2 3 4 5; do
    read -r _ _ x y t <<<"${got[k]}"
    gap=$((t - $(cut -d' ' -f5 <<<"${got[k - 1]}"))) least=$((k == 1 ? 3500 : k == 3 ? 2000 : 1000))
    [ "$x $y" = "${spots_x[k % 3]} ${spots_y[k % 3]}" ] && ((gap >= least - TOLERANCE)) \
        || fail "click $((k + 1)) of the stalled run: expected at ${spots_x[k % 3]},${spots_y[k % 3]}, $least ms or more after the one before; it came at $x,$y after $gap ms"
done
say "after a stall of 3.5 s the run went on one click a second, in order"

# ---- Windows: a monitor left of the primary, at negative x ----

# Wine takes its monitors from the X server's RandR outputs; of the servers here only XWayland
# has two of them (Xvfb's RandR monitors and Xinerama screens it does not see). So: a headless
# sway, two outputs side by side, the right one made primary; wine starts there as this user
# once sway's user lets it in. XTest input reaches wine's windows, keys the one sway focuses.
if [ ${#wine_run[@]} -gt 0 ]; then
    need sway
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    rm -f "$WINEPREFIX"/drive_c/users/*/varbelo.lock
    wayland_user
    start_sway $'output HEADLESS-1 mode 1280x1024 position 0 0\noutput HEADLESS-2 mode 1280x1024 position 1280 0'
    use_xwayland
    right=$(xrandr | awk '/ connected/ && /\+1280\+0/ {print $1}')
    xrandr --output "$right" --primary
    sway_msg focus output HEADLESS-2 # the program's window goes there
    say "sway's XWayland on $DISPLAY, $right (the right output) primary"

    # The recorder over most of the left monitor, (-1200,100) to (-200,1023) as Windows counts:
    # down to the bottom edge, where a step below the desktop would land if it were clamped.
    launch recorder-left "${wine_run[@]}" "$RECORDER" -1200 100 1000 924
    rec="$work/recorder-left.log"
    wait_ready "$rec" "the click recorder on the left monitor"
    start_varbelo varbelo-right
    find_varbelo 20 "$last"
    ((vb_x >= 1280)) || fail "expected the program's window on the right monitor, it is at X ${vb_x},${vb_y}"
    xdotool mousemove --sync 780 300 # (-500, 300) on Windows
    sleep 0.15
    press_key space
    # Two typed steps: one below the desktop, on no monitor, then one on the left monitor.
    click_client 72 "$(row_y 1)"
    xdotool type --delay 100 -- $'-400\t9999\t-300\t500'
    toggle_rows 0 2
    start=$(log_lines)
    click_client "$execute_x" "$execute_y"
    wait_presses "$start" 2 6 || fail "expected 2 clicks on the left monitor within 6 s of Execute; got: $(clicks_after "$start")"
    sleep 1.2 # another click, had there been one, would have come by now
    got=$(clicks_after "$start" | awk '{print $1, $2, $3, $4}' | paste -sd' ')
    [ "$got" = "press 1 -500 300 release 1 -500 300 press 1 -300 500 release 1 -300 500" ] \
        || fail "expected the step captured at (-500,300) on the left monitor clicked there, the one at (-400,9999) on no monitor missed, not clicked at the edge, and the one at (-300,500) clicked; got: $got"
    say "a step captured on the monitor left of the primary holds x -500 and is clicked there; one below the desktop is missed"
fi
say "PASS"
