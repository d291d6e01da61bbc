#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds varbelo.exe and its zip a second time, as make windows does but from a copy of the
# source in another folder, into another build folder, minutes later, and compares the bytes
# with make windows's: a build must depend on nothing but the source, the compilers and Qt.
# The exe must hold no path of this machine either (its folders, the home, Qt's cache), which
# two builds on one machine would share. Qt comes from make windows's cache; the build-time
# icon tool runs in its wine prefix.
# Usage: rebuild.sh SOURCE WINDOWS_BUILD
set -euo pipefail
src=$(realpath "$1")
first=$(realpath "$2")

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$first/CMakeCache.txt" 2>/dev/null || true)
[ -f "$toolchain" ] || fail "$first is not a build that make windows configured"
zip=$(find "$first" -maxdepth 1 -name 'varbelo-*-windows-x64.zip' | head -n 1)
[ -f "$first/varbelo.exe" ] && [ -n "$zip" ] || fail "make windows has not built $first/varbelo.exe and the zip"

work=$(mktemp -d /tmp/varbelo-rebuild.XXXXXX)
trap 'rm -rf "$work"' EXIT
copy=$work/another/source second=$work/build-again
mkdir -p "$copy"
# The files of the checkout as they are, changes included, but no build folder.
(cd "$src" && git ls-files -z --cached --others --exclude-standard | tar -c --null -T - -f -) \
    | tar -x -C "$copy"
# A copy without git's history dates the zip's files as a source tarball would: by the commit.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct)

start=$SECONDS
cmake -S "$copy" -B "$second" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$copy/tools/windows/mingw-w64.cmake" \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=cmake;-E;env;WINEPREFIX=$first/wineprefix;bash;$copy/tools/windows/wine.sh" \
    >"$work/configure.log" 2>&1 || { tail -n 30 "$work/configure.log" >&2; fail "configuring the second build failed"; }
cmake --build "$second" -j "$(nproc)" --target varbelo windows_zip >"$work/build.log" 2>&1 \
    || { tail -n 30 "$work/build.log" >&2; fail "the second build failed"; }
echo "second build from another folder: $((SECONDS - start)) s"

status=0
for file in varbelo.exe "$(basename "$zip")"; do
    if cmp -s "$first/$file" "$second/$file"; then
        echo "same bytes: $file ($(sha256sum <"$first/$file" | cut -c1-16)...)"
    else
        echo "FAIL: $file differs between the two builds; differing bytes (offset, octal values):" >&2
        cmp -l "$first/$file" "$second/$file" | head -n 20 >&2 || true
        status=1
    fi
done

qt_cache=$(dirname "$(dirname "$(dirname "$(dirname "$(dirname "$toolchain")")")")") # Qt and its build
for path in "$src" "$first" "$copy" "$second" "$qt_cache" "$HOME"; do
    [ ${#path} -gt 5 ] || continue # a home as short as "/root" could be any five bytes
    if grep -qaF "$path" "$first/varbelo.exe"; then
        echo "FAIL: varbelo.exe holds the path $path:" >&2
        strings -a "$first/varbelo.exe" | grep -F "$path" | head -n 5 >&2
        status=1
    fi
done
[ $status = 0 ] && echo "PASS"
exit $status
