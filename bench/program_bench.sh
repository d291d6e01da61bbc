#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The built program as a user runs it, on a private Xvfb under openbox: start-up, idle cost,
# playback pace (against xdotool's own paced clicks, timed by the same recorder) and memory; then
# its playback pace on Wayland desktops, into native and XWayland windows (wayland_timing.sh).
# Prints one table with the goals beside the figures; it measures and never fails on a figure,
# only when it cannot take one. `make bench` runs it after the micro-benchmarks.
# Usage: bench/program_bench.sh BUILD_DIR
# BENCH_LOGS=DIR keeps the logs and the click times there. DESKTOPS="sway kwin gnome" names the Wayland
# desktops, each a desktop_NAME function of wayland_timing.sh.
set -euo pipefail

bench_dir=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$bench_dir")
build=${1:?usage: bench/program_bench.sh BUILD_DIR}

note() { echo "program_bench: $*" >&2; }
die() {
    note "$*"
    exit 1
}

[ -d "$build" ] || die "no build directory $build; run make build first"
build=$(cd "$build" && pwd)
VARBELO=$build/varbelo
RECORDER=$build/tests/program/clickrecorder
FIRSTFRAME=$build/bench/firstframe
CLICKCLOCK=$build/bench/clickclock
XREQUESTS=$build/bench/xrequests
[ -x "$VARBELO" ] || die "$VARBELO is missing; run make build first"
[ -x "$RECORDER" ] || die "$RECORDER is missing; it is built with the program tests (make build)"
for probe in "$FIRSTFRAME" "$CLICKCLOCK" "$XREQUESTS"; do
    [ -x "$probe" ] || die "$probe is missing; configure with -DVARBELO_BENCH=ON (make bench does)"
done
for tool in Xvfb openbox xdotool xprop xwininfo timeout strace; do
    command -v "$tool" >/dev/null || die "$tool is not installed; tools/install-deps.sh installs it"
done

# Display, window manager, launching and the clean-up trap are the program tests' own: Xvfb with
# -noreset on a free display (-displayfd), openbox, and every process started through them
# stopped on exit, the X server last.
common=$source_dir/tests/program/common.sh
[ -f "$common" ] || die "$common is missing"
# shellcheck source=tests/program/common.sh
source "$common"
own_session

STARTS=10
IDLE_SECONDS=20
PROBE_SECONDS=10 # X requests, then system calls: each counted apart, as tracing costs time
STEPS=31 # one pass: 31 clicks a second apart, 30 intervals, then the idle end-of-pass tick
INTERVAL=1000
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
clk_tck=$(getconf CLK_TCK)

# Every xdotool call bounded: a --sync that never sees its move would otherwise hang the run.
xdo() {
    timeout 60 xdotool "$@" || fail "xdotool $1 ... failed or did not finish within 60 s"
}

start_display >&2
start_wm >&2

# ---- Start-up: exec to first painted frame (method in firstframe.cpp), median of 10 ----

