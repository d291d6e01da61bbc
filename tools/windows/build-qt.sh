#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt for Windows (x86_64, mingw-w64, static) from Debian's own qt6-base source, once per
# machine: Debian ships no Qt for Windows, and nothing may be fetched but Debian packages.
# The result goes into a cache outside the source tree, keyed by the Qt version, the configure
# options and the toolchain file, so it is rebuilt only when one of them changes. Prints the prefix it built or found as its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

version=$(dpkg-query -W -f='${Version}' qt6-base-dev) # the host tools must match: 6.4.2+dfsg-10
upstream=${version%%+*}

# Only what the program and its tests need: Core, Gui, Widgets, Test, the windows platform plugin
# and the Fusion style. The dfsg source lacks src/3rdparty/wintab (so no tablet events), and
# mingw's headers lack what the DirectWrite 3 font database needs.
options=(
    -xplatform win32-g++ -qt-host-path /usr
    -static -static-runtime -release -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -no-freetype -no-fontconfig -no-feature-vulkan
    -qt-zlib -qt-pcre -qt-libpng -no-libjpeg -qt-harfbuzz -qt-doubleconversion
    -no-feature-sql -no-feature-network -no-feature-xml -no-feature-printsupport
    -no-feature-concurrent -no-feature-tabletevent -no-feature-directwrite3
    # Nothing of ours draws through these, and each is steps of the build (ninja's count,
    # configured alone against the 992 of the options above): the Direct2D platform plugin, the
    # Vista style and the image-format plugins (-95), the bundled HarfBuzz, whose shaping our
    # Latin captions do not need (-58; it overrides -qt-harfbuzz above), widgets no window of
    # ours has (-68), and text formats, models and Gui extras (-24). Together: 763 steps. QMainWindow
    # stays: Qt's own compatibility file includes QToolBar, which needs it.
    -no-feature-direct2d -no-feature-style-windowsvista -no-feature-imageformatplugin
    -no-feature-gif -no-feature-ico
    -no-harfbuzz
    -no-feature-mdiarea -no-feature-calendarwidget -no-feature-datetimeedit -no-feature-dial
    -no-feature-lcdnumber -no-feature-undoview -no-feature-graphicsview -no-feature-graphicseffect
    -no-feature-columnview -no-feature-treewidget -no-feature-listwidget -no-feature-tablewidget
    -no-feature-tableview -no-feature-fontdialog -no-feature-colordialog -no-feature-filedialog
    -no-feature-wizard -no-feature-splashscreen -no-feature-syntaxhighlighter
    -no-feature-textbrowser -no-feature-keysequenceedit -no-feature-fontcombobox
    -no-feature-toolbox -no-feature-dockwidget -no-feature-statusbar
    -no-feature-commandlinkbutton -no-feature-datawidgetmapper -no-feature-inputdialog
    -no-feature-progressdialog -no-feature-errormessage -no-feature-fscompleter
    -no-feature-scroller -no-feature-splitter -no-feature-style-stylesheet
    -no-feature-textodfwriter -no-feature-textmarkdownreader -no-feature-textmarkdownwriter
    -no-feature-pdf -no-feature-movie -no-feature-systemtrayicon -no-feature-sessionmanager
    -no-feature-undocommand -no-feature-undostack -no-feature-undogroup
    -no-feature-filesystemmodel -no-feature-standarditemmodel -no-feature-imageformat_ppm
    -no-feature-imageformat_xbm -no-feature-picture -no-feature-desktopservices
    # Qt's prefix found at run time (the program's folder) instead of this cache's path, which a
    # static Qt would build into every exe: the exe's bytes would depend on the builder's home.
    -feature-relocatable
)
key=$( (echo "$version ${options[*]}"; cat "$here/mingw-w64.cmake") | sha256sum | cut -c1-12)
cache=${VARBELO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/varbelo}
prefix=$cache/qt-$upstream-mingw-static-$key
# One build at a time: a second caller waits for the first and then finds its result.
mkdir -p "$cache"
exec 9>"$cache/.lock-$key"
if ! flock -n 9; then
    echo "Waiting for another build of Qt for Windows to finish ..." >&2
    flock 9
fi
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work=$cache/qt-build-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"
log=$work/build.log
echo "Building Qt $upstream for Windows from Debian's source into $prefix (once per machine;" \
     "7 to 25 minutes on two cores; log: $log)" >&2
start=$SECONDS

# apt-get source applies Debian's patches as well; it needs the deb-src entry that
# tools/install-deps.sh makes sure of.
(cd "$work" && apt-get source -qq "qt6-base=$version") >"$log" 2>&1 \
    || { echo "apt-get source qt6-base failed; see $log" >&2; exit 1; }
src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)

build=$work/build
mkdir -p "$build"
(cd "$build" && "$src/configure" -prefix "$prefix" "${options[@]}" -- -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) >>"$log" 2>&1 \
    || { echo "Configuring Qt failed; see $log" >&2; exit 1; }

# A line of progress a minute, from ninja's own count of steps.
export NINJA_STATUS='[%f/%t] '
cmake --build "$build" --parallel "$(nproc)" >>"$log" 2>&1 &
builder=$!
while kill -0 "$builder" 2>/dev/null; do
    sleep 60 & wait $! || true
    step=$(grep -o '^\[[0-9]*/[0-9]*\]' "$log" | tail -n 1 || true)
    [ -n "$step" ] && echo "Qt for Windows: step ${step//[\[\]]/} after $(((SECONDS - start) / 60)) min" >&2
done
wait "$builder" || { echo "Building Qt failed; see the end of $log" >&2; exit 1; }
cmake --install "$build" >>"$log" 2>&1 || { echo "Installing Qt failed; see $log" >&2; exit 1; }

# What the licence notice in the program's zip names.
echo "qt6-base $version (Debian source package), Qt $upstream" >"$prefix/SOURCE"
touch "$prefix/.complete"
rm -rf "$work"
echo "Qt for Windows built in $(((SECONDS - start) / 60)) min" >&2
echo "$prefix"
