#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# The window's size follows the resolution: the X server's when the desktop sets no Xft.dpi, the
# desktop's Xft.dpi when it does, and the user's QT_FONT_DPI over both. The captions grow with
# the layout, neither staying small nor cut off by their controls.
# At the server's resolution the looks are read from the screen too: a set toggle pressed in, the
# running Execute button red.
# Usage: dpi.sh VARBELO XSHOT XPIXEL DPI      the X server's resolution, 96 or 144
VARBELO=$1 XSHOT=$2 XPIXEL=$3 DPI=$4
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

need xrdb
# Each run is checked against one at the other resolution, on the same server and fonts.
case $DPI in
96) other=144 ;;
144) other=96 ;;
*) fail "expected a resolution of 96 or 144, got $DPI" ;;
esac

client_size() { # LAYOUT_DPI: the client area the layout gives, in pixels
    case $1 in
    96) echo 442x386 ;;
    144) echo 663x579 ;;
    esac
}

# Where the captions are in the 96 dpi layout: inside the Execute button, 4 px clear of its
# edges, so that a caption reaching an edge has been cut by the button; and the "Loop :" label,
# with the empty space right of it to grow into.
execute_area=(313 334 119 44)
loop_area=(300 56 140 22)

ink() { # LAYOUT_DPI X Y WIDTH HEIGHT (at 96 dpi): "X Y WIDTH HEIGHT" of the dark pixels there
    local d=$1
    shift
    "$XSHOT" --ink "$vb_window" $(($1 * d / 96)) $(($2 * d / 96)) $(($3 * d / 96)) $(($4 * d / 96))
}

grey() { # ROOT_X ROOT_Y: the pixel's brightness, the mean of its red, green and blue
    local r g b
    read -r r g b <<<"$("$XPIXEL" "$1" "$2")"
    echo $(((r + g + b) / 3))
}

# Pixels of the window at this layout: the Down toggle of row 1 clear, then set, its edges; the
# Execute button running, then idle again. Controls are placed in twips (1/1440 inch).
check_looks() { # LAYOUT_DPI
    local d=$1
    tw() { echo $((($1 * d * 2 + 1440) / 2880)); } # twips to pixels, rounded as the window does
    local left top width height edge=$(((d + 48) / 96))
    left=$(tw 2205) top=$(tw 315) width=$(tw 825) height=$(tw 285)
    local face_x=$((vb_x + left + 3 * edge + 2)) face_y=$((vb_y + top + height / 2))
    local clear set top_left bottom_right
    clear=$(grey "$face_x" "$face_y")
    click_client $(((left + width / 2))) $((top + height / 2))
    xdotool mousemove 1270 1015 # no hover on what is measured
    sleep 0.3
    set=$(grey "$face_x" "$face_y")
    # The outer band above and left; the inner band below and right (the next row and the Up
    # toggle overlap the outer one by a pixel).
    top_left=$(grey $((vb_x + left)) "$face_y")
    bottom_right=$(grey "$face_x" $((vb_y + top + height - 1 - edge)))
    ((set <= clear - 40)) \
        || fail "a set toggle's face (grey $set) must differ clearly from a clear one's (grey $clear)"
    ((top_left <= set - 40 && bottom_right >= set + 30)) \
        || fail "a set toggle must look pressed in: dark left edge, light bottom edge; found grey $top_left and $bottom_right around a face of $set"
    say "toggle at $d dpi: face $clear clear, $set set; edges $top_left left, $bottom_right bottom"

    # A loop count that never ends, so that the run lasts until Esc.
    click_client $(((4590 + 660) * d / 1440)) $(((1170 + 142) * d / 1440))
    xdotool key ctrl+a type 1e999
    click_client $((execute_x * d / 96)) $((execute_y * d / 96))
    xdotool mousemove 1270 1015
    execute_red yes 10 "$d" \
        || fail "expected the running Execute button's face red 255,0,0 at $d dpi, found $colour"
    press_key Escape
    execute_red no 10 "$d" || true # then grey, checked below
    local r g b
    read -r r g b <<<"$colour"
    ((r == g && g == b)) || fail "expected the Execute button grey again after Esc, found $colour"
    say "Execute at $d dpi: red while running, grey ($colour) after Esc"

    # A click on the scroll bar's track gives it the keyboard focus, which it must show: a ring
    # in the selection colour (blue in Fusion) along its edge.
    local bar_left bar_top bar_height
    bar_left=$(tw 3870) bar_top=$(tw 315) bar_height=$(tw 5415)
    click_client $((bar_left + $(tw 645) / 2)) $((bar_top + bar_height * 3 / 4))
    xdotool mousemove 1270 1015
    sleep 0.3
    read -r r g b <<<"$("$XPIXEL" $((vb_x + bar_left + edge)) $((vb_y + bar_top + bar_height / 2)))"
    ((b >= r + 60)) || fail "expected the focused scroll bar's edge in the selection colour at $d dpi, found $r $g $b"
    say "scroll bar at $d dpi: focus ring $r $g $b"
}

