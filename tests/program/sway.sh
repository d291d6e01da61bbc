#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# On a wlroots compositor (sway, headless, two outputs side by side, the second one scaled by 2
# and reaching above the first, to negative layout positions, and XWayland) the program clicks
# through the virtual pointer, with its window native on Wayland: a script typed into it clicks at
# the right spots of native and X11 windows on both outputs, in the compositor's layout
# coordinates, the pointer entering X11 windows from native ones and from one another. Then
# rows are recorded anew through the capture layer, pointing with sway's own cursor and pressing
# Space with wtype, and replay at the recorded spots. The second output leaves its place during a
# run and comes back: steps where it was are missed, and land again once it is back. Esc typed
# into another window, and varbelo --stop, each stop a run at once, letting go of a held button;
# Esc does so in another binding mode and after a config reload too, leaves a mode whose Escape a
# file the config includes binds alone, and no binding of it is left after a run, nor after the
# program ended, a SIGHUP while it waited for sway at its end notwithstanding. varbelo --stop
# refuses a lock held by another program and a FIFO in the lock's place; without XDG_RUNTIME_DIR
# the lock's folder is the user's own.
# Usage: sway.sh VARBELO WAYLANDRECORDER CLICKRECORDER
VARBELO=$1 RECORDER=$2 XRECORDER=$3
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need sway swaymsg wtype jq grim setpriv python3

user_programs
printf 'mode "resize" {\n    bindsym Escape mode "default"\n}\n' >"$udir/modes.conf"
# The program's window floats (its size is fixed) and gets no title bar: sway may add one after
# the window has its size (1.10, under load), moving the content down after the test read it.
start_sway 'output HEADLESS-1 mode 1280x720 position 0 0
output HEADLESS-2 mode 2560x1440 scale 2 position 1280 -200
default_floating_border none
include modes.conf
mode "other" {
    bindsym q mode "default"
}'
say "sway with outputs HEADLESS-1 at 0,0 and HEADLESS-2 at 1280,-200 (scale 2), XWayland on $xdisplay"

# sway's own "cursor set" counts from the top-left corner of the outputs' bounding box, not
# from the layout's origin.
read -r box_x box_y < <("${uenv[@]}" swaymsg -t get_outputs -r \
    | jq -r '"\([.[].rect.x] | min) \([.[].rect.y] | min)"')
pointer_to() { # X Y, in layout coordinates
    sway_msg seat seat0 cursor set $(($1 - box_x)) $(($2 - box_y))
}
# The top-left corner of a window's content in layout coordinates, by jq filter.
content_origin() { # FILTER
    "${uenv[@]}" swaymsg -t get_tree \
        | jq -r "[.. | objects | select(.pid? and ($1))][0] | \"\\(.rect.x + .window_rect.x) \\(.rect.y + .window_rect.y)\""
}
# A click of the compositor's own seat, as a user's mouse would give it.
sway_click() { # X Y
    pointer_to "$1" "$2"
    sleep 0.05
    sway_msg seat seat0 cursor press button1
    sleep 0.05
    sway_msg seat seat0 cursor release button1
    sleep 0.15
}

# A native recorder filling each output: the left one tiled on output 1, the right one moved to
# 2. Over them an X11 recorder on each output, override-redirect, so at the X position asked for,
# which is the layout position where XWayland's screen reaches.
for side in left right; do
    launch "rec-$side" "${uenv[@]}" "$recorder" "$side"
    wait_ready "$work/rec-$side.log" "the $side recorder"
done
sway_msg '[title="^left$"] move to output HEADLESS-1' # sway 1.10 maps it on the last output
sway_msg '[title="^right$"] move to output HEADLESS-2'
sway_msg focus output HEADLESS-1
launch rec-xa "${uenv[@]}" "$xrecorder" 900 250 350 300
launch rec-xb "${uenv[@]}" "$xrecorder" 1700 0 600 400
for x in a b; do wait_ready "$work/rec-x$x.log" "the X11 recorder x$x"; done
for probe in "1000 300" "1800 100"; do # shown, in the recorders' own colour
    for ((i = 0; ; i++)); do
        [ "$(pixel $probe)" = "48 96 160" ] && break
        ((i < 50)) || fail "sway did not show the X11 recorder at $probe within 5 s"
        sleep 0.1
    done