note "start-up: 1 unmeasured start, then $STARTS measured"
launch firstframe "$FIRSTFRAME" "$STARTS" 'Varbelo V1.0' "$VARBELO"
wait_exit "$last" 150 || fail "the start-up probe did not finish within 150 s"
[ "$code" = 0 ] || fail "the start-up probe failed (exit code $code)"
grep '^warning' "$work/firstframe.log" >&2 || true
mapfile -t startup_ms < <(awk '$1 == "start" {print $3}' "$work/firstframe.log" | sort -n)
((${#startup_ms[@]} == STARTS)) \
    || fail "expected $STARTS start-up figures, got ${#startup_ms[@]}"
startup_median=$(printf '%s\n' "${startup_ms[@]}" \
    | awk '{v[NR] = $1} END {printf "%.0f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}')
startup_min=$(printf '%.0f' "${startup_ms[0]}")
startup_max=$(printf '%.0f' "${startup_ms[-1]}")
startup_rss_kb=$(awk '$1 == "start" {print $4}' "$work/firstframe.log" | sort -n | tail -n 1)

# ---- Idle, before and after: nothing happens but the 50 ms poll and the live readout ----

cpu_ticks() { # PID: utime + stime of the whole process, in clock ticks
    sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'
}
on_cpu_ns() { # PID: time on a CPU summed over its threads, ns (scheduler accounting)
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {print s + 0}'
}
switches() { # PID: context switches summed over its threads, i.e. wake-ups
    cat /proc/"$1"/task/*/status 2>/dev/null \
        | awk '/^(non)?voluntary_ctxt_switches/ {s += $2} END {print s + 0}'
}

# A copy of its own, left alone with the pointer still: CPU and wake-ups for IDLE_SECONDS, then
# the X requests that reach the server (all clients: openbox, idle too, sends none) and the
# system calls of all its threads, PROBE_SECONDS each. Sets idle_<NAME>_{cpu,precise,wakeups,
# xcpu,xreq,calls}.
idle_run() { # NAME [NAME=VALUE...]
    local name=$1
    shift
    note "idle ($name): ${IDLE_SECONDS} s with the pointer still, then ${PROBE_SECONDS} s of X requests and ${PROBE_SECONDS} s of system calls"
    start_varbelo "idle-$name" "$@"
    local pid=$last
    find_varbelo 15 "$pid"
    xdo mousemove --sync 900 900
    # Start-up leftovers (fonts, the first polls) settle, and the text cursor in row 1 stops
    # blinking, 10 s after the last input.
    sleep 12
    is_running "$pid" || fail "the program ended on its own before the idle measurement"
    local t0 t1 ticks0 ticks1 ns0 ns1 sw0 sw1 xticks0 xticks1
    t0=$(date +%s%N)
    ticks0=$(cpu_ticks "$pid") ns0=$(on_cpu_ns "$pid") sw0=$(switches "$pid")
    xticks0=$(cpu_ticks "$server")
    sleep "$IDLE_SECONDS"
    ticks1=$(cpu_ticks "$pid") ns1=$(on_cpu_ns "$pid") sw1=$(switches "$pid")
    xticks1=$(cpu_ticks "$server")
    t1=$(date +%s%N)
    local figures
    figures=$(awk -v dt=$((t1 - t0)) -v dtk=$((ticks1 - ticks0)) -v dns=$((ns1 - ns0)) \
        -v dsw=$((sw1 - sw0)) -v dx=$((xticks1 - xticks0)) -v hz="$clk_tck" 'BEGIN {
            s = dt / 1e9
            printf "%.2f %.3f %.1f %.2f\n", 100 * dtk / hz / s, 100 * dns / 1e9 / s, dsw / s,
                100 * dx / hz / s
        }')

    launch "xrequests-$name" "$XREQUESTS" "$PROBE_SECONDS"
    local probe=$last
    wait_ready "$work/xrequests-$name.log" "the X request counter"
    wait_exit "$probe" $((PROBE_SECONDS + 10)) || fail "the X request counter did not finish"
    [ "$code" = 0 ] || fail "the X request counter failed: $(cat "$work/xrequests-$name.log")"
    local xreq
    xreq=$(awk -v s="$PROBE_SECONDS" '$1 == "requests" {printf "%.1f", $2 / s}' \
        "$work/xrequests-$name.log")

    launch "strace-$name" strace -c -f -o "$work/strace-$name.txt" -p "$pid"
    local tracer=$last
    sleep "$PROBE_SECONDS"
    kill -INT "$tracer"
    wait_exit "$tracer" 10 || fail "strace did not end within 10 s"
    local calls
    # Per-call lines: % time, seconds, usecs/call, calls, [errors,] name.
    calls=$(awk -v s="$PROBE_SECONDS" '/^-/ {part++; next}
        part == 1 && NF >= 5 {n += $4} END {printf "%.0f", n / s}' "$work/strace-$name.txt")

    kill -TERM "$pid"
    wait_exit "$pid" 5 || fail "the idle copy did not end within 5 s of SIGTERM"
    read -r "idle_${name}_cpu" "idle_${name}_precise" "idle_${name}_wakeups" "idle_${name}_xcpu" \
        <<<"$figures"
    printf -v "idle_${name}_xreq" %s "$xreq"
    printf -v "idle_${name}_calls" %s "$calls"
}
# Before: this build's switch back to the former path, which asks for the pointer on every poll
# and reads the connection at every key query. After: as the program runs.
idle_run before VARBELO_BENCH_POLL_EVERY_TIME=1
idle_run after

# ---- The copy that is measured from here on ----

start_varbelo varbelo
vb_pid=$last
find_varbelo 15
place_and_record
# Controls are placed in twips, so at another dpi everything scales with the client area.
cx() { echo $((vb_x + $1 * win_w / 442)); }
cy() { echo $((vb_y + $1 * win_h / 386)); }
row_at() { cy "$(row_y "$1")"; } # ROW: its middle on the screen
down_x=$(cx $down_x) up_x=$(cx $up_x)
xbox_x=$(cx 72)
loop_x=$(cx $loop_x) loop_y=$(cy $loop_y)
execute_x=$(cx $execute_x) execute_y=$(cy $execute_y)

launch clickclock "$CLICKCLOCK"
clock=$work/clickclock.log
wait_ready "$clock" "the click clock"
activate_window "$vb_window"

# ---- Building the script as a user does: capture with Space, toggles, loop count ----

spot_x() { echo $((540 + 20 * $1)); }
spot_y() { echo $((300 + 40 * ($1 % 10))); }

note "capturing $STEPS positions with Space"
# Held longer than two polls and released as long, so that each press is seen down by a poll
# and seen up before the next one (one press, one capture).
args=()
for ((k = 0; k < STEPS; k++)); do
    args+=(mousemove --sync "$(spot_x $k)" "$(spot_y $k)" keydown space sleep 0.15 keyup space
        sleep 0.15)
done
xdo "${args[@]}"

toggle_rows_at_once() { # FIRST LAST: sets Down and Up on those grid rows, in one xdotool call
    local r args=()
    for ((r = $1; r <= $2; r++)); do
        args+=(mousemove --sync "$down_x" "$(row_at "$r")" click 1 sleep 0.03
            mousemove --sync "$up_x" "$(row_at "$r")" click 1 sleep 0.03)
    done
    xdo "${args[@]}"
}
note "setting Down and Up on every step"
if ((STEPS >= 20)); then
    # A capture in the bottom row scrolls the grid one item on and stays there, so the grid now
    # shows items STEPS-19 .. STEPS, the last one empty.
    scrolled=$((STEPS - 19))
    toggle_rows_at_once 0 18
    # Up in the top row's X box scrolls the grid one item back.
    ups=()
    for ((k = 0; k < scrolled; k++)); do ups+=(Up); done
    xdo mousemove --sync "$xbox_x" "$(row_at 0)" click 1 sleep 0.1 key --delay 80 "${ups[@]}"
    sleep 0.2
    toggle_rows_at_once 0 $((scrolled - 1))
else
    toggle_rows_at_once 0 $((STEPS - 1))
fi
xdo mousemove --sync "$loop_x" "$loop_y" click 1 sleep 0.1 key ctrl+a sleep 0.05 type 1
sleep 0.3
expect_no_click_yet

# ---- Playback pace, then xdotool's, against the same recorder ----

presses_poll=0.2 # seldom, not to load the machine while its clicks are timed
press_times() { clicks_after "$1" press | awk '{print $5}'; } # LINE: their server times

note "playback: $STEPS clicks, one a second"
before=$(log_lines)
xdo mousemove --sync "$execute_x" "$execute_y" click 1
wait_presses "$before" "$STEPS" $((STEPS + 10)) || true
sleep 1.5 # the idle end-of-pass tick, after which nothing more may come
mapfile -t played < <(clicks_after "$before" press | awk '{print $3, $4}')
expected=()
for ((k = 0; k < STEPS; k++)); do expected+=("$(spot_x $k) $(spot_y $k)"); done
if [ "${played[*]}" != "${expected[*]}" ]; then
    # A capture or a toggle that the program missed leaves a step out or unclicked.
    fail "expected $STEPS clicks at the captured spots, in order; got ${#played[@]}:
$(diff <(printf '%s\n' "${expected[@]}") <(printf '%s\n' "${played[@]}") | grep '^[<>]' | sed 's/^</missing/; s/^>/extra  /')"
fi
press_times "$before" >"$work/ours.times"

note "xdotool: $STEPS clicks with --delay $INTERVAL"
xdo mousemove --sync 900 700
sleep 0.3
before=$(log_lines)
timeout $((STEPS + 15)) xdotool click --repeat "$STEPS" --delay "$INTERVAL" 1 \
    || fail "xdotool click did not finish within $((STEPS + 15)) s"
sleep 0.3
press_times "$before" >"$work/xdotool.times"
got=$(grep -c . "$work/xdotool.times" || true)
[ "$got" = "$STEPS" ] || fail "expected $STEPS clicks from xdotool, the recorder saw $got"

# ---- Memory, then quit as a user would ----

is_running "$vb_pid" || fail "the program ended on its own during the measurements"
rss_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$vb_pid/status")
kill -TERM "$vb_pid"
wait_exit "$vb_pid" 5 || fail "the program did not end within 5 s of SIGTERM"

# ---- Playback pace on Wayland desktops, by the compositors' own event times ----

DESKTOPS=${DESKTOPS:-sway kwin gnome}
for desktop in $DESKTOPS; do
    note "Wayland, $desktop: 20 steps, half in a native window and half in an X11 one, played 3 times"
    bash "$bench_dir/wayland_timing.sh" "$build" "$desktop" >"$work/$desktop.ticks" \
        2>"$work/$desktop-timing.log" || fail "could not measure on $desktop"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- Figures ----

# The same presses on the local clock: each recorder press joined with the click clock's line of
# the same server time.
micro_times() { # SERVER_TIMES_FILE
    awk 'NR == FNR {if ($1 == "press") us[$2] = $3; next}
        {if (!($1 in us)) {print "no clock time for the press at server time " $1 > "/dev/stderr"; exit 1}
         print us[$1]}' "$clock" "$1"
}
micro_times "$work/ours.times" >"$work/ours.us" || fail "the click clock missed a press of the run"
micro_times "$work/xdotool.times" >"$work/xdotool.us" || fail "the click clock missed a press of xdotool"

# Each interval's error against the nominal interval, absolute; percentiles by nearest rank, so
# with 30 intervals p99 is the largest.
tick_stats() { # FILE NOMINAL: "p50 p99 max drift intervals", in the file's unit
    local n
    n=$(grep -c . "$1")
    awk -v nominal="$2" 'NR > 1 {e = $1 - prev - nominal; print (e < 0 ? -e : e)} {prev = $1}' \
        "$1" | sort -n | awk -v n=$((n - 1)) '{v[NR] = $1}
            function rank(q,  i) { i = int(q * n); if (i < q * n) i++; return v[i < 1 ? 1 : i] }
            END {printf "%s %s %s", rank(0.5), rank(0.99), v[n]}'
    awk -v nominal="$2" 'NR == 1 {first = $1} {last = $1; n = NR}
        END {printf " %d %d\n", last - first - nominal * (n - 1), n - 1}' "$1"
}
signed_errors() { # FILE: each interval's error in ms, signed, in order
    awk -v nominal=$((INTERVAL * 1000)) 'NR > 1 {printf "%+.2f ", ($1 - prev - nominal) / 1000} {prev = $1}' "$1"
}
note "interval errors, varbelo (ms): $(signed_errors "$work/ours.us")"
note "interval errors, xdotool (ms): $(signed_errors "$work/xdotool.us")"
if [ -n "${BENCH_LOGS:-}" ]; then
    mkdir -p "$BENCH_LOGS"
    cp "$work"/*.log "$work"/*.times "$work"/*.us "$work"/*.ticks "$BENCH_LOGS"/
fi
read -r o_p50 o_p99 o_max o_drift o_n < <(tick_stats "$work/ours.us" $((INTERVAL * 1000)))
read -r x_p50 x_p99 x_max x_drift x_n < <(tick_stats "$work/xdotool.us" $((INTERVAL * 1000)))
read -r os_p50 os_p99 os_max os_drift _ < <(tick_stats "$work/ours.times" "$INTERVAL")
read -r xs_p50 xs_p99 xs_max xs_drift _ < <(tick_stats "$work/xdotool.times" "$INTERVAL")
ms() { awk -v u="$1" 'BEGIN {printf "%.2f ms", u / 1000}'; }
signed_ms() { awk -v u="$1" 'BEGIN {printf "%+.2f ms", u / 1000}'; }

ratio() { # OURS THEIRS (absolute values)
    awk -v a="$1" -v b="$2" 'BEGIN {
        a = a < 0 ? -a : a; b = b < 0 ? -b : b
        if (b == 0) print (a == 0 ? "1" : "inf"); else printf "%.2f\n", a / b }'
}
met() { # VALUE GOAL: the value within the goal?
    awk -v v="$1" -v g="$2" 'BEGIN { v = v < 0 ? -v : v; print (v <= g ? "yes" : "NO") }'
}
rss_mib=$(awk -v k="$rss_kb" 'BEGIN {printf "%.1f", k / 1024}')
startup_rss_mib=$(awk -v k="$startup_rss_kb" 'BEGIN {printf "%.1f", k / 1024}')

row() { printf '%-34s %13s %11s %9s %9s %4s\n' "$@"; }
echo
echo "Whole program on Xvfb $DISPLAY (1280x1024, openbox), $(nproc) CPUs, load $load_before -> $load_after"
row "measure" "varbelo" "xdotool" "ours/xdo" "goal" "met"
row "start-up to first frame (median)" "$startup_median ms" "" "" "<= 100 ms" \
    "$(met "$startup_median" 100)"
row "  min - max of $STARTS starts" "$startup_min - $startup_max" "" "" "" ""
row "peak RSS (VmHWM) at quit" "$rss_mib MiB" "" "" "<= 35 MiB" "$(met "$rss_mib" 35)"
row "  at the first frame (max of $STARTS)" "$startup_rss_mib MiB" "" "" "" ""
row "tick error p50, $o_n intervals" "$(ms "$o_p50")" "$(ms "$x_p50")" "" "" ""
row "tick error p99" "$(ms "$o_p99")" "$(ms "$x_p99")" "$(ratio "$o_p99" "$x_p99")" "<= 1 ms" \
    "$(met "$o_p99" 1000)"
row "tick error max" "$(ms "$o_max")" "$(ms "$x_max")" "" "" ""
row "drift, first to last click" "$(signed_ms "$o_drift")" "$(signed_ms "$x_drift")" \
    "$(ratio "$o_drift" "$x_drift")" "<= 1 ms" "$(met "$o_drift" 1000)"
row "  server time: p50/p99/max; drift" "$os_p50/$os_p99/$os_max; $(printf %+d "$os_drift")" \
    "$xs_p50/$xs_p99/$xs_max; $(printf %+d "$xs_drift")" "" "" ""
echo "Ticks: the presses the recorder got, timed on arrival (monotonic clock, us) and by the X"
echo "server (ms). xdotool: \`xdotool click --repeat $STEPS --delay $INTERVAL 1\`, $STEPS clicks for the same $x_n intervals."

# One window's presses (KIND) of a desktop's run, moved onto consecutive ticks: the pass's idle
# tick and the steps in the other window taken out, so that every interval is nominally one.
# The compositors' times are 32-bit milliseconds, which may wrap.
regrid() { # TICKS_FILE KIND
    awk -v kind="$2" -v nominal="$INTERVAL" '$1 == kind {
        t = $3 + wrap
        if (n && t < prev) { wrap += 4294967296; t += 4294967296 }
        if (!n) first = $2
        print t - nominal * ($2 - first - n)
        prev = t; n++
    }' "$1"
}
echo
echo "Playback pace by the time the desktop gives each press: each window's presses, 1 s apart"
pace_row() { printf '%-38s %8s %8s %8s %8s %9s\n' "$@"; }
pace_row "desktop, window" "p50" "p99" "max" "drift" "intervals"
pace_row "X11 (Xvfb), X11 window" "$os_p50 ms" "$os_p99 ms" "$os_max ms" \
    "$(printf %+d "$os_drift") ms" "$o_n"
for desktop in $DESKTOPS; do
    label=$(awk '$1 == "desktop" {$1 = ""; print substr($0, 2)}' "$work/$desktop.ticks")
    for kind in native x11; do
        regrid "$work/$desktop.ticks" "$kind" >"$work/$desktop-$kind.times"
        read -r p50 p99 max drift n < <(tick_stats "$work/$desktop-$kind.times" "$INTERVAL")
        window="native window"
        [ "$kind" = x11 ] && window="XWayland window"
        pace_row "$label, $window" "$p50 ms" "$p99 ms" "$max ms" "$(printf %+d "$drift") ms" "$n"
    done
done
echo "Times: the X server's for X11 windows (XWayland's under Wayland); wl_pointer.button's for native"
echo "ones (on sway the time the program gave its virtual pointer, on KWin and GNOME the"
echo "compositor's clock when the fake input or the portal's press came). Each pass of 20 steps, 10"
echo "in each window, ends with an idle tick, taken out."

echo
echo "Idle, pointer still: before (the former path, VARBELO_BENCH_POLL_EVERY_TIME=1) and after"
idle_row() { printf '%-34s %11s %11s %11s %4s\n' "$@"; }
idle_row "measure" "before" "after" "goal" "met"
idle_row "CPU, utime+stime, ${IDLE_SECONDS} s" "$idle_before_cpu %" "$idle_after_cpu %" "<= 0.15 %" \
    "$(met "$idle_after_cpu" 0.15)"
idle_row "  on-CPU time (schedstat)" "$idle_before_precise %" "$idle_after_precise %" "" ""
idle_row "wake-ups (context switches)" "$idle_before_wakeups /s" "$idle_after_wakeups /s" \
    "<= 22 /s" "$(met "$idle_after_wakeups" 22)"
idle_row "system calls, ${PROBE_SECONDS} s" "$idle_before_calls /s" "$idle_after_calls /s" "" ""
idle_row "X requests, ${PROBE_SECONDS} s" "$idle_before_xreq /s" "$idle_after_xreq /s" "" ""
idle_row "X server CPU meanwhile" "$idle_before_xcpu %" "$idle_after_xcpu %" "" ""
echo "Wake-ups, system calls and X requests are counts; the CPU figures move with the machine's load."
