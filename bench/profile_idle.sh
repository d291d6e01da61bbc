#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Where the idle program spends its time: the built program on a private Xvfb under openbox,
# left alone with the pointer still, profiled for a while once its start-up is over.
# Usage: bench/profile_idle.sh BUILD_DIR callgrind|strace|perf [SECONDS] [OUT_DIR]
#   callgrind  instructions per function (valgrind; steady on a busy machine); the program runs
#              under valgrind from the start, instrumented only for the window
#   strace     system calls of every thread, counted (strace -c -f attached to the running copy)
#   perf       on-CPU samples with call graphs (perf record -F 2000 -g), software clock
# Not part of `make bench`; for finding out why an idle figure is what it is.
set -euo pipefail

bench_dir=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$bench_dir")
build=$(cd "${1:?usage: bench/profile_idle.sh BUILD_DIR callgrind|strace|perf [SECONDS] [OUT_DIR]}" && pwd)
mode=${2:?usage: bench/profile_idle.sh BUILD_DIR callgrind|strace|perf [SECONDS] [OUT_DIR]}
seconds=${3:-20}
out=${4:-$PWD/profile-idle}
VARBELO=$build/varbelo
[ -x "$VARBELO" ] || { echo "profile_idle: $VARBELO is missing; run make build first" >&2; exit 1; }
case $mode in
callgrind) need=(valgrind callgrind_control callgrind_annotate) ;;
strace) need=(strace) ;;
perf) need=(perf) ;;
*) echo "profile_idle: unknown mode $mode" >&2; exit 2 ;;
esac
for tool in "${need[@]}"; do
    command -v "$tool" >/dev/null || { echo "profile_idle: $tool is not installed" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# shellcheck source=tests/program/common.sh
source "$source_dir/tests/program/common.sh"
own_session

start_display >&2
start_wm >&2
xdotool mousemove --sync 900 900

if [ "$mode" = callgrind ]; then
    rm -f "$out"/callgrind.out*
    # Instrumented only for the window: start-up runs at near full speed and is not counted.
    launch varbelo valgrind --tool=callgrind --instr-atstart=no \
        --callgrind-out-file="$out/callgrind.out" "$VARBELO"
    pid=$last
    find_varbelo 120 # start-up under valgrind is slow
    sleep 12 # past start-up, and past the text cursor's 10 s of blinking
    callgrind_control -i on "$pid" >/dev/null
    sleep "$seconds"
    callgrind_control -i off "$pid" >/dev/null
    callgrind_control -d "$pid" >/dev/null
    kill -TERM "$pid"
    wait_exit "$pid" 60 || true
    dump=$out/callgrind.out.1 # the dump taken above; the one at exit is empty
    callgrind_annotate --inclusive=yes "$dump" >"$out/inclusive.txt"
    callgrind_annotate "$dump" >"$out/self.txt"
    echo "callgrind: $dump; summaries in $out/inclusive.txt and $out/self.txt"
    sed -n '1,60p' "$out/inclusive.txt"
else
    start_varbelo varbelo
    pid=$last
    find_varbelo 15
    sleep 12 # past start-up, and past the text cursor's 10 s of blinking
    if [ "$mode" = strace ]; then
        launch strace strace -c -f -o "$out/strace.txt" -p "$pid"
        tracer=$last
        sleep "$seconds"
        kill -INT "$tracer"
        wait_exit "$tracer" 10 || true
        cat "$out/strace.txt"
    else
        launch perf perf record -F 2000 -g -e cpu-clock -o "$out/perf.data" -p "$pid"
        tracer=$last
        sleep "$seconds"
        kill -INT "$tracer"
        wait_exit "$tracer" 20 || true
        perf report -i "$out/perf.data" --no-children --stdio --percent-limit 2 \
            >"$out/perf.txt" 2>/dev/null || true
        sed -n '1,80p' "$out/perf.txt"
    fi
fi