done

launch varbelo "${uenv[@]}" "$vb"
vb_pid=$last
wait_line "$work/varbelo.log" '^varbelo: clicking through the wlroots virtual pointer$' 10 \
    "expected \"varbelo: clicking through the wlroots virtual pointer\" on standard error"
# Placed once it has its final size and sway has centred it by that size: Qt's first frame may
# carry its own title bar until sway's decoration is agreed, and for a moment sway reports the
# final size at the place it gave the taller frame (419,140 against 419,167), so the place must
# read the same twice.
last_origin= placed=
for ((i = 0; i < 40; i++)); do
    read -r vb_x vb_y < <(content_origin '.app_id == "org.varbelo.Varbelo" and .window_rect.width == 442 and .window_rect.height == 386') || true
    [ "${vb_x:-null}" != null ] && [ "$vb_x $vb_y" = "$last_origin" ] && placed=1 && break
    last_origin="$vb_x $vb_y"
    sleep 0.25
done
[ -n "$placed" ] || fail "the program's window (442 x 386) did not come to rest on sway within 10 s"
grep -q 'XWayland' "$work/varbelo.log" && fail "the program says it runs through XWayland on sway"
say "the program's window at $vb_x,$vb_y (native Wayland)"
read -r left_x left_y < <(content_origin '.name == "left"')
read -r right_x right_y < <(content_origin '.name == "right"')
declare -A origin=([left]="$left_x $left_y" [right]="$right_x $right_y" [xa]="0 0" [xb]="0 0")

# Plays the script and checks every recorder's presses so far, in its own pixels (the native
# ones' from their window's corner, the X11 ones' in X coordinates), against rows played as
# "RECORDER X Y" in layout coordinates; the last row's recorder tells when the run is over.
play_and_check() { # WHAT ROW...
    local last rec
    last=${*: -1}
    last=${last%% *}
    rec=$work/rec-$last.log
    sway_click $((vb_x + execute_x)) $((vb_y + execute_y))
    wait_presses 0 "$(printf '%s\n' "${@:2}" | grep -c "^$last ")" 15 release || true
    sleep 1.2 # another click, had there been one, would have come by now
    check_presses "$@"
}
check_presses() { # WHAT ROW...
    local what=$1 name r n x y ox oy expected
    shift
    for name in left right xa xb; do
        read -r ox oy <<<"${origin[$name]}"
        expected=
        for r in "$@"; do
            read -r n x y <<<"$r"
            [ "$n" = "$name" ] && expected+="$((x - ox)) $((y - oy))"$'\n'
        done
        expect_presses "$work/rec-$name.log" "${expected%$'\n'}" "$name recorder at ${origin[$name]/ /,}, $what"
    done
}

# Six steps, each with Down and Up, in native and X11 windows on both outputs: the pointer
# enters X11 windows from a native one on the other output and from the other X11 window, typed
# from row 1's X box.
typed=("left 100 650" "xa 1000 300" "right 1380 300" "xa 1100 400" "xb 1800 100"
       "right 2500 -150")
sleep 0.5 # the window's first frame: it takes input from then on
sway_click $((vb_x + 72)) $((vb_y + $(row_y 0)))
type_script "${typed[@]}"
say "script typed"
# The run's Escape binding, left in any mode: unbinding it there succeeds.
escape_gone() { # WHEN
    local mode flags left=
    for mode in default resize other; do
        for flags in --release "--release --inhibited"; do
            "${uenv[@]}" swaymsg "mode \"$mode\" unbindsym $flags Escape" >/dev/null 2>&1 \
                && left+=" $mode ($flags)"
        done
    done
    [ -z "$left" ] || fail "Escape is still bound $1, in:$left"
}
play_and_check "the typed script" "${typed[@]}"
escape_gone "after a run that ended by itself"
say "every click at its typed layout position, native and X11 windows on both outputs"

