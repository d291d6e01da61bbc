#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shows the program at work on a machine without a screen: on a private X server it records
# three spots of a click-recording window with Space, marks each to be pressed and released,
# sets the loop count to 2 and clicks Execute; then it prints where and when each of the six
# clicks landed, and says whether that is what the program should do. `make demo` runs it.
#
# Usage: tools/demo.sh [BUILD_DIR [SCREENSHOT]]
#   BUILD_DIR   the built program and its test tools (default: build)
#   SCREENSHOT  where the picture of the window mid-run goes (default: BUILD_DIR/demo-run.png;
#               the README's picture is docs/demo-run.png)
# Exits non-zero when the clicks are not the recorded ones, in order, a second apart.
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$source_dir/build}
shot=${2:-}

[ -d "$build" ] || {
    echo "demo: no build directory $build; run make demo (or make build) first" >&2
    exit 1
}
build=$(cd "$build" && pwd)
shot=${shot:-$build/demo-run.png}
mkdir -p "$(dirname "$shot")"
shot=$(cd "$(dirname "$shot")" && pwd)/$(basename "$shot")
VARBELO=$build/varbelo
RECORDER=$build/tests/program/clickrecorder
XPIXEL=$build/tests/program/xpixel
XSHOT=$build/tests/program/xshot
for file in "$VARBELO" "$RECORDER" "$XPIXEL" "$XSHOT"; do
    [ -x "$file" ] || {
        echo "demo: $file is missing; run make demo (or make build) first" >&2
        exit 1
    }
done

# The program tests' display, window manager, input helpers and clean-up: everything started
# here is stopped on exit, the X server last.
# shellcheck source=tests/program/common.sh
source "$source_dir/tests/program/common.sh"
own_session # the picture looks the same everywhere

# Under load a step may come a little early or late.
TOLERANCE=150
spots_x=(700 1000 1180)
spots_y=(600 300 900)
caption_area=(313 334 119 44) # the inside of the Execute button

start_on_xvfb 96
place_and_record
say "the program's window is at $vb_x,$vb_y; a click-recording window covers the screen right of it"

# The keys are read wherever the keyboard focus is; give it to the recorder, as when the user
# points into another program.
rec_window=$(wait_for_window '^clickrecorder$' 5) || fail "the click recorder's window is not on the screen"
xdotool windowfocus --sync "$rec_window"
for i in 0 1 2; do
    xdotool mousemove --sync "${spots_x[i]}" "${spots_y[i]}"
    sleep 0.15
    press_key space
    say "pointer at ${spots_x[i]},${spots_y[i]}: Space pressed, recorded into row $((i + 1))"
done
toggle_rows 0 2
say "Down and Up set on rows 1 to 3"
type_loop_count 2
say "loop count set to 2"
expect_no_click_yet

idle_caption=$("$XSHOT" --ink "$vb_window" "${caption_area[@]}")
start=$(log_lines)
t_execute=$(click_client_timed "$execute_x" "$execute_y")
say "Execute clicked; two passes of three clicks take 7 s"

# The picture: just after the first click, the button red and reading Stop, the status line
# naming the step.
wait_presses "$start" 1 4 || fail "no click within 4 s of Execute"
sleep 0.1
execute_red yes 1 || fail "expected the Execute button red while the run goes; its colour is $colour"
running_caption=$("$XSHOT" --ink "$vb_window" "${caption_area[@]}")
read -r _ _ idle_w _ <<<"$idle_caption"
read -r _ _ running_w _ <<<"$running_caption"
if [ "$running_caption" = none ] || ((running_w >= idle_w)); then
    fail "expected the button's caption to change from Execute to the shorter Stop; its ink was $idle_caption, now $running_caption"
fi
"$XSHOT" --frame "$vb_window" "$shot" || fail "could not save the picture to $shot"
say "picture of the running window saved to $shot"

wait_presses "$start" 6 12 \
    || fail "expected 6 clicks within 12 s of Execute; got $(presses_after "$start"):
$(clicks_after "$start")"
# The run ends with an idle tick a second after the last click; the button turns back then.
execute_red no 30 || fail "expected the run to end about a second after the sixth click; the button is still red"
events=$(clicks_after "$start")

# ---- The report ----

mapfile -t got <<<"$events"
expected_gaps=(1000 1000 1000 2000 1000 1000) # the idle end-of-pass tick makes the 2 s
problems=()
worst=0
previous=$t_execute
echo
echo "The clicks the recording window received (times on the X server's clock):"
echo
echo "Click  Pass  Row  Landed at   Recorded spot?  After Execute  Gap      Expected gap"
for ((k = 0; k < 6; k++)); do
    step=$((k % 3))
    if ((2 * k + 1 >= ${#got[@]})); then
        printf '%5d  %4d  %3d  %-10s  %s\n' $((k + 1)) $((k / 3 + 1)) $((step + 1)) "-" "never came"
        problems+=("click $((k + 1)) never came")
        continue
    fi
    read -r kind button x y tp <<<"${got[2 * k]}"
    read -r kind2 button2 x2 y2 tr <<<"${got[2 * k + 1]}"
    spot=no
    if [ "$x,$y" = "${spots_x[step]},${spots_y[step]}" ]; then
        spot="yes, spot $((step + 1))"
    else
        problems+=("click $((k + 1)) landed at $x,$y, not at spot $((step + 1)) (${spots_x[step]},${spots_y[step]})")
    fi
    [ "$kind $button $kind2 $button2" = "press 1 release 1" ] && [ "$x2,$y2" = "$x,$y" ] \
        && ((tr - tp <= TOLERANCE)) \
        || problems+=("click $((k + 1)) is not one left press and release at one place: \"${got[2 * k]}\" then \"${got[2 * k + 1]}\"")
    gap=$((tp - previous))
    off=$((gap - expected_gaps[k]))
    ((${off#-} > worst)) && worst=${off#-}
    ((${off#-} <= TOLERANCE)) \
        || problems+=("click $((k + 1)) came $gap ms after the previous $([ "$k" = 0 ] && echo "click on Execute" || echo click), not ${expected_gaps[k]} ±$TOLERANCE ms")
    printf '%5d  %4d  %3d  %-10s  %-14s  %10d ms  %4d ms  %4d ms\n' $((k + 1)) $((k / 3 + 1)) \
        $((step + 1)) "$x,$y" "$spot" $((tp - t_execute)) "$gap" "${expected_gaps[k]}"
    previous=$tp
done
((${#got[@]} <= 12)) || problems+=("$(((${#got[@]} - 12) / 2)) more clicks than the 6 recorded: ${got[*]:12}")
# Every press on the screen: the click on Execute and the six; another would have landed
# outside the recorder.
rawcount=$(raw_after "$start" rawpress | grep -c . || true)
((rawcount == 7)) || problems+=("the screen saw $((rawcount - 1)) button presses in the run, not 6")
echo

if ((${#problems[@]})); then
    printf 'wrong: %s\n' "${problems[@]}"
    fail "the clicks are not the 6 recorded ones, a second apart"
fi
echo "6 clicks at the 3 recorded spots, in order, 1 s apart (±$worst ms; 2 s across the end of the first pass): the program works"
