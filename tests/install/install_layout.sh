#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
set -euo pipefail
# `cmake --install` into a scratch prefix: every file a desktop looks for, and each accepted by
# the validator its format has.
# Usage: install_layout.sh BUILD_DIR
build=$1
id=org.varbelo.Varbelo

for tool in desktop-file-validate appstreamcli groff file readelf; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (tools/install-deps.sh installs it)"; exit 1; }
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; fail "cmake --install failed"; }
rm -f "$prefix.log"

expected=(
    bin/varbelo
    share/applications/$id.desktop
    share/metainfo/$id.metainfo.xml
    share/man/man1/varbelo.1.gz
    share/doc/varbelo/copyright
    share/doc/varbelo/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
    [ -f "$prefix/$file" ] || fail "expected $file to be installed; it is not"
done
[ -x "$prefix/bin/varbelo" ] || fail "bin/varbelo is not executable"
# Nothing else: test helpers and the icon renderer stay in the build tree.
extra=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort | comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[ -z "$extra" ] || fail "unexpected installed files: $extra"
echo "installed: ${#expected[@]} files"

# The system's Qt is found without a search path baked into the program.
runpath=$(readelf -d "$prefix/bin/varbelo" | grep -E 'RPATH|RUNPATH' || true)
[ -z "$runpath" ] || fail "expected no RPATH/RUNPATH in the installed program, found: $runpath"

desktop="$prefix/share/applications/$id.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $id.desktop"
# KWin lends its fake input only to the absolute path the entry names.
grep -qx "Exec=$prefix/bin/varbelo" "$desktop" || fail "expected Exec=$prefix/bin/varbelo in the desktop entry"
grep -qx "Icon=$id" "$desktop" || fail "expected Icon=$id in the desktop entry"
echo "desktop entry: valid"

metainfo="$prefix/share/metainfo/$id.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "expected the metainfo to launch $id.desktop"
version=$(sed -n 's/^project(Varbelo VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
grep -q "<release version=\"$version\"" "$metainfo" \
    || fail "expected a release $version in the metainfo, the project's version"
echo "metainfo: valid, release $version"

man="$prefix/share/man/man1/varbelo.1.gz"
warnings=$(zcat "$man" | groff -man -ww -z -Tutf8 2>&1)
[ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
MANWIDTH=80 man -l "$man" 2>/dev/null | grep -q '^NAME' || fail "the man page has no NAME section"
echo "man page: renders without warnings"

for size in 16 24 32 48 64 128 256; do
    kind=$(file -b "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png")
    [[ $kind == "PNG image data, $size x $size, 8-bit/color RGBA"* ]] \
        || fail "expected a ${size}x${size} RGBA PNG icon, found: $kind"
done
echo "icons: 7 sizes"

# The README and the manual in docs/: every relative link and picture names a file that is there.
root=$(cd "$(dirname "$0")/../.." && pwd)
broken=()
for page in "$root/README.md" "$root"/docs/*.md; do
    # Outside code blocks, the target of [text](target), ![text](target) and [label]: target,
    # without its #anchor; a URL or an anchor in the page itself is not a file.
    while IFS= read -r target; do
        target=${target%%#*}
        case $target in '' | *:*) continue ;; esac
        [ -e "$(dirname "$page")/$target" ] || broken+=("${page#"$root"/} -> $target")
    done < <(awk '/^ *```/ { code = !code; next } !code' "$page" \
        | grep -oE '\]\([^)[:space:]]+|^ *\[[^]]+\]: *[^[:space:]]+' \
        | sed -E 's/^\]\(//; s/^ *\[[^]]+\]: *//')
done
[ ${#broken[@]} = 0 ] || fail "links that name no file: $(printf '\n  %s' "${broken[@]}")"
echo "documentation: every relative link names a file"
echo PASS
