#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# The X server goes away under a running program: it ends at once, says so in one line, and
# leaves no core dump (a crash would end it by a signal instead).
# Usage: server_loss.sh VARBELO
VARBELO=$1
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

start_display
start_varbelo varbelo
pid=$last
find_varbelo 15 "$pid" >/dev/null
sleep 0.3

kill -KILL "$server"
wait "$server" 2>/dev/null || true
server=
wait_exit "$pid" 3 || fail "expected the program to end within 3 s of losing its X server"
[ "$code" = 1 ] || fail "expected exit code 1; it was $code (above 128: killed by a signal)"
lines=$(grep -cv 'XDG_RUNTIME_DIR' "$work/varbelo.log" || true)
[ "$lines" = 1 ] || fail "expected one line on standard error; got $lines: $(cat "$work/varbelo.log")"
say "ended with code $code: $(cat "$work/varbelo.log")"
