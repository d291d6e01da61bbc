#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a cross-built test program under wine on an Xvfb display of its own and exits with the
# program's exit code. The display and every wine process of the prefix are stopped whatever
# happens.
# Usage: run_under_wine.sh WINE PROGRAM.exe WINEPREFIX  (WINE as CMake found it, maybe ...-NOTFOUND)
set -u

wine=$1
program=$2
prefix=$(realpath -m "$3") # wine wants it absolute

fail()
{
    echo "FAIL: $*" >&2
    exit 1
}

[[ -x $wine ]] || fail "no wine at configure time (tools/install-deps.sh installs wine, wine64)"
[[ -f $program ]] || fail "$program was not built: no x86_64-w64-mingw32-g++ at configure time?" \
    "(tools/install-deps.sh installs g++-mingw-w64-x86-64)"
command -v Xvfb >/dev/null || fail "no Xvfb (tools/install-deps.sh installs xvfb)"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

work=$(mktemp -d)
xvfb_pid=""
cleanup()
{
    # The prefix's wineserver ends the wine processes it still runs (explorer, services).
    [[ -d $prefix ]] && WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM # so that the cleanup runs when ctest gives up on the test too

# -displayfd: Xvfb takes a free display number itself and writes it once it accepts clients,
# so tests running side by side never collide. -noreset: the server survives its last client.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 \
    3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ $(cat "$work/display") == *[0-9] ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
    sleep 0.1
done
display=$(head -n 1 "$work/display")
[[ $display =~ ^[0-9]+$ ]] || fail "Xvfb gave no display number"

export DISPLAY=:$display WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: the first boot would otherwise offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="

# A prefix counts as made only once a boot has finished; a broken one is made anew.
if [[ ! -f $prefix/.booted ]]; then
    rm -rf "$prefix"
    echo "Booting a wine prefix in $prefix (first run only)"
    if ! timeout 180 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 \
            || ! timeout 30 "$wineserver" -w; then
        cat "$work/wineboot.log" >&2
        fail "wineboot failed or timed out"
    fi
    touch "$prefix/.booted"
fi
# Windows 10, as the program's manifest declares it: only then does leaving it out of the
# manifest show (GetVersionEx would claim Windows 8). A separate mark, for prefixes booted before.
if [[ ! -f $prefix/.windows10 ]]; then
    if ! timeout 60 "$wine" winecfg /v win10 >"$work/winecfg.log" 2>&1 \
            || ! timeout 30 "$wineserver" -w; then
        cat "$work/winecfg.log" >&2
        fail "could not make the wine prefix Windows 10"
    fi
    touch "$prefix/.windows10"
fi

timeout 60 "$wine" "$program"
status=$?
[[ $status -eq 124 ]] && echo "FAIL: $program timed out" >&2
exit "$status"
