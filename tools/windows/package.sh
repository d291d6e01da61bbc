#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packs the standalone varbelo.exe for Windows users, with what a program that carries Qt (and
# mingw-w64's runtime) linked in must come with: the licence texts, which Qt it is and where its
# source is. Refuses an exe that would need a DLL that Windows itself does not have.
# Usage: package.sh VARBELO.exe QT_PREFIX OUT.zip     (QT_PREFIX as tools/windows/build-qt.sh made it)
set -euo pipefail
exe=$1
qt=$2
zip=$(realpath -m "$3")
root=$(cd "$(dirname "$0")/../.." && pwd)

fail() {
    echo "package.sh: $*" >&2
    exit 1
}

# One file to copy and run: every DLL it imports must be one that comes with Windows 10 and 11.
# (A Qt DLL, libstdc++-6.dll, libgcc_s_seh-1.dll or libwinpthread-1.dll would mean a link that
# was not static.)
system_dlls=(advapi32 authz comctl32 comdlg32 d3d11 d3d9 dwmapi dwrite dxgi gdi32 imm32 kernel32
    msvcrt mpr netapi32 ole32 oleaut32 setupapi shcore shell32 shlwapi user32 userenv uxtheme
    version winmm ws2_32 wtsapi32)
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || fail "found no imported DLLs in $exe: not a Windows program?"
for dll in $imports; do
    lower=${dll,,}
    [[ " ${system_dlls[*]} " == *" ${lower%.dll} "* || $lower == api-ms-win-* ]] \
        || fail "$exe needs $dll, which Windows does not have; only system DLLs may be imported"
done

[ -f "$qt/SOURCE" ] || fail "$qt/SOURCE, written by tools/windows/build-qt.sh, is missing"
source_line=$(head -n 1 "$qt/SOURCE") # "qt6-base 6.4.2+dfsg-10 (Debian source package), Qt 6.4.2"
debian_version=$(awk '{print $2}' <<<"$source_line")
qt_version=${source_line##*Qt }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/varbelo.exe"
# Text files with Windows line ends, which every Notepad shows as lines.
text() { sed 's/\r$//; s/$/\r/' "$1" >"$stage/$2"; }
text "$root/data/windows/README.txt" README.txt
text "$root/LICENSE" LICENSE.txt
text /usr/share/common-licenses/LGPL-3 LGPL-3.0.txt
text /usr/share/common-licenses/GPL-3 GPL-3.0.txt
# Debian's record of every licence in the Qt source, its third-party parts included, and the same
# for mingw-w64, whose runtime (winpthreads among it) is linked in too.
text /usr/share/doc/qt6-base-dev/copyright QT-COPYRIGHT.txt
text /usr/share/doc/mingw-w64-x86-64-dev/copyright MINGW-W64-COPYRIGHT.txt
text /dev/stdin QT-NOTICE.txt <<EOF
varbelo.exe contains Qt $qt_version (Qt Core, Qt Gui, Qt Widgets and the windows platform
plugin), linked in statically. Qt is copyright The Qt Company Ltd. and other contributors and is
used here under the GNU Lesser General Public License version 3 (LGPL-3.0.txt, which adds
permissions to the GNU General Public License version 3 in GPL-3.0.txt). QT-COPYRIGHT.txt lists
the licences of every part of Qt's source.

This Qt was built, without changes, from the Debian source package qt6-base $debian_version:
  on Debian 12:  apt-get source qt6-base=$debian_version
  on the web:    https://snapshot.debian.org/package/qt6-base/$debian_version/
Varbelo's own source is free software under the GNU General Public License version 3 or later
(LICENSE.txt): whoever gave you this zip must give you that source too if you ask. Its
tools/windows/build-qt.sh tells how this Qt was built, and with it you may rebuild varbelo.exe
against a changed Qt of your own ("make windows" on Debian 12).

The C and C++ runtime of the mingw-w64 compiler is linked in too: see MINGW-W64-COPYRIGHT.txt.
EOF

# The same bytes from every build of a commit, whoever makes it, wherever and whenever: every
# file dated by the last commit (SOURCE_DATE_EPOCH, as reproducible builds name it, when given;
# outside git the newest of the source's own files), the same modes, the entries in a fixed order.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || epoch=$(find "$root/CMakeLists.txt" "$root/src" "$root/data" "$root/tools" \
    -type f -printf '%T@\n' | sort -n | tail -n 1 | cut -d. -f1)
chmod 644 "$stage"/*
touch -d "@$epoch" "$stage"/*
rm -f "$zip"
# -X: no Unix owners, which mean nothing on Windows, nor the extra time fields. A zip holds local
# times: UTC, so that the builder's time zone does not show.
(cd "$stage" && TZ=UTC0 zip -q -X -9 "$zip" varbelo.exe README.txt LICENSE.txt LGPL-3.0.txt \
    GPL-3.0.txt QT-NOTICE.txt QT-COPYRIGHT.txt MINGW-W64-COPYRIGHT.txt)
echo "$zip: $(stat -c %s "$zip") bytes; varbelo.exe $(stat -c %s "$exe") bytes"
