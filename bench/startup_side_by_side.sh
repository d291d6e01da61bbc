#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up to the first painted frame of two builds of the program, measured in turns on one
# private Xvfb, so that the machine's load and speed weigh on both alike: the program of an
# earlier commit, built here, against this tree's. `make bench-startup BASE=REV` runs it.
# Usage: bench/startup_side_by_side.sh BUILD_DIR BASE_REV [ROUNDS]
# BUILD_DIR is a build with -DVARBELO_BENCH=ON (make bench makes one); BASE_REV's program is
# built in BUILD_DIR/startup-base, from a worktree of its own that is removed afterwards.
set -euo pipefail

bench_dir=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$bench_dir")
build=$(cd "${1:?usage: bench/startup_side_by_side.sh BUILD_DIR BASE_REV [ROUNDS]}" && pwd)
base_rev=${2:?the commit to compare with}
rounds=${3:-5}
per_round=4 # starts of each build in a turn
FIRSTFRAME=$build/bench/firstframe
[ -x "$FIRSTFRAME" ] || { echo "$FIRSTFRAME is missing: configure with -DVARBELO_BENCH=ON" >&2; exit 1; }

base_build=$build/startup-base
base_src=$(mktemp -d)
git -C "$source_dir" worktree add --detach -q "$base_src" "$base_rev"
trap 'git -C "$source_dir" worktree remove --force "$base_src"' EXIT
echo "Building $base_rev's program in $base_build" >&2
rm -rf "$base_build" # its cache names the source folder of an earlier run
cmake -S "$base_src" -B "$base_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    >/dev/null
cmake --build "$base_build" -j "$(nproc)" --target varbelo >/dev/null
git -C "$source_dir" worktree remove --force "$base_src"
trap - EXIT

VARBELO=$build/varbelo
# shellcheck source=tests/program/common.sh
source "$source_dir/tests/program/common.sh"
export HOME=$work/home XDG_RUNTIME_DIR=$runtime
mkdir -m 700 "$HOME"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER \
    QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_STYLE_OVERRIDE
start_display >&2
start_wm >&2

measure() { # NAME PROGRAM: one turn of per_round starts, their times appended to NAME.times
    launch "firstframe-$1" "$FIRSTFRAME" "$per_round" 'Varbelo V1.0' "$2"
    wait_exit "$last" 120 || fail "the start-up probe of $1 did not finish within 120 s"
    [ "$code" = 0 ] || fail "the start-up probe of $1 failed (exit code $code)"
    awk '$1 == "start" {print $3}' "$work/firstframe-$1.log" >"$work/$1.times"
}
for ((r = 1; r <= rounds; r++)); do
    measure base "$base_build/varbelo"
    measure this "$VARBELO"
done

median() { sort -n "$1" | awk '{v[NR] = $1} END {printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
range() { sort -n "$1" | awk 'NR == 1 {a = $1} {b = $1} END {printf "%.0f - %.0f", a, b}'; }
printf '%-28s %8s %14s %7s\n' "start-up to first frame" median "min - max" starts
for name in base this; do
    label=$([ "$name" = base ] && echo "$base_rev" || echo "this tree")
    printf '%-28s %6s ms %11s ms %7s\n' "$label" "$(median "$work/$name.times")" \
        "$(range "$work/$name.times")" "$(wc -l <"$work/$name.times")"
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