# The capture layer: row 0 focused, Record, then four spots pointed at and Space held across a
# poll at each; Esc takes the layer down. The rows keep their Down and Up. While it is up, each
# output shows what lies beneath it through a faint tint: a recorder's pixel darkens a little,
# not to black, and is itself again once the layer is down.
probes=("$((left_x + 20)) $((left_y + 20))" "$((right_x + 20)) $((right_y + 20))")
base=()
for probe in "${probes[@]}"; do base+=("$(pixel $probe)"); done
layer_shows() { # up|down: waits up to 5 s for every probe to show the layer so
    local i c b seen ok
    for ((t = 0; t < 50; t++)); do
        ok=1
        for i in "${!probes[@]}"; do
            seen=($(pixel ${probes[i]}))
            b=(${base[i]})
            for c in 0 1 2; do
                if [ "$1" = up ]; then
                    ((seen[c] * 100 >= b[c] * 80 && seen[c] * 100 <= b[c] * 96)) || ok=0
                else
                    ((seen[c] == b[c])) || ok=0
                fi
            done
        done
        ((ok)) && return 0
        sleep 0.1
    done
    return 1
}
record_x=350 record_y=119
sway_click $((vb_x + 72)) $((vb_y + $(row_y 0)))
sway_click $((vb_x + record_x)) $((vb_y + record_y))
layer_shows up || fail "expected a see-through layer on both outputs: the probes read $(for p in "${probes[@]}"; do echo -n "($(pixel $p)) "; done)against ${base[*]}"
grep -q 'recording through fullscreen windows' "$work/varbelo.log" \
    && fail "the program records through fullscreen windows on sway, not its overlay layer"
recorded=("left 200 600" "xa 950 500" "right 1500 400" "xb 2000 200")
for r in "${recorded[@]}"; do
    read -r _ x y <<<"$r"
    pointer_to "$x" "$y"
    sleep 0.2
    sway_type -P space -s 200 -p space
    sleep 0.15
done
sway_type -k Escape
layer_shows down || fail "Esc did not take the capture layer down"
say "four spots recorded through the layer, Esc closed it"

played=("${typed[@]}" "${recorded[@]}" "${typed[@]:4}")
play_and_check "after recording" "${played[@]}"
say "the recorded rows replay at the spots pointed at, on both outputs"

# The second output goes in the middle of a run of two passes and comes back in the second: its
# steps are missed and said in the window's notice (more dark red text there), the first
# output's land; back, its steps land on their pixels again. sway 1.7 cannot disable a headless
# output (its commit fails), so the output leaves its place for one far away, and returns. It
# returns while sway stands still across a step: sway then takes the move of the output before
# the step's, which the program sent knowing the old layout. That step is on the first output,
# whose place stays, and still lands on its pixel though the outputs' bounding box has shrunk.
move_while_sway_stalls() { # SECONDS SWAY_COMMAND: over a connection sway has already accepted
    "${uenv[@]}" python3 -c '
import os, signal, socket, struct, sys, time
ipc = socket.socket(socket.AF_UNIX)
ipc.connect(os.environ["SWAYSOCK"])
def command(text):
    ipc.sendall(b"i3-ipc" + struct.pack("=II", len(text), 0) + text.encode())
def reply():
    length = struct.unpack("=II", ipc.recv(14, socket.MSG_WAITALL)[6:])[0]
    return ipc.recv(length, socket.MSG_WAITALL)
command("nop"); reply()
os.kill(int(sys.argv[1]), signal.SIGSTOP)
command(sys.argv[3])
time.sleep(float(sys.argv[2]))
os.kill(int(sys.argv[1]), signal.SIGCONT)
sys.exit(b"\"success\": true" not in reply())' "$sway_pid" "$@"
}
sway_click $((vb_x + loop_x)) $((vb_y + loop_y))
sway_type -M ctrl a -m ctrl 2
rec=$work/rec-left.log start=$(log_lines) # the first step of each pass is there
sway_click $((vb_x + execute_x)) $((vb_y + execute_y))
wait_presses "$start" 1 3 || fail "no click in the first step of the run"
sway_msg -- output HEADLESS-2 position 4000 -200
ink=$(notice_ink)
wait_presses "$start" 2 9 || fail "no click in the first step of the second pass"
move_while_sway_stalls 1.5 'output HEADLESS-2 position 1280 -200' \
    || fail "sway did not move HEADLESS-2 back"
