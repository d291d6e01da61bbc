#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program's playback pace on one Wayland desktop, for bench/program_bench.sh: a script of 20
# steps, the first ten in a native window and the last ten in an X11 window under the
# compositor's XWayland, played LOOPS times, a step a second, the window native and driven from
# the keyboard as in the program tests. Each press is timed by the compositor's own event time,
# not on arrival (a Qt window reads its first pointer entry some 65 ms late): a native window's
# by the time of wl_pointer.button, an X11 window's by XWayland's server time.
# Prints "desktop NAME VERSION", then per press "native|x11 TICK MS": TICK counts the program's ticks
# from Execute, each pass ending with an idle one; MS is the event's time.
# Usage: bench/wayland_timing.sh BUILD_DIR DESKTOP       DESKTOP: sway, kwin or gnome
# BENCH_LOGS=DIR keeps the logs in DIR/DESKTOP.
set -euo pipefail

bench_dir=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench/wayland_timing.sh BUILD_DIR DESKTOP}" && pwd)
desktop=${2:?usage: bench/wayland_timing.sh BUILD_DIR DESKTOP}
VARBELO=$build/varbelo
RECORDER=$build/tests/program/waylandrecorder
XRECORDER=$build/tests/program/clickrecorder
source "$bench_dir/../tests/program/common.sh"
presses_poll=0.5 # seldom, not to load the machine while its clicks are timed

ROWS=20 # the grid's rows: the whole script in view
LOOPS=${LOOPS:-3}
x11_area=(900 100 350 500) # right of the program's window, which the desktops centre
spot() { # ROW: its layout position, in the native window left of the program's or in the X11 one
    if (($1 < ROWS / 2)); then
        echo "$((40 + 30 * $1)) $((100 + 50 * $1))"
    else
        echo "$((920 + 30 * ($1 - ROWS / 2))) $((120 + 50 * ($1 - ROWS / 2)))"
    fi
}

# Each desktop sets label (its name and version) and starts: its compositor with XWayland and
# one output of 1280 x 720; the native recorder over the output, logging to native.log; the X11
# recorder over x11_area, to x11.log; the program, its window having the keyboard. It defines
# type_words, which types WORDs into that window: digits, Tab, BackTab and Space, as fakekeys
# reads them.
user_programs

package_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null | sed 's/^[0-9]*://; s/-[^-]*$//'; }

desktop_sway() {
    label="sway $(package_version sway)"
    start_sway 'output HEADLESS-1 mode 1280x720 position 0 0'
    # Tiled alone on the output without a border: over the whole of it.
    launch native "${uenv[@]}" "$recorder" native
    start_program "the wlroots virtual pointer"
    type_words() {
        local word args=()
        for word in "$@"; do
            case $word in
            Tab) args+=(-k Tab) ;;
            BackTab) args+=(-M shift -k Tab -m shift) ;;
            Space) args+=(-k space) ;;
            *) args+=("$word") ;;
            esac
        done
        sway_type "${args[@]}"
    }
}

desktop_kwin() {
    label="KWin $(package_version kwin-wayland)"
    keys=$(user_copy "$build/tests/program/fakekeys")
    start_kwin "$vb" "$keys"
    launch native "${uenv[@]}" "$recorder" native fullscreen
    start_program "KWin's fake input"
    type_words() { "${uenv[@]}" "$keys" "$@"; }
}

desktop_gnome() {
    label="GNOME (mutter $(package_version mutter))"
    start_gnome "$bench_dir/../tests/portal/standin_portal.py" physical 1 1280x720
    launch native "${uenv[@]}" "$recorder" native fullscreen
    start_program "the RemoteDesktop portal"
    # The program's window is on XWayland: the desktop's own keyboard types into it.
    type_words() {
        local word i
        gnome_keys Shift_L # the keyboard's first key may come before its keymap, as with wtype
        for word in "$@"; do
            case $word in
            Tab) gnome_keys Tab ;;
            Space) gnome_keys space ;;
            BackTab) gnome_keys Shift_L Tab ;;
            *) for ((i = 0; i < ${#word}; i++)); do gnome_keys "${word:i:1}"; done ;;
            esac
        done
    }
}

start_program() { # BACKEND: the X11 recorder, then the program, which takes the keyboard
    wait_ready "$work/native.log" "the native recorder"
    launch x11 "${uenv[@]}" "$xrecorder" "${x11_area[@]}"
    wait_ready "$work/x11.log" "the X11 recorder"
    launch varbelo "${uenv[@]}" "$vb"
    wait_line "$work/varbelo.log" "^varbelo: clicking through $1\$" 10 \
        "the program did not say it clicks through $1"
    wait_line "$work/native.log" '^inactive$' 15 "the program's window did not take the keyboard"
    sleep 0.5 # its first frame: it takes input from then on
}

declare -F "desktop_$desktop" >/dev/null || fail "no desktop \"$desktop\" here"
"desktop_$desktop"
echo "desktop $label"

# From the X box of row 1: the positions in the tab order (X before Y in the first six rows, Y
# before X below), the loop count past the scroll bar and Execute (a Tab into it selects its
# text), every row's Down and Up, and 41 BackTabs back to Execute.
words=()
for ((r = 0; r < ROWS; r++)); do
    read -r x y < <(spot "$r")
    ((r < 6)) && words+=("$x" Tab "$y" Tab) || words+=("$y" Tab "$x" Tab)
done
words+=(Tab Tab "$LOOPS" Tab Space)
for ((i = 1; i < 2 * ROWS; i++)); do words+=(Tab Space); done
for ((i = 0; i < 2 * ROWS + 1; i++)); do words+=(BackTab); done
type_words "${words[@]}" Space

rec=$work/x11.log
wait_presses 0 $((ROWS / 2 * LOOPS)) $((LOOPS * (ROWS + 1) + 15)) || true
sleep 1.5 # the idle end-of-pass tick, after which nothing more may come

# Each window's presses at its spots, pass after pass, the native window's in its own pixels
# from the output's corner and the X11 one's in X coordinates, both the layout's here.
for kind in native x11; do
    first=0
    [ "$kind" = native ] || first=$((ROWS / 2))
    expected=$(for ((p = 0; p < LOOPS; p++)); do
        for ((r = first; r < first + ROWS / 2; r++)); do spot "$r"; done
    done)
    expect_presses "$work/$kind.log" "$expected" "$desktop, the $kind window"
    # TICK: a pass is ROWS ticks of steps and one idle tick; its step r comes at tick r + 1.
    awk -v kind="$kind" -v first="$first" -v half=$((ROWS / 2)) -v pass=$((ROWS + 1)) \
        '$1 == "press" {
            j = n++
            print kind, int(j / half) * pass + first + j % half + 1, $NF
        }' "$work/$kind.log"
done
if [ -n "${BENCH_LOGS:-}" ]; then
    mkdir -p "$BENCH_LOGS/$desktop"
    cp "$work"/*.log "$BENCH_LOGS/$desktop/"
fi
