#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# On KDE Plasma's compositor (kwin_wayland --virtual, with XWayland) the program clicks through
# KWin's fake input when its desktop entry grants it: four spots recorded through its overlay
# layer (the pointer moved and Space held through KWin's fake input) replay at the right spots of
# a native window and of an X11 window, in turn, five times over; Esc typed while the native
# window has the keyboard stops the run through KDE's shortcut service, which KWin hosts, within a
# step, and leaves no button held. KDE's shortcut settings never hold Esc for the program, while a
# run holds it or after a copy is killed mid-run; the service keeps a killed copy's action on Esc,
# and the next start gives it back. A copy that no desktop entry names is refused by KWin; it says
# so in one line and falls back to X11 through XWayland.
# Usage: kwin.sh VARBELO WAYLANDRECORDER FAKEKEYS CLICKRECORDER
VARBELO=$1 RECORDER=$2 FAKEKEYS=$3 XRECORDER=$4
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need kwin_wayland dbus-daemon setpriv

user_programs
keys=$(user_copy "$FAKEKEYS")
mkdir -p "$udir/refused"
refused=$(cp "$vb" "$udir/refused/" && echo "$udir/refused/varbelo")
start_kwin "$vb" "$keys"
use_xwayland
say "KWin on wayland-vb, one output of 1280 x 720, XWayland on $DISPLAY"

# Refused: one line that says why, then X11 as before.
launch refused "${uenv[@]}" "$refused"
find_varbelo 15 "$last"
kill -TERM "$last"
wait_exit "$last" 5 || fail "the refused copy did not end within 5 s of SIGTERM"
grep -qx "varbelo: not through KWin's fake input: KWin withholds org_kde_kwin_fake_input: .*" \
    "$work/refused.log" || fail "expected the refused copy to say that KWin withholds fake input"
grep -qx 'varbelo: clicking through X11 (XWayland)' "$work/refused.log" \
    || fail "expected the refused copy to fall back to X11"
say "without the grant: KWin withholds fake input, the program says so and uses X11"

# Granted: the recorder over the output and an X11 recorder over its right part, clear of the
# program's window in the middle (override-redirect, so at the X position asked for, which is the
# global one), then the program, which KWin gives the focus.
launch recorder "${uenv[@]}" "$recorder" recorder fullscreen
recorder_pid=$last
wait_ready "$work/recorder.log" "the recorder"
launch rec-x "${uenv[@]}" "$xrecorder" 900 350 350 300
rec_x_pid=$last
wait_ready "$work/rec-x.log" "the X11 recorder"
rm -f "$udir/run/varbelo.lock"
launch varbelo "${uenv[@]}" "$vb"
varbelo_pid=$last
wait_line "$work/varbelo.log" "^varbelo: clicking through KWin's fake input$" 10 \
    "expected \"varbelo: clicking through KWin's fake input\" on standard error"
grep -q 'XWayland' "$work/varbelo.log" && fail "the program says it runs through XWayland on KWin"
# KWin gives the new window the keyboard, and the recorder hears that it lost it.
wait_line "$work/recorder.log" '^inactive$' 15 "expected the program's window to take the keyboard"
sleep 0.3

# Row 1 is focused; Record is last in the tab order, one BackTab away. Four spots are pointed at
# and recorded through the overlay, in the native window and the X11 one in turn; Esc ends. Each
# capture moved the focus on, to row 5's X box now, 35 Tabs before row 1's Down (the order runs
# through the other rows, the scroll bar, Execute and the loop box). Then the rows' Down and Up,
# and nine BackTabs back to Execute; the loop box, one Tab on, gets 5. The Wait lets the overlay
# come up however busy the machine is.
recording=(BackTab Space Wait @30,690 HoldSpace @1000,400 HoldSpace @1250,30 HoldSpace
           @1100,600 HoldSpace Escape)
typing=()
for ((i = 0; i < 35; i++)); do typing+=(Tab); done
typing+=(Space)
for ((i = 0; i < 7; i++)); do typing+=(Tab Space); done
for ((i = 0; i < 9; i++)); do typing+=(BackTab); done
typing+=(Tab 5 BackTab Space)
"${uenv[@]}" "$keys" "${recording[@]}" || fail "could not record through KWin"
sleep 0.3 # the keyboard back at the window
"${uenv[@]}" "$keys" "${typing[@]}" || fail "could not type into KWin"
say "four spots recorded, Execute pressed"