(($(notice_ink) > ink)) || fail "no notice of the steps missed on the output that went"
sleep 6 # the rest of the run
check_presses "with HEADLESS-2 gone in pass 1 and back in pass 2" "${played[@]}" \
    "${recorded[@]:0:2}" "${recorded[@]}" "${typed[@]:4}"
say "steps on an output that went were missed and said; back, they land on their pixels"

# Row 0 now only presses and row 1 only releases, five times over, while the left recorder has
# the keyboard. Once row 0 has pressed, HOW stops the run: the button turns from red, whatever
# playback held is let go and no step follows.
sway_click $((vb_x + up_x)) $((vb_y + $(row_y 0)))
sway_click $((vb_x + down_x)) $((vb_y + $(row_y 1)))
sway_click $((vb_x + loop_x)) $((vb_y + loop_y))
sway_type -M ctrl -k a -m ctrl 5
presses() { cat "$work"/rec-*.log | grep -c "^$1" || true; }
stop_run() { # HOW...
    local before
    before=$(grep -c '^press' "$work/rec-left.log")
    sway_click $((vb_x + execute_x)) $((vb_y + execute_y))
    sway_msg '[title="^left$"] focus'
    wait_until "row 0 pressed" 10 '(($(grep -c "^press" "$work/rec-left.log") > before))'
    "$@" || true
    wait_until "the run stopped by $*" 5 '! is_red "$(pixel $((vb_x + colour_x)) $((vb_y + colour_y)))"'
    before=$(presses press)
    sleep 1.2 # the next step, had the run gone on
    [ "$(presses press)" = "$before" ] || fail "a step was played after $* stopped the run"
    [ "$before" = "$(presses release)" ] || fail "a button stayed held after $* stopped the run"
}
stop_run sway_type -k Escape
grep -qx "varbelo: Esc during a run through sway's IPC" "$work/varbelo.log" \
    || fail "the program did not say that it hears Esc through sway's IPC"
escape_gone "after Esc stopped the run"
say "Esc typed into another window stopped the run, and its binding is gone"
stop_command() { "${uenv[@]}" timeout 10 "$vb" --stop >"$work/stop.out" 2>&1; }
stop_run stop_command
[ ! -s "$work/stop.out" ] || fail "varbelo --stop said: $(cat "$work/stop.out")"
escape_gone "after varbelo --stop"
say "varbelo --stop stopped the run"
# Esc is held in the mode the run meets, and again once a reload has dropped runtime bindings
# (typed until it stops the run: the binding comes back a moment after the reload).
escape_in_mode() { sway_msg mode other; sway_type -k Escape; sway_msg mode default; }
stop_run escape_in_mode
escape_after_reload() {
    # Not while row 0 holds the button: sway's reload forgets a held button, and its release.
    wait_until "row 1 released" 5 '[ "$(presses press)" = "$(presses release)" ]'
    sway_msg reload
    local i
    for ((i = 0; i < 10; i++)); do
        sway_type -k Escape
        sleep 0.3
        is_red "$(pixel $((vb_x + colour_x)) $((vb_y + colour_y)))" || return 0
    done
}
stop_run escape_after_reload
escape_gone "after a reload"
say "Esc stopped runs in another mode and after a config reload"

# In a mode where the user's config (here a file it includes) binds Escape, that binding stays
# and the run says so.
sway_msg mode resize
sway_click $((vb_x + execute_x)) $((vb_y + execute_y))
wait_line "$work/varbelo.log" "^varbelo: Esc cannot stop this run: sway's mode \"resize\" binds Escape to: mode \"default\"\$" \
    5 "expected the run to say that sway's mode resize keeps its Escape"
sway_type -k Escape
wait_until "the user's Escape binding left the mode" 5 \
    '"${uenv[@]}" swaymsg -t get_binding_state -r | grep -q "\"default\""'
is_red "$(pixel $((vb_x + colour_x)) $((vb_y + colour_y)))" || fail "the run stopped on the user's Escape"
stop_command
say "a mode's own Escape binding is left alone, and the run says so"

