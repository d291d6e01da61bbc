#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# On KDE Plasma's compositor (kwin_wayland --virtual) the program clicks through KWin's fake
# input when its desktop entry grants it: two spots recorded through its overlay layer (the
# pointer moved and Space held through KWin's fake input) replay at the right spots of a native
# window. A copy that no desktop entry names is refused by KWin; it says
# so in one line and falls back to X11 (Xvfb standing in for XWayland).
# Usage: kwin.sh VARBELO WAYLANDRECORDER FAKEKEYS
VARBELO=$1
RECORDER=$2
FAKEKEYS=$3
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
for tool in kwin_wayland dbus-daemon setpriv; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (tools/install-deps.sh installs it)"
done

wayland_user
vb=$(user_copy "$VARBELO")
recorder=$(user_copy "$RECORDER")
keys=$(user_copy "$FAKEKEYS")
# Debian's kwin_wayland carries a file capability, which a container refuses to grant: a copy
# carries none.
kwin=$(user_copy "$(command -v kwin_wayland)")
mkdir -p "$udir/refused"
refused=$(cp "$vb" "$udir/refused/" && echo "$udir/refused/varbelo")

# The grant, as the installed desktop entry gives it, for the program and the key typer.
mkdir -p "$udir/share/applications"
grant_line=$(grep '^X-KDE-Wayland-Interfaces=' "$(dirname "${BASH_SOURCE[0]}")/../../data/linux/org.varbelo.Varbelo.desktop") \
    || fail "the desktop entry lacks X-KDE-Wayland-Interfaces="
for exe in "$vb" "$keys"; do
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\n%s\n' \
        "$(basename "$exe")" "$exe" "$grant_line" >"$udir/share/applications/$(basename "$exe").desktop"
done
[ "$(id -u)" = 0 ] && chown -R 65534:65534 "$udir"

# A session bus of its own, for KWin and its clients alike; started here, so that it ends with
# the test.
launch bus "${uenv[@]}" dbus-daemon --session --nofork --address="unix:path=$udir/run/bus"
wait_socket "$udir/run/bus" 10 "$last"
uenv+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$udir/run/bus")
launch kwin "${uenv[@]}" XDG_DATA_DIRS="$udir/share:/usr/share" "$kwin" --virtual \
    --socket wayland-vb --width 1280 --height 720 --no-lockscreen --no-global-shortcuts \
    --no-kactivities
wait_socket "$udir/run/wayland-vb" 20 "$last"
uenv+=(WAYLAND_DISPLAY=wayland-vb)
say "KWin on wayland-vb, one output of 1280 x 720"

# Refused: one line that says why, then X11 as before.
start_display
launch refused "${uenv[@]}" DISPLAY="$DISPLAY" "$refused"
find_varbelo 15 "$last"
kill -TERM "$last"
wait_exit "$last" 5 || fail "the refused copy did not end within 5 s of SIGTERM"
grep -qx "varbelo: not through KWin's fake input: KWin withholds org_kde_kwin_fake_input: .*" \
    "$work/refused.log" || fail "expected the refused copy to say that KWin withholds fake input"
grep -qx 'varbelo: clicking through X11 (XWayland)' "$work/refused.log" \
    || fail "expected the refused copy to fall back to X11"
say "without the grant: KWin withholds fake input, the program says so and uses X11"

# Granted: the recorder over the output, then the program, which KWin gives the focus.
launch recorder "${uenv[@]}" "$recorder" recorder fullscreen
wait_ready "$work/recorder.log" "the recorder"
rm -f "$udir/run/varbelo.lock"
launch varbelo "${uenv[@]}" "$vb"
wait_line "$work/varbelo.log" "^varbelo: clicking through KWin's fake input$" 10 \
    "expected \"varbelo: clicking through KWin's fake input\" on standard error"
grep -q 'XWayland' "$work/varbelo.log" && fail "the program says it runs through XWayland on KWin"
# KWin gives the new window the keyboard, and the recorder hears that it lost it.
wait_line "$work/recorder.log" '^inactive$' 15 "expected the program's window to take the keyboard"
sleep 0.3

# Two steps in opposite corners, clear of the program's window wherever KWin put it. From the X
# box of row 0: the positions, then 39 Tabs from row 2's X box to Down of row 0 (the order runs
# through the other rows, the scroll bar, Execute and the loop box), the four toggles, and back
# to Execute.
# Row 1 is focused; Record is last in the tab order, one BackTab away. Two spots are pointed at
# and recorded through the overlay, Esc ends; each capture moved the focus on, to row 3's X box
# now, 39 Tabs before row 1's Down. Then the rows' Down and Up, and Execute.
# The Wait lets the overlay come up however busy the machine is.
recording=(BackTab Space Wait @30,690 HoldSpace @1250,30 HoldSpace Escape)
typing=()
for ((i = 0; i < 39; i++)); do typing+=(Tab); done
typing+=(Space Tab Space Tab Space Tab Space BackTab BackTab BackTab BackTab BackTab Space)
"${uenv[@]}" "$keys" "${recording[@]}" || fail "could not record through KWin"
sleep 0.3 # the keyboard back at the window
"${uenv[@]}" "$keys" "${typing[@]}" || fail "could not type into KWin"
say "two spots recorded, Execute pressed"
deadline=$((SECONDS + 8))
until [ "$(grep -c '^release' "$work/recorder.log")" -ge 2 ]; do
    ((SECONDS < deadline)) || break
    sleep 0.1
done
sleep 1.2 # a third click, had there been one, would have come by now
expect_presses "$work/recorder.log" "30 690
1250 30" "KWin"
say "two clicks at the recorded global positions"
say PASS
