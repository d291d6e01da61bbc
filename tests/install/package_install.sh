#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# The Debian package as a user gets it: built with CPack, accepted by lintian, installed with
# dpkg, /usr/bin/varbelo started on a private display, then removed without a trace.
# Usage: package_install.sh BUILD_DIR
build=$1
VARBELO=/usr/bin/varbelo
source "$(dirname "${BASH_SOURCE[0]}")/../program/common.sh"
command -v lintian >/dev/null || fail "lintian is not installed (tools/install-deps.sh installs it)"

# From the build tree, where CPack's install step rebuilds what is out of date.
(cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1 \
    || fail "cpack could not build the package"
deb=$(find "$work/package" -maxdepth 1 -name 'varbelo_*.deb' | head -n 1)
[ -n "$deb" ] || fail "cpack made no varbelo_*.deb"
say "built $(basename "$deb")"

# Debian's own checker: no error and no warning but about the maintainer's address, a placeholder
# until the project has one, in the package's fields and in its changelog's signature line.
lintian --fail-on none "$deb" >"$work/lintian.log" 2>&1 || fail "lintian could not check the package"
complaints=$(grep -E '^[EW]: ' "$work/lintian.log" \
    | grep -vE '^[EW]: varbelo: bogus-mail-host(-in-debian-changelog)? ' || true)
[ -z "$complaints" ] || fail "lintian complains about the package:
$complaints"
say "lintian: no error or warning but bogus-mail-host"

if [ "$(id -u)" != 0 ]; then
    echo "SKIP: installing a package needs root"
    exit 77
fi
if dpkg-query -W -f='${db:Status-Status}' varbelo 2>/dev/null | grep -qx installed; then
    echo "SKIP: varbelo is installed on this machine; the test would replace and remove it"
    exit 77
fi

installed=0
remove_package() {
    if [ "$installed" = 1 ]; then
        dpkg -r varbelo >"$work/remove.log" 2>&1 || cat "$work/remove.log"
        installed=0
    fi
}
trap 'remove_package; stop_all' EXIT

# The dependencies come from the binary, so each library it links is named.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libx11-6 libxtst6 libxi6 libxrandr2; do
    grep -q "\b$lib\b" <<<"$depends" || fail "expected Depends to name $lib; it is: $depends"
done

dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg -i failed"
installed=1
[ -x "$VARBELO" ] || fail "expected $VARBELO after installing the package"
dpkg -L varbelo | grep -qx /usr/share/applications/org.varbelo.Varbelo.desktop \
    || fail "the package does not hold the desktop entry"
say "installed"

start_display
start_wm
start_varbelo varbelo
pid=$last
find_varbelo 15 "$pid"
window_geometry "$vb_window"
[ "$win_w"x"$win_h" = 442x386 ] || fail "expected a client area of 442x386, found ${win_w}x${win_h}"
xprop -id "$vb_window" _NET_WM_ICON | grep -q 'Icon (32 x 32)' \
    || fail "expected the window to carry its 32x32 icon"
say "the installed program shows its window"
kill -TERM "$pid"
wait_exit "$pid" 5 || fail "expected the program to end within 5 s of SIGTERM"
[ "$code" = 0 ] || fail "expected exit code 0, got $code"

remove_package
[ ! -e "$VARBELO" ] || fail "expected $VARBELO gone after removing the package"
! dpkg-query -W -f='${db:Status-Status}' varbelo 2>/dev/null | grep -qx installed \
    || fail "dpkg still lists varbelo as installed"
say "removed"
say PASS
