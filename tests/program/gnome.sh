#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# On GNOME (headless mutter with XWayland; monitors of 1280x720 and, to its right, of 1920x1080
# at SCALE, in mutter's logical or physical layout) the program runs on XWayland, as in a GNOME
# session, and clicks through the RemoteDesktop portal. Spots recorded through its capture
# windows, pointed at with the desktop's own mouse and Space, replay on the pixel into an X11
# window on both monitors and a native window on the scaled one, near its origin and far from it.
# With "real", on GNOME itself (gnome-shell and its own portals, start_gnome): the program,
# started from a shell, gets the clicks through GNOME's RemoteDesktop dialog and Esc through its
# shortcut dialog, both answered as a user does, and Esc stops a run.
# Usage: gnome.sh VARBELO WAYLANDRECORDER CLICKRECORDER STANDIN_PORTAL logical|physical SCALE [real]
VARBELO=$1 RECORDER=$2 XRECORDER=$3 STANDIN=$4 layout=$5 scale=$6 portal=${7:-standin}
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need pipewire wireplumber dbus-daemon dbus-send setpriv
[ "$portal" = real ] && need gnome-shell || need mutter

user_programs
start_gnome "$STANDIN" "$layout" "$scale" 1280x720 1920x1080
# The scaled monitor's size in layout units, and layout units per pixel of a native window on it.
read -r bw bh per_pixel < <(awk -v s="$scale" -v l="$layout" \
    'BEGIN { if (l == "logical") print 1920 / s, 1080 / s, 1; else print 1920, 1080, s }')
click() { # X Y
    gnome_hand Point "int32:$1" "int32:$2"
    sleep 0.05
    gnome_hand Button boolean:true
    gnome_hand Button boolean:false
    sleep 0.15
}

# The native window fullscreen on the scaled monitor, asked for there (moved there with
# Super+Shift+Right while mutter was still mapping it, it kept the first monitor's size, centred);
# the X11 one over the right of the first monitor and the left half of the scaled one; the
# program's window where mutter puts it, on the first monitor.
launch native "${uenv[@]}" "$recorder" native fullscreen last
wait_ready "$work/native.log" "the native recorder"
launch x11 "${uenv[@]}" "$xrecorder" 1000 0 $((280 + bw / 4)) "$bh"
wait_ready "$work/x11.log" "the X11 recorder"
gnome_hand Point int32:640 int32:360
launch varbelo "${uenv[@]}" "$vb"
# GNOME asks before it lends the pointer: the user allows remote interaction, picks both
# monitors and shares them.
[ "$portal" = standin ] || gnome_dialog "Remote Desktop" Alt_L+i Tab space Tab space Alt_L+s
wait_line "$work/varbelo.log" '^varbelo: clicking through the RemoteDesktop portal$' 15 \
    "expected \"varbelo: clicking through the RemoteDesktop portal\" on standard error"
find_varbelo 10
((vb_x + 442 < 1000)) || fail "expected the program's window left of x 1000, it is at $vb_x"
say "the program's window at $vb_x,$vb_y on XWayland"

# Four spots recorded into rows 0 to 3: the X11 window on the first monitor and on the scaled
# one, the native window near and far. The desktop's mouse points, Space is held across a poll,
# Esc ends. The
# X11 window is unmapped meanwhile: it bypasses the window manager, so nothing could cover it.
spots=(1100 100 $((1281 + bw / 8)) $((bh / 3 + 1)) $((1280 + 3 * bw / 8)) $((bh / 4))
       $((1280 + 3 * bw / 4)) $((2 * bh / 3)))
xwin=$(windows_named '^clickrecorder$')
xdotool windowunmap --sync "$xwin"
click $((vb_x + 72)) $((vb_y + $(row_y 0)))
click $((vb_x + 350)) $((vb_y + 119))
wait_for_window '^Varbelo: point and press' 5 >/dev/null \
    || fail "the capture windows did not come up"
for ((i = 0; i < ${#spots[@]}; i += 2)); do
    gnome_hand Point "int32:${spots[i]}" "int32:${spots[i + 1]}"
    # Under load mutter may move the pointer late: Space before that records the last spot.
    wait_until "the pointer at ${spots[*]:i:2}" 5 \
        '[ "$(xdotool getmouselocation | cut -d" " -f1-2)" = "x:${spots[i]} y:${spots[i + 1]}" ]'
    held_in=$work/x11.log hold=0.2 gnome_keys space
    sleep 0.15
done
gnome_keys Escape
sleep 0.5
[ "$(count_windows '^Varbelo: point and press')" = 0 ] \
    || fail "Esc did not take the capture windows down"
xdotool windowmap --sync "$xwin"
say "four spots recorded"

toggle_rows 0 3 click
click $((vb_x + execute_x)) $((vb_y + execute_y))
start=0
if [ "$portal" = real ]; then
    # GNOME offers the run's Esc to the user, who adds it; the first step waits for that answer.
    # Esc then stops the run after its first step, and the next run plays it whole: the desktop
    # keeps the shortcut for the program's later runs.
    gnome_dialog "Add Keyboard Shortcuts" Alt_L+a
    rec=$work/x11.log
    wait_presses 0 1 5 release || fail "no first step after the shortcut was added"
    gnome_keys Escape
    sleep 2.2 # two more steps, had the run gone on
    [ "$(presses_after 0)" = 1 ] && [ "$(presses_after 0 release)" = 1 ] \
        || fail "Esc did not stop the run after its first step: $(clicks_after 0)"
    say "Esc, through GNOME's own shortcut portal, stopped the run"
    start=$(log_lines)
    click $((vb_x + execute_x)) $((vb_y + execute_y))
fi
rec=$work/native.log
wait_presses 0 2 10 release || true
sleep 1.2 # a click more, had there been one, would have come by now
expect_presses <(tail -n +$((start + 1)) "$work/x11.log") "${spots[*]:0:2}
${spots[*]:2:2}" "the X11 window, in layout coordinates"
# In the logical layout the far spot lies beyond what the portal takes: reached by a relative move.
expect_presses "$work/native.log" "$(awk -v p="$per_pixel" -v s="${spots[*]:4}" \
    'BEGIN { split(s, a, " "); for (i = 1; i <= 4; i += 2) print (a[i] - 1280) / p, a[i + 1] / p }')" \
    "the native window, near and far, in its own pixels"
say "the recorded spots replay on the pixel"
say PASS