kga() { # METHOD ARGUMENT...: a call to KDE's shortcut service
    "${uenv[@]}" gdbus call --session --dest org.kde.kglobalaccel --object-path /kglobalaccel \
        --method "org.kde.KGlobalAccel.$1" "${@:2}"
}
esc="([$((0x01000000)), 0, 0, 0],)" # Qt::Key_Escape as the service's key sequence
wait_esc() { # REGEX WHAT: until the action on Esc matches; "(@as [],)" is none
    local deadline=$((SECONDS + 10))
    until kga actionList "$esc" | grep -qE "$1"; do
        ((SECONDS < deadline)) || fail "$2 within 10 s (Esc: $(kga actionList "$esc" 2>&1))"
        sleep 0.1
    done
}
marks=0
nothing_saved() { # WHEN: once the service has written its settings since, nothing of ours is there
    local marker="['org.example.Marker', 'mark', 'Marker', 'Mark']" deadline=$((SECONDS + 10))
    marks=$((marks + 1))
    kga doRegister "$marker" >/dev/null
    kga setShortcutKeys "$marker" "[([$((0x0100002f + marks)), 0, 0, 0],)]" 6 >/dev/null # F<marks>
    until grep -qs "^mark=F$marks," "$udir/.config/kglobalshortcutsrc"; do
        ((SECONDS < deadline)) || fail "KDE's shortcut service wrote no settings within 10 s"
        sleep 0.1
    done
    # The service writes our component's name; a key of ours would come with the action's.
    ! grep -qs 'Stop the run' "$udir/.config/kglobalshortcutsrc" \
        || fail "Esc saved in kglobalshortcutsrc $1"
}
wait_esc "'org.varbelo.Varbelo'" "expected the run to take Esc through KDE's shortcut service"
nothing_saved "while the run holds it"
# Pass 1, then pass 2's first click, which gives the native window the keyboard.
settled() {
    awk '$1 ~ /active/ {focus = $1} $1 == "release" {n++}
         END {exit !(n >= 3 && focus == "active")}' "$work/recorder.log" \
        && [ "$(grep -c '^release' "$work/rec-x.log")" -ge 2 ]
}
wait_until "expected three clicks in the native window, then its keyboard" 15 settled
at=$(cat "$work/recorder.log" "$work/rec-x.log" | grep -c '^press')
"${uenv[@]}" "$keys" Escape || fail "could not type Esc into KWin"
wait_esc '@as \[\]' "expected the run to stop and give Esc back"
sleep 2.2 # two steps' time: a run that went on would have clicked twice more by now
after=$(($(cat "$work/recorder.log" "$work/rec-x.log" | grep -c '^press') - at))
((after <= 1)) || fail "$after clicks after Esc: the run went on"
for log in recorder rec-x; do
    [ "$(grep -c '^press' "$work/$log.log")" = "$(grep -c '^release' "$work/$log.log")" ] \
        || fail "a press without its release in $log.log: the button stays held"
done
expect_presses <(head -n 3 <(grep '^press' "$work/recorder.log")) "30 690
1250 30
30 690" "KWin, the native window"
expect_presses <(head -n 2 <(grep '^press' "$work/rec-x.log")) "1000 400
1100 600" "KWin, the X11 window"
say "clicks at the recorded global positions, native and X11 windows in turn; Esc stopped the" \
    "run within a step ($after more), no button held, Esc given back, nothing saved"

# Another action on Esc: the next run says whose. With the native window closed the keyboard is
# the program's again, its focus still on Execute.
holder="['org.example.Holder', 'hold', 'Holder', 'Hold Esc']"
kga doRegister "$holder" >/dev/null
kga setShortcutKeys "$holder" "[$esc]" 6 >/dev/null # present, not from saved settings
# The X11 recorder goes too: a click of the run into it would take the keyboard.
kill -TERM "$recorder_pid" "$rec_x_pid"
wait_exit "$recorder_pid" 5 && wait_exit "$rec_x_pid" 5 || fail "the recorders did not end"
"${uenv[@]}" "$keys" Space || fail "could not type into KWin"
wait_line "$work/varbelo.log" \
    '^varbelo: Esc cannot stop this run \(another action holds Esc: Hold Esc \(Holder\)\)' 10 \
    "expected the program to say that another action holds Esc"
say "with another action on Esc, the run says so"

# A copy killed mid-run leaves its action on Esc, which the service keeps for the whole desktop;
# the next start takes it back. Execute still has the keyboard: Space stops the run, Space starts
# one that holds Esc.
kga unregister org.example.Holder hold >/dev/null
"${uenv[@]}" "$keys" Space Space || fail "could not type into KWin"
wait_esc "'org.varbelo.Varbelo'" "expected the next run to take Esc"
kill -KILL "$varbelo_pid"
wait_exit "$varbelo_pid" 5 || fail "the program outlived SIGKILL"
kga actionList "$esc" | grep -q "'org.varbelo.Varbelo'" \
    || fail "the service dropped a killed copy's action itself: the check below shows nothing"
nothing_saved "after the program was killed mid-run"
launch again "${uenv[@]}" "$vb"
wait_esc '@as \[\]' "expected a new start to give back the Esc that a killed copy left taken"
say "killed mid-run, the program left Esc taken and nothing saved; the next start gave it back"
say PASS