# Starts the program with the given settings, checks its size at LAYOUT_DPI, measures its
# captions (sets exec_w exec_h loop_w loop_h) and closes it again.
run_at() { # LAYOUT_DPI WHY [NAME=VALUE...]
    local d=$1 why=$2
    shift 2
    start_varbelo "varbelo-$d-${why// /-}" "$@"
    local pid=$last
    find_varbelo 15 "$pid"
    # Placement by the window manager may follow the first map; settle before reading it.
    sleep 0.3
    window_geometry "$vb_window"
    local want
    want=$(client_size "$d")
    local w=${want%x*} h=${want#*x}
    ((win_w >= w - 1 && win_w <= w + 1 && win_h >= h - 1 && win_h <= h + 1)) \
        || fail "$why: expected a client area of $want (the $d dpi layout), found ${win_w}x${win_h}"

    # No hover highlight on a control being measured. No --sync: the pointer may be there
    # already, and then no motion would ever come to end the wait.
    xdotool mousemove 1270 1015
    local i exec loop
    for ((i = 0; i < 30; i++)); do
        exec=$(ink "$d" "${execute_area[@]}")
        loop=$(ink "$d" "${loop_area[@]}")
        [ "$exec" != none ] && [ "$loop" != none ] && break
        sleep 0.1
    done
    [ "$exec" != none ] || fail "$why: no caption drawn on the Execute button"
    [ "$loop" != none ] || fail "$why: no \"Loop :\" label drawn"
    local ex ey
    read -r ex ey exec_w exec_h <<<"$exec"
    read -r _ _ loop_w loop_h <<<"$loop"
    local left=$((execute_area[0] * d / 96)) top=$((execute_area[1] * d / 96))
    local right=$(((execute_area[0] + execute_area[2]) * d / 96))
    local bottom=$(((execute_area[1] + execute_area[3]) * d / 96))
    ((ex > left && ey > top && ex + exec_w < right && ey + exec_h < bottom)) \
        || fail "$why: the Execute caption (ink at $exec) reaches the edge of the button's inside ($left,$top to $right,$bottom): cut off"
    say "$why: ${win_w}x${win_h}; Execute caption ${exec_w}x${exec_h} px, \"Loop :\" ${loop_w}x${loop_h} px"
    if [ "$looks" = yes ]; then
        looks=no
        check_looks "$d"
    fi

    kill -TERM "$pid"
    wait_exit "$pid" 5 || fail "$why: the program did not end within 5 s of SIGTERM"
}

# The other layout's caption is RATIO (in hundredths) as large as this one's, give or take: widths
# closely, heights loosely, as hinting rounds small glyph heights to whole pixels.
expect_scaled() { # NAME WIDTH HEIGHT OTHER_WIDTH OTHER_HEIGHT
    local ratio=$((100 * other / DPI))
    local wide=$((100 * $4)) high=$((100 * $5))
    ((wide >= $2 * (ratio - 10) && wide <= $2 * (ratio + 10))) \
        || fail "the $1 at $other dpi is $4 px wide, at $DPI dpi $2 px: expected about ${ratio}% of it (±10)"
    ((high >= $3 * (ratio - 30) && high <= $3 * (ratio + 30))) \
        || fail "the $1 at $other dpi is $5 px high, at $DPI dpi $3 px: expected about ${ratio}% of it (±30)"
}

start_display "$DPI"
start_wm
xrdb -query | grep -q '^Xft\.dpi:' && fail "a fresh X server already has Xft.dpi set"

looks=yes
run_at "$DPI" "server at $DPI dpi"
own=("$exec_w" "$exec_h" "$loop_w" "$loop_h")

# The user's setting wins over the server's.
run_at "$other" "QT_FONT_DPI=$other" QT_FONT_DPI="$other"
expect_scaled "Execute caption" "${own[0]}" "${own[1]}" "$exec_w" "$exec_h"
expect_scaled "\"Loop :\" label" "${own[2]}" "${own[3]}" "$loop_w" "$loop_h"

# So does the desktop's.
xrdb -merge <<<"Xft.dpi: $other"
run_at "$other" "Xft.dpi $other"
say "PASS"
