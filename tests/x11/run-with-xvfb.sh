#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a program against a private Xvfb and stops the server afterwards, whatever happens.
# Usage: run-with-xvfb.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2; exit 2; }

work=$(mktemp -d)
server=
program=
stop() {
    for pid in $program $server; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# -displayfd: the server takes the first free display number (its lock file keeps parallel runs
# apart) and writes it once it accepts connections. -noreset: otherwise the pointer jumps back
# to the centre whenever the last client disconnects.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp +extension RANDR \
    3>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 200); do
    grep -q . "$work/display" && break
    if ! kill -0 "$server" 2>/dev/null; then
        echo "Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.05
done
number=$(head -n 1 "$work/display")
if [ -z "$number" ]; then
    echo "Xvfb gave no display number within 10 s" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

# In the background so that a signal to this script is handled at once, not after the program.
DISPLAY=":$number" "$@" &
program=$!
status=0
wait "$program" || status=$?
program=
if [ "$status" -ne 0 ]; then
    echo "--- Xvfb log:" >&2
    cat "$work/xvfb.log" >&2
fi
exit "$status"
