#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program under wine in the prefix that WINEPREFIX names, making the prefix first
# when it is not there yet: booted once, Windows 10 (as the program's manifest declares), Arial
# mapped to Liberation Sans (wine has no Arial, and the window's captions are set in it).
#
# With DISPLAY set the program replaces this script, so the caller's process id is the wine
# process's own. Without one (CI, or a test that must not use the user's screen) the program gets
# a private Xvfb with openbox, and the prefix's wine processes, openbox and that Xvfb are stopped
# when it ends.
#
# The Windows build's CMAKE_CROSSCOMPILING_EMULATOR (the build-time icon tool, the tests).
# Usage: WINEPREFIX=DIR wine.sh PROGRAM.exe [ARGUMENT...]
#        WINEPREFIX=DIR wine.sh --prefix-only PROGRAM.exe   makes the prefix, runs nothing
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix_only=no
if [ "${1:-}" = --prefix-only ]; then
    prefix_only=yes
    shift
fi
[ $# -ge 1 ] || fail "usage: WINEPREFIX=DIR wine.sh [--prefix-only] PROGRAM.exe [ARGUMENT...]"
case $1 in
*.exe) [ -f "$1" ] || fail "$1 is not built (make windows builds the program, make test the rest)" ;;
esac

[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX must name the prefix to use (never the user's ~/.wine)"
command -v wine >/dev/null || fail "no wine (tools/install-deps.sh installs wine and wine64)"
WINEPREFIX=$(realpath -m "$WINEPREFIX") # wine wants it absolute
export WINEPREFIX WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: a new prefix would otherwise offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# A prefix counts as made only once all of it is done; a half-made one is made anew. The lock
# lets parallel build steps and tests wait for the one that makes it.
if [ ! -f "$WINEPREFIX/.varbelo-ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/.varbelo-ready" ]; then
        rm -rf "$WINEPREFIX"
        echo "Making a wine prefix in $WINEPREFIX (once per build folder)" >&2
        log=$(mktemp)
        {
            timeout 300 wine wineboot -i &&
                timeout 60 wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f &&
                timeout 60 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' \
                    /v Arial /d 'Liberation Sans' /f &&
                timeout 60 "$wineserver" -w
        } >"$log" 2>&1 || { cat "$log" >&2; rm -f "$log"; fail "could not make the wine prefix"; }
        rm -f "$log"
        touch "$WINEPREFIX/.varbelo-ready"
    fi
    exec 9>&-
fi

[ $prefix_only = no ] || exit 0
if [ -n "${DISPLAY:-}" ]; then
    exec wine "$@"
fi

work=$(mktemp -d)
xvfb=""
wm=""
cleanup() {
    # The prefix's wineserver ends the wine processes it still runs (explorer, services).
    "$wineserver" -k 2>/dev/null || true
    if [ -n "$wm" ]; then
        kill "$wm" 2>/dev/null || true
        wait "$wm" 2>/dev/null || true
    fi
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM # so that the cleanup runs when ctest gives up on the test too

# -displayfd: a free display number, written once the server accepts clients; -noreset: the
# server survives its last client.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" \
    2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    grep -q . "$work/display" 2>/dev/null && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
    sleep 0.1
done
grep -q . "$work/display" || fail "Xvfb gave no display number within 10 s"
export DISPLAY=":$(head -n 1 "$work/display")"
# A window manager, as on a desktop: without one, wine's windows wait seconds to be activated.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done

status=0
wine "$@" || status=$?
exit "$status"