# Told to end during a run, the program gives Esc back first: a SIGHUP that comes while it waits
# for sway's answer (sway stands still meanwhile) does not end it before that. The wait is a
# poll() of the IPC socket alone, for at most 500 ms (poll is x86-64's system call 7).
waiting_for_sway() {
    local call fds nfds timeout
    read -r call fds nfds timeout _ <"/proc/$vb_pid/syscall" 2>/dev/null \
        && [ "$call" = 7 ] && ((nfds == 1 && timeout <= 500))
}
before=$(grep -c '^press' "$work/rec-left.log")
sway_click $((vb_x + execute_x)) $((vb_y + execute_y))
wait_until "row 0 pressed" 10 '(($(grep -c "^press" "$work/rec-left.log") > before))'
if [ "$(uname -m)" = x86_64 ]; then
    kill -STOP "$sway_pid"
    kill -TERM "$vb_pid"
    deadline=$((SECONDS + 5))
    until waiting_for_sway; do
        ((SECONDS < deadline)) && is_running "$vb_pid" || break
    done
    waiting_for_sway && kill -HUP "$vb_pid" && seen=1 || seen=0
    kill -CONT "$sway_pid"
    ((seen)) || { cat "/proc/$vb_pid/syscall" 2>/dev/null; fail "the program did not wait for sway's answer at its end"; }
    wait_exit "$vb_pid" 5 || fail "the program did not end within 5 s of SIGTERM"
    [ "$code" = 0 ] || fail "a SIGHUP while the program waited for sway at its end ended it with $code, not 0"
else
    kill -TERM "$vb_pid"
    wait_until "the program ended" 5 '! is_running "$vb_pid"'
fi
escape_gone "after the program ended during a run"
code=0
stop_command || code=$?
[ "$code" = 1 ] && grep -q 'no copy' "$work/stop.out" \
    || fail "expected varbelo --stop without a copy to say so and end with 1, got $code: $(cat "$work/stop.out")"
say "varbelo --stop without a copy: code 1"

# A lock held by another program, naming it: it gets no signal. A FIFO in the lock's place does
# not hold the command up.
lock=$udir/run/varbelo.lock
# shellcheck disable=SC2016 # expanded by the inner shell
launch holder "${uenv[@]}" sh -c 'echo $$ >"$1"; exec flock "$1" sleep 60' _ "$lock"
holder=$last
wait_until "flock holding the lock" 5 '[ "$(cat /proc/$holder/comm 2>/dev/null)" = flock ] && pgrep -P "$holder" >/dev/null'
code=0
stop_command || code=$?
[ "$code" = 1 ] && is_running "$holder" \
    || fail "expected varbelo --stop to leave another program that holds the lock alone and end with 1, got $code: $(cat "$work/stop.out")"
kill -- -"$holder"
rm -f "$lock"
"${uenv[@]}" mkfifo "$lock"
code=0
stop_command || code=$?
[ "$code" = 1 ] && grep -q 'not a lock file' "$work/stop.out" \
    || fail "expected varbelo --stop to refuse a FIFO at the lock's path with 1, got $code: $(cat "$work/stop.out")"
say "varbelo --stop refuses a lock held by another program, and a FIFO"

# Without XDG_RUNTIME_DIR the lock's folder is the user's own, mode 0700, in the temporary
# directory; one that someone else made there is not taken.
"${uenv[@]}" mkdir -m 1777 "$udir/tmp"
no_runtime_stop() { "${uenv[@]}" env -u XDG_RUNTIME_DIR TMPDIR="$udir/tmp" "$vb" --stop 2>&1 || true; }
no_runtime_stop >/dev/null
user_id=$("${uenv[@]}" id -u)
[ "$(stat -c '%a %u' "$udir/tmp/varbelo-$user_id" 2>&1)" = "700 $user_id" ] \
    || fail "expected the lock's folder $udir/tmp/varbelo-$user_id, mode 700, the user's: $(ls -ld "$udir/tmp/"* 2>&1)"
if [ "$(id -u)" = 0 ]; then
    rmdir "$udir/tmp/varbelo-$user_id"
    mkdir -m 777 "$udir/tmp/varbelo-$user_id"
    no_runtime_stop | grep -q "no folder of this user's" \
        || fail "varbelo --stop took a lock folder that root made: $(no_runtime_stop)"
fi
say "without XDG_RUNTIME_DIR the lock's folder is the user's own, mode 0700"
say PASS
