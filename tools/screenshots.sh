#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures of the window's client area for the documentation, at 96 and at 144 dpi (the X
# server's resolution, which the program lays itself out at), with a few rows filled the way a
# user fills them. `make screenshots` runs it.
#
# With the Windows build there too (make windows), varbelo.exe under wine at 96 dpi as well.
#
# Usage: tools/screenshots.sh [BUILD_DIR [OUT_DIR [WINDOWS_BUILD_DIR]]]
#   writes OUT_DIR/window-96dpi.png and OUT_DIR/window-144dpi.png (default: docs), and
#   OUT_DIR/window-wine.png when WINDOWS_BUILD_DIR (default: build-windows) holds varbelo.exe
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$source_dir/build}
out=${2:-$source_dir/docs}
windows_build=${3:-$source_dir/build-windows}

[ -d "$build" ] || {
    echo "screenshots: no build directory $build; run make build first" >&2
    exit 1
}
build=$(cd "$build" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
VARBELO=$build/varbelo
RECORDER=$build/tests/program/clickrecorder
XSHOT=$build/tests/program/xshot
for file in "$VARBELO" "$RECORDER" "$XSHOT"; do
    [ -x "$file" ] || {
        echo "screenshots: $file is missing; run make build first" >&2
        exit 1
    }
done

# One X server per resolution, each in a subshell of its own: the program tests' helpers stop
# everything they started when it ends.
shoot() { # DPI NAME: the picture goes to OUT_DIR/window-NAME.png
    local dpi=$1 name=$2
    # shellcheck source=tests/program/common.sh
    source "$source_dir/tests/program/common.sh"
    # Nothing from the invoking user's desktop settings: the pictures look the same everywhere.
    export HOME=$work/home
    mkdir -m 700 "$HOME"
    unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER \
        QT_STYLE_OVERRIDE

    at() { echo $(($1 * dpi / 96)); } # a point of the 96 dpi layout in this one
    start_display "$dpi"
    start_wm
    start_varbelo varbelo
    find_varbelo 15 "$last"
    # The recorder only holds the keyboard focus, so that Space reaches no control of the window.
    place_and_record $((40 + $(at 442) + 40))

    local rec_window
    rec_window=$(wait_for_window '^clickrecorder$' 5) || fail "the click recorder's window is not on the screen"
    xdotool windowfocus --sync "$rec_window"
    local spots=("800 600" "1000 300" "1180 900") spot
    for spot in "${spots[@]}"; do
        # shellcheck disable=SC2086
        xdotool mousemove --sync $spot
        sleep 0.15
        press_key space
    done
    # A click on the first spot, then a drag from the second to the third.
    click_client "$(at $down_x)" "$(at "$(row_y 0)")"
    click_client "$(at $up_x)" "$(at "$(row_y 0)")"
    click_client "$(at $down_x)" "$(at "$(row_y 1)")"
    click_client "$(at $up_x)" "$(at "$(row_y 2)")"
    click_client "$(at $loop_x)" "$(at $loop_y)"
    xdotool key ctrl+a
    sleep 0.1
    xdotool type 3
    sleep 0.2
    # Focus away again: no text cursor blinking in the picture.
    xdotool windowfocus --sync "$rec_window"
    xdotool mousemove --sync 1000 300
    sleep 1.2 # xdotool warps the pointer, which the readout shows within a second
    "$XSHOT" "$vb_window" "$out/window-$name.png" || fail "could not save $out/window-$name.png"
    say "${win_w}x${win_h} at $dpi dpi: $out/window-$name.png"
}

(shoot 96 96dpi)
(shoot 144 144dpi)
if [ -f "$windows_build/varbelo.exe" ]; then
    (
        VARBELO=$windows_build/varbelo.exe
        RECORDER=$windows_build/clickrecorder.exe
        export WINEPREFIX=$windows_build/wineprefix
        shoot 96 wine
    )
fi
