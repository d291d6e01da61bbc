#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# One copy at a time: a second copy only says so and leaves; a copy killed outright does not
# block the next; of several copies started at once exactly one shows its window.
# Usage: single_instance.sh VARBELO
VARBELO=$1
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

VARBELO_TITLE='^Varbelo V1\.0$'
BOX_TITLE='^Application$'

# Presses OK (Return) on a message box the way a user would: activate it, then the key.
answer_box() { # WINDOW_ID
    activate_window "$1"
    sleep 0.2 # the box's own focus handling follows the window manager's
    xdotool key Return
}

start_display
start_wm

# ---- A second copy while one runs ----

start_varbelo first
first=$last
find_varbelo 15 "$last"

start_varbelo second
second=$last
box=$(wait_for_window "$BOX_TITLE" 15 "$second") \
    || fail "expected the second copy to show a window titled \"Application\"; none appeared"
box_pid=$(xdotool getwindowpid "$box" 2>/dev/null || true)
[ "$box_pid" = "$second" ] || fail "the \"Application\" box belongs to pid $box_pid, not the second copy ($second)"
# Let a wrongly shown second main window have time to appear.
sleep 1
n=$(count_windows "$VARBELO_TITLE")
[ "$n" = 1 ] || fail "expected one \"Varbelo V1.0\" window with a second copy waiting on its box, found $n"
is_running "$second" || fail "the second copy ended before its box was answered"
answer_box "$box"
wait_exit "$second" 5 || fail "expected the second copy to end within 5 s of OK; it still runs"
[ "$code" = 0 ] || fail "expected the second copy to exit with code 0, got $code"
is_running "$first" || fail "the first copy ended while the second was turned away"
say "second copy: box shown, no second window, exit code $code"

# ---- A copy killed with SIGKILL leaves no lock that counts ----

kill_copy() { # PID WHAT: SIGKILL, then wait until its window has left the screen
    kill -KILL "$1"
    wait_exit "$1" 5 || fail "$2 survived SIGKILL"
    local i
    for ((i = 0; i < 50; i++)); do
        [ "$(count_windows "$VARBELO_TITLE")" = 0 ] && break
        sleep 0.1
    done
}


kill_copy "$first" "the first copy"
start_varbelo after-kill
after_kill=$last
find_varbelo 15 "$last"
n=$(count_windows "$BOX_TITLE")
[ "$n" = 0 ] || fail "after the running copy was killed with SIGKILL, the next start still said \"Application running.\""
say "start after SIGKILL: window shown"
kill_copy "$after_kill" "the copy started after the kill"

# ---- The same, where every copy gets the same process id (a PID namespace, as in a sandbox) ----

# The dead copy's lock then names the new copy itself, which is certainly alive.
start_in_namespace() { # LOGNAME: sets ns_unshare (unshare's pid) and ns_copy (the program's)
    launch "$1" "${varbelo_env[@]}" unshare -pf --mount-proc "$VARBELO"
    ns_unshare=$last
    local i
    for ((i = 0; i < 50; i++)); do
        ns_copy=$(pgrep -P "$ns_unshare" || true)
        [ -n "$ns_copy" ] && return 0
        sleep 0.1
    done
    fail "unshare started no program within 5 s"
}
if [ ${#wine_run[@]} -gt 0 ]; then
    say "a PID namespace is Linux's: not repeated under wine"
else
    start_in_namespace namespace-1
    find_varbelo 15 "$ns_unshare"
    kill -KILL "$ns_copy"
    kill_copy "$ns_unshare" "unshare of the first copy in a PID namespace"
    [ -e "$runtime/varbelo.lock" ] || fail "expected the killed copy to leave its lock behind"
    start_in_namespace namespace-2
    find_varbelo 15 "$ns_unshare"
    n=$(count_windows "$BOX_TITLE")
    [ "$n" = 0 ] || fail "a copy killed in a PID namespace kept the next one (same pid) out: \"Application running.\""
    say "start after SIGKILL in a PID namespace: window shown"
    kill -KILL "$ns_copy"
    kill_copy "$ns_unshare" "unshare of the second copy in a PID namespace"
fi

# ---- Six copies at the same instant ----

# Each copy waits on a FIFO; opening and closing its write end releases all six together.
gate="$work/gate"
mkfifo "$gate"
racers=()
for k in 1 2 3 4 5 6; do
    # shellcheck disable=SC2016 # expanded by the inner shell
    launch "race$k" bash -c 'read -r _ <"$1"; shift; exec "$@"' _ "$gate" "${varbelo_command[@]}"
    racers+=("$last")
done
sleep 0.3
: >"$gate"

# Wait for the outcome to settle: six windows in all, then a moment for any late extra.
deadline=$((SECONDS + 20))
while ((SECONDS < deadline)); do
    mains=$(count_windows "$VARBELO_TITLE")
    boxes=$(count_windows "$BOX_TITLE")
    ((mains + boxes >= 6)) && break
    sleep 0.2
done
sleep 1
mains=$(count_windows "$VARBELO_TITLE")
boxes=$(count_windows "$BOX_TITLE")
say "six copies at once: $mains \"Varbelo V1.0\" window(s), $boxes \"Application\" box(es)"
{ [ "$mains" = 1 ] && [ "$boxes" = 5 ]; } \
    || fail "expected 1 \"Varbelo V1.0\" window and 5 \"Application\" boxes, found $mains and $boxes"

# One box at a time, each copy gone before the next box is answered. A wine program that ends
# hands the activation to another of wine's windows while it exits, whatever the window manager
# has focused meanwhile: a key pressed into the next box then reaches no window, and that copy
# waits on for ever.
winner=$(xdotool getwindowpid "$(windows_named "$VARBELO_TITLE")")
for box in $(windows_named "$BOX_TITLE"); do
    pid=$(xdotool getwindowpid "$box") || fail "the \"Application\" box $box names no process"
    answer_box "$box"
    wait_exit "$pid" 5 || fail "a turned-away copy (pid $pid) still runs 5 s after OK on its box"
    [ "$code" = 0 ] || fail "a turned-away copy (pid $pid) exited with code $code, expected 0"
done
is_running "$winner" || fail "the copy that showed its window has ended"
say "PASS"
