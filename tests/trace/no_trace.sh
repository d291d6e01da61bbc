#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the program through a capture and a short run under strace, with a home, runtime and
# temporary directory of its own, then checks every file it opened for writing and every socket
# it opened: only the lock file may be written, and only local sockets may be used.
set -euo pipefail

varbelo=$1
for tool in Xvfb xdotool strace; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (tools/install-deps.sh)"; exit 1; }
done

work=$(mktemp -d)
chmod 700 "$work"
server=
program=
cleanup() {
    [ -n "$program" ] && kill -KILL "$program" 2>/dev/null
    [ -n "$server" ] && kill -TERM "$server" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/strace.log" ] && grep -E 'O_WRONLY|O_RDWR|O_CREAT|socket\(|connect\(' "$work/strace.log" | tail -n 40 >&2
    exit 1
}

# A private X server; -noreset keeps the pointer where the test puts it.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
server=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

mkdir -m 700 "$work/home" "$work/runtime" "$work/tmp"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work/tmp"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME XDG_STATE_HOME DBUS_SESSION_BUS_ADDRESS

strace -f -qq -o "$work/strace.log" -e trace=openat,open,creat,socket,connect,mkdir,rename \
    "$varbelo" >"$work/varbelo.log" 2>&1 &
program=$!

window=
for _ in $(seq 100); do
    window=$(xdotool search --name '^Varbelo V1\.0$' 2>/dev/null | head -n1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "the window did not appear"

# A capture and a run of one step, so that every path of the program has had its turn.
xdotool windowmove "$window" 500 100
sleep 0.3
xdotool mousemove 100 100
sleep 0.2
xdotool key space
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 370)) $((Y + 355)) click 1 # Execute
sleep 2.5

[ "$(ls -A "$work/runtime")" = varbelo.lock ] || fail "runtime directory holds: $(ls -A "$work/runtime")"
[ -z "$(ls -A "$work/home")" ] || fail "home holds: $(find "$work/home" | tail -n +2)"
[ -z "$(ls -A "$work/tmp")" ] || fail "temporary directory holds: $(ls -A "$work/tmp")"

# Ended as a session ends it; strace itself runs on until its tracee has gone.
kill -TERM "$(pgrep -P "$program" | head -n1)"
for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "the program did not end on SIGTERM"
wait "$program" || true
program=

[ -z "$(ls -A "$work/runtime")" ] || fail "the lock was left behind: $(ls -A "$work/runtime")"

# Files opened for writing: the lock (and the lock machinery's temporary names) only.
written=$(grep -E 'open(at)?\(.*(O_WRONLY|O_RDWR|O_CREAT)|creat\(' "$work/strace.log" \
    | grep -v ' = -1 ' | grep -oE '"[^"]*"' | tr -d '"' | sort -u \
    | grep -vE '^/dev/(null|tty|pts/|shm/)|^/proc/' \
    | grep -vE "^$work/runtime/varbelo\.lock" || true)
[ -z "$written" ] || fail "files opened for writing besides the lock: $written"

# Sockets: local ones only (the X server, the signal pipe); no network connection.
if grep -E 'socket\((AF_INET|AF_INET6|AF_PACKET)' "$work/strace.log" | grep -v ' = -1 '; then
    fail "a network socket was opened"
fi
echo "PASS: no file but the lock, no network socket"
