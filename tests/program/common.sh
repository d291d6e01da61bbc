# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Shared by the drivers that run the built program on a private X server and use it only the way
# a user would: X input through xdotool, judged by window properties, exit codes, pixels and
# what another window receives.
#
# The driver sets VARBELO (and RECORDER, XRECORDER, XPIXEL if it needs them) before sourcing this
# file.
# Everything started through these functions is stopped on exit, whatever happens.

set -euo pipefail

work=$(mktemp -d)
chmod 700 "$work"
started=() # every background process, oldest first
server=

# A Windows build of the program (varbelo.exe) and its test windows run under wine, in the prefix
# that WINEPREFIX names; the wine process is the one started, so its pid and exit code are the
# program's; wine delivers key state and synthesized clicks only among its own windows, so the
# test's own windows are Windows programs too. On Windows the program keeps its lock in the
# user's profile: as with the runtime directory below on Linux, each test starts with no earlier
# test's. (Wine numbers processes anew with each wineserver, so a lock left by a copy that a
# previous test killed names a process id that this test's copy may get.)
wine_run=()
if [[ $VARBELO == *.exe ]]; then
    wine_run=(bash "$(dirname "${BASH_SOURCE[0]}")/../../tools/windows/wine.sh")
    rm -f "${WINEPREFIX:?a .exe runs in the wine prefix WINEPREFIX names}"/drive_c/users/*/varbelo.lock
fi

say() { echo "[$(date +%T.%3N)] $*"; }

# Ends the test with the reason, then the logs of what ran, so a failure explains itself.
fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$work"/*.log; do
        [ -s "$log" ] || continue
        echo "---- $(basename "$log") ----" >&2
        tail -n 40 "$log" >&2
    done
    exit 1
}

is_running() { # PID: true while the process exists and is no zombie
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [ "$state" != Z ]
}

stop_all() {
    local i pid
    # Newest first, the X server last, so no client is left talking to a dead display.
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        pid=${started[i]}
        kill -TERM "$pid" 2>/dev/null || true
    done
    for ((i = 0; i < 20; i++)); do
        local alive=0
        for pid in "${started[@]}"; do is_running "$pid" && alive=1; done
        [ "$alive" = 0 ] && break
        sleep 0.1
    done
    for pid in "${started[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
        { wait "$pid"; } 2>/dev/null || true
    done
    # Wine's own processes (explorer, services) outlive the program: end them before their display.
    if [ ${#wine_run[@]} -gt 0 ]; then
        "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -k 2>/dev/null || true
    fi
    if [ -n "$server" ]; then
        kill -TERM "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 130' INT TERM HUP

need() { # TOOL...: make test installs them; a missing one is a broken set-up, not a pass
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is not installed (tools/install-deps.sh installs it)"
    done
}
need Xvfb openbox xdotool xprop xwininfo

# Starts COMMAND... in the background; its pid is left in $last. Job control gives it a process
# group of its own and, unlike a plain background job of a script, SIGINT at its default, as
# when started from a terminal.
launch() { # LOGNAME COMMAND...
    local log=$1
    shift
    set -m
    "$@" >>"$work/$log.log" 2>&1 </dev/null &
    last=$!
    set +m
    started+=("$last")
}

# A private Xvfb: -displayfd picks a free display number, so tests may run in parallel; -noreset
# keeps the pointer where it is when the last client disconnects. DPI, if given, is the
# resolution the server reports, which the program lays itself out at.
start_display() { # [DPI]
    local resolution=()
    [ -z "${1:-}" ] || resolution=(-dpi "$1")
    Xvfb -displayfd 3 -screen 0 1280x1024x24 "${resolution[@]}" -noreset -nolisten tcp +extension RANDR \
        3>"$work/display" >"$work/xvfb.log" 2>&1 </dev/null &
    server=$!
    local i
    for ((i = 0; i < 200; i++)); do
        grep -q . "$work/display" 2>/dev/null && break
        is_running "$server" || fail "Xvfb did not start"
        sleep 0.05
    done
    local number
    number=$(head -n 1 "$work/display")
    [ -n "$number" ] || fail "Xvfb gave no display number within 10 s"
    export DISPLAY=":$number"
    say "Xvfb on $DISPLAY"
}

start_wm() {
    launch openbox openbox --sm-disable
    local i
    for ((i = 0; i < 100; i++)); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.05
    done
    fail "openbox did not take over the screen within 5 s"
}

# The program's environment: a runtime directory of its own, so that its lock meets no other
# test's copy or the user's; the platform left to the program's own choice; no scaling, so that
# the window has its 96 dpi layout.
runtime="$work/runtime"
mkdir -m 700 "$runtime"
varbelo_env=(env -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS
             -u QT_FONT_DPI -u QT_ENABLE_HIGHDPI_SCALING -u QT_USE_PHYSICAL_DPI
             XDG_RUNTIME_DIR="$runtime")
varbelo_command=("${varbelo_env[@]}" "${wine_run[@]}" "$VARBELO")

# A session of its own for the demo and the bench, which run under the user's own login: nothing
# read from the user's configuration, caches, buses or Qt settings.
own_session() {
    export HOME=$work/home XDG_RUNTIME_DIR=$runtime
    mkdir -m 700 "$HOME"
    unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER \
        QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_STYLE_OVERRIDE
}

start_varbelo() { # LOGNAME [NAME=VALUE...]: the settings a user may add, such as QT_FONT_DPI
    local log=$1
    shift
    launch "$log" "${varbelo_env[@]}" "$@" "${wine_run[@]}" "$VARBELO"
}

windows_named() { # REGEX: ids of the mapped windows whose title matches
    local id
    # GNOME 48 draws X11 windows' frames in windows of its own that bear the title too.
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
        xprop -id "$id" WM_CLASS 2>/dev/null | grep -q '"mutter-x11-frames"' || echo "$id"
    done
}

count_windows() { # REGEX
    windows_named "$1" | grep -c . || true
}

wait_for_window() { # REGEX SECONDS [PID]: prints the id of the first matching window; gives up
    # early once PID, the process expected to show it, has ended
    local deadline=$((SECONDS + $2)) ids
    while ((SECONDS < deadline)); do
        if [ -n "${3:-}" ] && ! is_running "$3"; then
            windows_named "$1" | head -n 1 | grep . && return 0
            return 1
        fi
        ids=$(windows_named "$1")
        if [ -n "$ids" ]; then
            head -n 1 <<<"$ids"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

wait_exit() { # PID SECONDS: true once the process has ended; its exit code is left in $code
    local deadline
    deadline=$(($(date +%s%N) / 1000000 + $2 * 1000))
    while is_running "$1"; do
        (($(date +%s%N) / 1000000 < deadline)) || return 1
        sleep 0.05
    done
    code=0
    # Braces: the shell's own "Killed" notice for the job goes to the null device too.
    { wait "$1"; } 2>/dev/null || code=$?
}

# Client-area geometry of a window: sets win_x win_y (root coordinates) win_w win_h.
window_geometry() { # WINDOW_ID
    local info
    info=$(xwininfo -id "$1")
    win_x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
    win_y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
    win_w=$(awk '/^ *Width:/ {print $NF}' <<<"$info")
    win_h=$(awk '/^ *Height:/ {print $NF}' <<<"$info")
}

# Where the controls are, in the window's own pixels at its 96 dpi layout (scale them for another).
down_x=174
up_x=228
row_y() { echo $((30 + 18 * $1)); } # ROW: the middle of grid row ROW (0 to 19)
loop_x=350 loop_y=87
execute_x=372 execute_y=356
colour_x=340 colour_y=372 # inside the Execute button, clear of its caption

# Input the way a user gives it. Each action is held and followed by a pause longer than two of
# the program's 50 ms polls, so that a poll sees a key while it is down.
click_at() { # ROOT_X ROOT_Y
    xdotool mousemove --sync "$1" "$2"
    sleep 0.12
    xdotool click 1
    sleep 0.15
}

press_key() { # KEYSYM: held long enough for the polls to see it
    xdotool keydown "$1"
    sleep 0.15
    xdotool keyup "$1"
    sleep 0.15
}

# The program's window on the screen; sets vb_window and its client origin vb_x vb_y.
find_varbelo() { # SECONDS [PID]
    vb_window=$(wait_for_window '^Varbelo V1\.0$' "$1" "${2:-}") || {
        [ -n "${2:-}" ] && ! is_running "$2" && wait_exit "$2" 0 \
            && fail "expected a window titled \"Varbelo V1.0\"; the program ended with code $code before showing one"
        fail "expected a window titled \"Varbelo V1.0\" within $1 s; none appeared"
    }
    window_geometry "$vb_window"
    vb_x=$win_x
    vb_y=$win_y
}

# The program on a private Xvfb (at DPI, if given) under openbox, its window found; vb_pid is its
# process.
start_on_xvfb() { # [DPI]
    start_display "${1:-}"
    start_wm
    start_varbelo varbelo
    vb_pid=$last
    find_varbelo 15 "$vb_pid"
}

# Gives WINDOW the keyboard focus and waits until the window manager says it has it. A key such as
# Alt+F4 goes to the focused window: sent before openbox has acted on the request, it reaches no
# one, and under load that takes a while. The request is repeated, since openbox drops one that
# arrives while it is still managing the window.
activate_window() { # WINDOW_ID
    local i
    for ((i = 0; i < 100; i++)); do
        ((i % 10 == 0)) && { xdotool windowactivate "$1" 2>/dev/null || true; }
        [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
        sleep 0.05
    done
    fail "window $1 did not become the active window within 5 s (active: $(xdotool getactivewindow 2>&1))"
}

# Clicks at a point of the program's client area, in its own pixel coordinates.
click_client() { # X Y
    click_at $((vb_x + $1)) $((vb_y + $2))
}

toggle_rows() { # FIRST LAST [CLICK]: sets Down and Up on those grid rows, clicked by CLICK
    # SCREEN_X SCREEN_Y (the desktop's own click on Wayland; click_at unless given)
    local r click=${3:-click_at}
    for ((r = $1; r <= $2; r++)); do
        "$click" $((vb_x + down_x)) $((vb_y + $(row_y "$r")))
        "$click" $((vb_x + up_x)) $((vb_y + $(row_y "$r")))
    done
}

type_loop_count() { # COUNT: typed over what the loop box holds
    click_client "$loop_x" "$loop_y"
    xdotool key ctrl+a
    sleep 0.1
    xdotool type "$1"
    sleep 0.2
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The program's window near the top-left corner and the click recorder over the screen right of
# it, from x 500 (or LEFT, for a larger window): no click meant for one can reach the other. Sets
# rec (the recorder's log).
place_and_record() { # [LEFT]
    local left=${1:-500}
    xdotool windowmove --sync "$vb_window" 20 40
    sleep 0.3
    window_geometry "$vb_window"
    vb_x=$win_x vb_y=$win_y
    ((vb_x + win_w < left - 20 && vb_y + win_h < 1000)) \
        || fail "expected the program's window moved to the top-left corner, it is at ${vb_x},${vb_y}"
    launch recorder "${wine_run[@]}" "$RECORDER" "$left" 0 $((1280 - left)) 1024
    rec="$work/recorder.log"
    wait_ready "$rec" "the click recorder"
}

# Building a script clicks only the program's window: nothing may reach the recorder.
expect_no_click_yet() {
    [ "$(clicks_after 0 | grep -c .)" = 0 ] \
        || fail "a click meant for the program's window reached the recorder: $(clicks_after 0)"
}

# The test's own X clients (recorder, click clock) print "ready" once their windows listen.
wait_ready() { # LOG WHAT
    wait_line "$1" '^ready' 5 "$2 did not start"
}

# ---- A recorder's log, the one that rec names: the lines after a given line number, so that
# each step of a test looks only at what it caused ----

log_lines() { wc -l <"$rec"; }
clicks_after() { # LINE [press|release]: the press and release lines (or one kind's) after that
    # line: "press BUTTON X Y TIME" from a clickrecorder, "press X Y TIME" from a waylandrecorder
    awk -v from="$1" -v kind="${2:-}" \
        'NR > from && ($1 == "press" || $1 == "release") && (kind == "" || $1 == kind)' "$rec"
}
presses_after() { # LINE [release]: how many presses (or releases) came after that line
    clicks_after "$1" "${2:-press}" | grep -c . || true
}
raw_after() { # LINE KIND: server times of raw events of that kind after the line
    awk -v from="$1" -v kind="$2" 'NR > from && $1 == kind {print $3}' "$rec"
}
presses_poll=0.05 # how often wait_presses looks; the bench, which times clicks, looks less often
wait_presses() { # LINE COUNT SECONDS [release]: true once COUNT presses (or releases) have
    # arrived after LINE
    local deadline=$(($(now_ms) + $3 * 1000))
    while (($(presses_after "$1" "${4:-press}") < $2)); do
        (($(now_ms) < deadline)) || return 1
        sleep "$presses_poll"
    done
}

# Clicks a point of the program's client area and prints the server time of the release, when a
# button's click takes effect: the clock the recorder's clicks are timed by.
click_client_timed() { # X Y
    local before i t=
    before=$(log_lines)
    click_client "$1" "$2"
    for ((i = 0; i < 20; i++)); do
        t=$(raw_after "$before" rawrelease | tail -n 1)
        [ -n "$t" ] && break
        sleep 0.05
    done
    [ -n "$t" ] || fail "the click at $1,$2 of the program's window was not seen by the recorder's raw event log"
    echo "$t"
}

is_red() { # "R G B": the running Execute button's face, pure red (a pale red gradient is not)
    local r g b
    read -r r g b <<<"$1"
    ((r >= 250 && g <= 5 && b <= 5))
}

# Looks TRIES times, 0.1 s apart (repaints follow within a frame or two), for the Execute button's
# face red or not, through XPIXEL, in the layout at DPI (96 unless given); leaves it in colour.
execute_red() { # yes|no TRIES [DPI]
    local i d=${3:-96} red
    for ((i = 0; i < $2; i++)); do
        colour=$("$XPIXEL" $((vb_x + colour_x * d / 96)) $((vb_y + colour_y * d / 96)))
        is_red "$colour" && red=yes || red=no
        [ "$red" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# ---- Wayland compositors: they and their clients run as an ordinary user (sway refuses root,
# and KWin lets a client use its restricted interfaces only when it can read the client's
# /proc/PID/exe, which it cannot for another user's). Each gets a directory of its own with
# copies of the programs that it runs. ----

# XWayland's sockets, which a machine that has run no X server yet lacks: mutter refuses the
# directory unless anyone may write to it, KWin fails without it, and either would make it with
# the user's umask.
x11_socket_dir() { [ -d /tmp/.X11-unix ] || (umask 0 && mkdir -p -m 1777 /tmp/.X11-unix); }

wayland_user() { # sets udir and uenv, the prefix that runs a command as that user
    chmod 711 "$work" # the user may pass through, not list
    udir="$work/user"
    mkdir -p -m 700 "$udir/run"
    uenv=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$udir" XDG_RUNTIME_DIR="$udir/run"
          LANG=C.UTF-8)
    if [ "$(id -u)" = 0 ]; then
        chown -R 65534:65534 "$udir"
        uenv=(setpriv --reuid=65534 --regid=65534 --clear-groups "${uenv[@]}")
    fi
}

user_copy() { # FILE: a copy of FILE in the user's directory, its path printed
    local copy
    copy="$udir/$(basename "$1")"
    cp "$1" "$copy"
    [ "$(id -u)" = 0 ] && chown 65534:65534 "$copy"
    echo "$copy"
}

# The Wayland drivers' user (wayland_user) and its copies of the program and of the native and
# X11 recorders that the driver names RECORDER and XRECORDER: vb, recorder and xrecorder.
user_programs() {
    wayland_user
    vb=$(user_copy "$VARBELO")
    recorder=$(user_copy "$RECORDER")
    xrecorder=$(user_copy "$XRECORDER")
}

# XWayland lets in its own user alone: the test's X tools too, on its display.
use_xwayland() {
    export DISPLAY=$xdisplay
    "${uenv[@]}" xhost "+si:localuser:$(id -un)" >/dev/null
}

wait_socket() { # PATH SECONDS PID: the compositor's socket, or fail with its log
    local deadline=$((SECONDS + $2))
    until [ -S "$1" ]; do
        is_running "$3" || fail "the compositor ended before it listened on $1"
        ((SECONDS < deadline)) || fail "no compositor socket $1 within $2 s"
        sleep 0.05
    done
}

# A session bus of the user's own, as a desktop session has; adds its address to uenv.
session_bus() {
    launch bus "${uenv[@]}" dbus-daemon --session --nofork --address="unix:path=$udir/run/bus"
    wait_socket "$udir/run/bus" 10 "$last"
    uenv+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$udir/run/bus")
}

# sway, headless, with CONFIG's outputs ("output HEADLESS-N ..." lines, and any other settings)
# and XWayland started on first use, as in a session. Adds its Wayland display, its IPC socket and
# XWayland's display to uenv; xdisplay is XWayland's display, sway_pid sway's process.
start_sway() { # CONFIG
    local ipc="$udir/run/sway.sock" socket
    printf '%s\n' "$1" 'xwayland enable' 'default_border none' 'focus_follows_mouse no' \
        >"$udir/config"
    launch sway "${uenv[@]}" WLR_BACKENDS=headless \
        WLR_HEADLESS_OUTPUTS="$(grep -c '^output ' <<<"$1")" WLR_LIBINPUT_NO_DEVICES=1 \
        WLR_RENDERER=pixman SWAYSOCK="$ipc" sway -c "$udir/config"
    sway_pid=$last
    wait_socket "$ipc" 10 "$last"
    socket=$(cd "$udir/run" && ls wayland-? | head -n 1)
    uenv+=(WAYLAND_DISPLAY="$socket" SWAYSOCK="$ipc")
    # sway keeps XWayland's display in its own environment, which it hands to what it runs.
    sway_msg exec "'echo \$DISPLAY >$udir/run/display'"
    wait_line "$udir/run/display" '^:[0-9]+$' 10 "sway told no XWayland display"
    xdisplay=$(cat "$udir/run/display")
    uenv+=(DISPLAY="$xdisplay")
}
sway_msg() { "${uenv[@]}" swaymsg "$@" >/dev/null; }
# Keys through a new virtual keyboard, as wtype makes one per call: its first key may reach the
# window before the keymap does, so a Ctrl goes first, which the program ignores. On labwc too.
sway_type() { "${uenv[@]}" wtype -s 300 -k Control_L -s 200 "$@"; } # WTYPE_ARGUMENTS...

# labwc, headless, one output of 1280 x 720, with XWayland and its window RULES (<windowRule>
# elements of its rc.xml), on a session bus. Adds its Wayland and XWayland displays to uenv;
# xdisplay is XWayland's display.
start_labwc() { # RULES
    local socket
    mkdir -p "$udir/.config/labwc"
    printf '%s\n' '<?xml version="1.0"?>' '<labwc_config><windowRules>' "$1" \
        '</windowRules></labwc_config>' >"$udir/.config/labwc/rc.xml"
    [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$udir"
    session_bus
    x11_socket_dir
    # What labwc starts gets its Wayland and XWayland displays.
    launch labwc "${uenv[@]}" WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=1 \
        WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        labwc -s "sh -c 'echo \$WAYLAND_DISPLAY \$DISPLAY >$udir/run/displays'"
    wait_line "$udir/run/displays" '^wayland-[0-9]+ :[0-9]+$' 10 \
        "labwc told no Wayland and XWayland display"
    read -r socket xdisplay <"$udir/run/displays"
    uenv+=(WAYLAND_DISPLAY="$socket" DISPLAY="$xdisplay")
}

# ---- What a wlroots compositor (sway, labwc) shows, through grim, and a script typed into the
# program's window there, whose client origin is vb_x vb_y ----

pixel() { # X Y: the red, green and blue of one layout pixel as the compositor shows it
    "${uenv[@]}" grim -g "$1,$2 1x1" -t ppm - | tail -c 3 | od -An -tu1 | xargs
}
notice_ink() { # the reddish pixels of the notice
    "${uenv[@]}" grim -g "$((vb_x + 306)),$((vb_y + 136)) 131x170" -t ppm - \
        | tail -c $((131 * 170 * 3)) | od -An -v -tu1 -w3 | awk '$1 > $2 + 50 && $1 > $3 + 50 {n++} END {print n + 0}'
}

# Types the rows ("NAME X Y", in layout coordinates) from the focused X box of row 1 on, in one
# go, Tab going X, Y, next X; then on through the empty rows, the scroll bar, Execute and the loop
# count to the toggles, each row's Down and Up set. The toggles of those rows and the next one
# are then read back as the grid draws them (a darker face when set) before any run: a key lost
# on its way in shifts them and fails here, not as a run without clicks.
type_script() { # ROW...
    local keys=() r x y v i expected=
    for r in "$@"; do
        read -r _ x y <<<"$r"
        for v in "$x" "$y"; do # a leading minus would read as an option of wtype's
            [ "${v#-}" = "$v" ] && keys+=("$v" -k Tab) || keys+=(-k minus "${v#-}" -k Tab)
        done
    done
    for ((i = 0; i < 2 * (20 - $#) + 3; i++)); do keys+=(-k Tab); done
    for r in "$@"; do keys+=(-k space -k Tab -k space -k Tab); expected+=11; done
    sway_type "${keys[@]}"
    expected+=00
    for ((i = 0; i < 30; i++)); do [ "$(toggles_drawn $#)" = "$expected" ] && return 0; sleep 0.1; done
    fail "the typed toggles of rows 1 to $(($# + 1)) are drawn as $(toggles_drawn $#), not $expected"
}
toggles_drawn() { # LAST: rows 0 to LAST's Down and Up, 1 where drawn set
    local r x
    for ((r = 0; r <= $1; r++)); do
        for x in $((down_x - 22)) $((up_x - 22)); do
            [ "$(pixel $((vb_x + x)) $((vb_y + $(row_y $r))))" = "191 191 191" ] && echo -n 1 || echo -n 0
        done
    done
}

# KWin (kwin_wayland --virtual, one output of 1280 x 720, wayland-vb) with XWayland, on a session
# bus of its own, with its global shortcuts and so KDE's shortcut service (org.kde.kglobalaccel),
# which it hosts itself, keeping its settings in the user's HOME. Each EXE is granted the interfaces that the program's desktop entry asks for, as
# an installed entry grants them. Adds the bus, the Wayland display and XWayland's display to
# uenv; xdisplay is XWayland's display.
start_kwin() { # EXE...
    local kwin exe grant_line
    # Debian's kwin_wayland carries a file capability, which a container refuses to grant: a
    # copy carries none.
    kwin=$(user_copy "$(command -v kwin_wayland)")
    grant_line=$(grep '^X-KDE-Wayland-Interfaces=' \
        "$(dirname "${BASH_SOURCE[0]}")/../../data/linux/org.varbelo.Varbelo.desktop") \
        || fail "the desktop entry lacks X-KDE-Wayland-Interfaces="
    mkdir -p "$udir/share/applications" "$udir/.config/menus"
    # KDE Frameworks 6 reads the installed entries only through the XDG menu, which a Plasma
    # session has (KWin 5 needs none): without it KWin 6 finds no entry and grants nothing.
    printf '%s\n' '<!DOCTYPE Menu>' \
        '<Menu><Name>Applications</Name><DefaultAppDirs/><Include><All/></Include></Menu>' \
        >"$udir/.config/menus/applications.menu"
    for exe in "$@"; do
        printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\n%s\n' \
            "$(basename "$exe")" "$exe" "$grant_line" \
            >"$udir/share/applications/$(basename "$exe").desktop"
    done
    [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$udir"
    session_bus
    x11_socket_dir
    # What KWin starts gets XWayland's display.
    launch kwin "${uenv[@]}" XDG_DATA_DIRS="$udir/share:/usr/share" "$kwin" --virtual \
        --xwayland --socket wayland-vb --width 1280 --height 720 --no-lockscreen \
        --no-kactivities "sh -c 'echo \$DISPLAY >$udir/run/display'"
    wait_socket "$udir/run/wayland-vb" 20 "$last"
    uenv+=(WAYLAND_DISPLAY=wayland-vb)
    wait_line "$udir/run/display" '^:[0-9]+$' 20 "KWin told no XWayland display"
    xdisplay=$(cat "$udir/run/display")
    uenv+=(DISPLAY="$xdisplay")
}

wait_until() { # WHAT SECONDS CONDITION: waits for the shell CONDITION, or fails
    local deadline=$((SECONDS + $2))
    until eval "$3"; do
        ((SECONDS < deadline)) || fail "$1: not within $2 s"
        sleep 0.05
    done
}

wait_line() { # LOG REGEX SECONDS WHAT: true once a line of LOG matches
    local deadline=$((SECONDS + $3))
    until grep -qE "$2" "$1" 2>/dev/null; do
        ((SECONDS < deadline)) || fail "$4 within $3 s"
        sleep 0.05
    done
}

# Checks the presses a recorder logged against "X Y" lines, in order: a waylandrecorder's in its
# window's pixels ("press X Y TIME"), a clickrecorder's in X coordinates ("press BUTTON X Y TIME").
expect_presses() { # LOG EXPECTED WHAT
    local got
    got=$(awk '$1 == "press" {print (NF == 5 ? $3 " " $4 : $2 " " $3)}' "$1")
    [ "$got" = "$2" ] || fail "$3: expected presses at
$2
got
${got:-none}"
}

# GNOME's compositor as a GNOME session has it: a headless mutter with XWayland, PipeWire for its
# screen casts, and the stand-in desktop portal (tests/portal/standin_portal.py), which forwards
# to mutter as GNOME's portal does and lends the test the desktop's own mouse and keyboard
# (gnome_hand), all on a session bus of their own. LAYOUT is mutter's: "logical" switches on its
# scale-monitor-framebuffer, with which GNOME Settings offers fractional scales, "physical" is
# its default. The monitors lie side by side, the last at SCALE. Needs wayland_user first; adds
# the session's variables to uenv and exports XWayland's DISPLAY and XAUTHORITY.
# With portal=real, GNOME itself: gnome-shell, and the real xdg-desktop-portal with GNOME's
# backend and GNOME Settings' shortcut provider, each started by the session bus as in a session;
# the stand-in lends the hand alone. gnome-shell wants logind on a system bus: python3-dbusmock's
# stands in. The program's desktop entry is installed in the user's data folder, as a user's
# install leaves it: the portal takes an app id only for an installed entry.
start_gnome() { # HAND_PORTAL LAYOUT SCALE WxH...
    local standin i compositor=(mutter) hand_only=()
    standin=$(user_copy "$1")
    if [ "$2" = logical ]; then
        mkdir -p "$udir/.config/glib-2.0/settings"
        printf "[org/gnome/mutter]\nexperimental-features=['scale-monitor-framebuffer']\n" \
            >"$udir/.config/glib-2.0/settings/keyfile"
    fi
    if [ "${portal:-standin}" = real ]; then
        compositor=(gnome-shell) hand_only=(--hand-only)
        mkdir -p "$udir/.local/share/applications"
        sed "s|^Exec=.*|Exec=$vb|" "$(dirname "${BASH_SOURCE[0]}")/../../data/linux/org.varbelo.Varbelo.desktop" \
            >"$udir/.local/share/applications/org.varbelo.Varbelo.desktop"
        # A system bus that starts no service: the root's own (accounts-daemon on a read-only
        # root) can keep the shell waiting 25 s for their start.
        mkdir -p /run/dbus
        printf '%s\n' '<busconfig><type>system</type><auth>EXTERNAL</auth>' \
            '<listen>unix:path=/run/dbus/system_bus_socket</listen>' \
            '<policy context="default"><allow user="*"/><allow own="*"/>' \
            '<allow send_destination="*"/><allow receive_sender="*"/></policy></busconfig>' \
            >"$work/system-bus.conf"
        launch system_bus dbus-daemon --config-file="$work/system-bus.conf" --nofork
        wait_socket /run/dbus/system_bus_socket 10 "$last"
        launch logind python3 -m dbusmock --system --template logind
        wait_until "the stand-in logind" 10 'bus_has --system org.freedesktop.login1'
    fi
    [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$udir"
    x11_socket_dir
    session_bus
    uenv+=(GSETTINGS_BACKEND=keyfile XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME)
    # What the bus starts (the portals) finds the session's display as in a session.
    "${uenv[@]}" dbus-update-activation-environment GSETTINGS_BACKEND XDG_SESSION_TYPE \
        XDG_CURRENT_DESKTOP WAYLAND_DISPLAY=wayland-vb
    launch pipewire "${uenv[@]}" pipewire
    launch wireplumber "${uenv[@]}" wireplumber
    local monitors=()
    for i in "${@:4}"; do monitors+=(--virtual-monitor "$i"); done
    launch mutter "${uenv[@]}" "${compositor[@]}" --headless --wayland --wayland-display=wayland-vb \
        "${monitors[@]}"
    wait_socket "$udir/run/wayland-vb" 20 "$last"
    wait_line "$work/mutter.log" 'Using public X11 display :[0-9]+' 10 "mutter started no XWayland"
    export DISPLAY XAUTHORITY
    DISPLAY=$(grep -oE 'Using public X11 display :[0-9]+' "$work/mutter.log" | grep -oE ':[0-9]+')
    XAUTHORITY=$(ls "$udir/run"/.mutter-Xwaylandauth.*)
    uenv+=(WAYLAND_DISPLAY=wayland-vb DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY")
    wait_until "mutter's screen casts" 10 'bus_has --session org.gnome.Mutter.ScreenCast'
    launch standin "${uenv[@]}" /usr/bin/python3 "$standin" "${hand_only[@]}" "$3"
    wait_line "$work/standin.log" '^ready' 10 "the stand-in portal did not start"
    if [ "${portal:-standin}" = real ]; then
        # The shell opens on its overview, as at a login; the user leaves it with Esc.
        overview() {
            "${uenv[@]}" dbus-send --session --print-reply --dest=org.gnome.Shell \
                /org/gnome/Shell org.freedesktop.DBus.Properties.Get string:org.gnome.Shell \
                string:OverviewActive 2>/dev/null | grep -q "boolean $1"
        }
        wait_until "gnome-shell on its overview" 20 'overview true'
        gnome_keys Escape
        wait_until "the overview left" 10 'overview false'
    fi
    say "$("${compositor[@]}" --version 2>/dev/null | head -n 1) on wayland-vb and XWayland on" \
        "$DISPLAY, $2 layout, monitors ${*:4}, the last at scale $3"
}

bus_has() { # --session|--system NAME: true once NAME has an owner there
    "${uenv[@]}" dbus-send "$1" --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$2" 2>/dev/null | grep -q true
}

# Answers a dialog of the desktop's as its user does, once it has the keyboard: KEYS as gnome_keys
# takes them, one "+"-joined chord per argument ("Alt_L+s").
gnome_dialog() { # TITLE KEYS...
    local chord title=$1
    wait_until "GNOME's dialog \"$title\" with the keyboard" 15 \
        '[ "$("${uenv[@]}" dbus-send --session --print-reply=literal --dest=org.varbelo.test.Hand \
            /org/varbelo/test/Hand org.varbelo.test.StandIn.Active)" = "   $title" ]'
    for chord in "${@:2}"; do
        # shellcheck disable=SC2086 # the chord split into its keys
        gnome_keys ${chord//+/ }
        sleep 0.2
    done
}

# The desktop's own mouse and keyboard, as a user's devices give them: Point X Y (layout
# coordinates), Button true|false (the left one), Key NAME true|false.
gnome_hand() { # METHOD ARGUMENTS...
    "${uenv[@]}" dbus-send --session --print-reply --dest=org.varbelo.test.Hand \
        /org/varbelo/test/Hand "org.varbelo.test.StandIn.$1" "${@:2}" >/dev/null
}
# With held_in=LOG (an X11 recorder's log), the hold starts once the X server has the press: under
# load mutter may pass a press on late, together with its release, and a key that was never down
# at a poll captures nothing.
gnome_keys() { # KEYSYM...: pressed together on the desktop's keyboard, held $hold s, released
    local i seen=0
    [ -z "${held_in:-}" ] || seen=$(grep -c '^rawkey ' "$held_in" || true)
    for ((i = 1; i <= $#; i++)); do gnome_hand Key "string:${!i}" boolean:true; done
    [ -z "${held_in:-}" ] \
        || wait_until "the X server getting $*" 5 '(($(grep -c "^rawkey " "$held_in" || true) > seen))'
    sleep "${hold:-0}"
    for ((i = $#; i >= 1; i--)); do gnome_hand Key "string:${!i}" boolean:false; done
}
