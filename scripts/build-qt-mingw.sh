#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the static Qt 6.4.2 (Core, Gui, Widgets, Test) for MinGW-w64 that the Windows build of
# the window and the controls needs, in a cache folder outside the clone, keyed by the version
# and by what is in scripts/qt-mingw/ (patches, configure options, toolchain). Prints the
# prefix to give the build (CMAKE_TOOLCHAIN_FILE=<prefix>/lib/cmake/Qt6/qt.toolchain.cmake).
# Quick when the cache is there; seeded from ../shared/windows-qt/ when that holds the same
# build; otherwise built from Debian's qt6-base source package (about an hour on two cores).
set -euo pipefail
cd "$(dirname "$0")/.."

version=6.4.2
recipe=scripts/qt-mingw
key=$(cat "$recipe"/* | sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/rdn417-config
prefix=$cache/qt6-mingw-$version-$key
say() { echo "build-qt-mingw: $*" >&2; }

if [[ -f $prefix/lib/cmake/Qt6/qt.toolchain.cmake ]]; then
    echo "$prefix"
    exit 0
fi
mkdir -p "$cache"

# One run at a time makes the cache; another one waits for it (at most three hours, longer than
# any build here takes) and then finds it made.
exec 9>"$cache/.lock"
if ! flock -n 9; then
    say "another run is making Qt in $cache; waiting for it (at most 3 hours)"
    flock -w 10800 9 || { say "the other run did not finish within 3 hours"; exit 1; }
fi
if [[ -f $prefix/lib/cmake/Qt6/qt.toolchain.cmake ]]; then
    echo "$prefix"
    exit 0
fi

# A copy made by this same recipe, where one is at hand.
seed=../shared/windows-qt/qt6-mingw-$version-static.tar.xz
seed_sha256=cfccd71f7578fab1b4fa742a3545f20b4df0fba760ed6059f63273fceb981cc0
seed_recipe=961f449c98c1
if [[ -f $seed && $key == "$seed_recipe" ]]; then
    if [[ $(sha256sum "$seed" | cut -d' ' -f1) == "$seed_sha256" ]]; then
        say "unpacking the prebuilt Qt from $seed"
        unpack=$(mktemp -d "$cache/unpack.XXXXXX")
        tar -xJf "$seed" -C "$unpack"
        mv "$unpack/qt6-mingw" "$prefix"
        rmdir "$unpack"
        echo "$prefix"
        exit 0
    fi
    say "$seed does not have the expected sha256; building from source"
fi

say "Qt $version for Windows is not in $cache yet: it is built once, from Debian's source"
say "package, with MinGW-w64 (static; Core, Gui, Widgets, Test). That takes about an hour on two"
say "cores; every later run takes it from $prefix in a moment."

# Debian's source package, fetched with a private apt configuration whose one deb-src entry
# is the mirror and suite of the system's own first binary entry.
work=$cache/qt6-mingw-$version-$key-build
mkdir -p "$work/apt/lists/partial" "$work/apt/archives/partial"
if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
    suite=$(awk '/^Suites:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
else
    read -r uri suite < <(awk '$1 == "deb" && $2 !~ /^\[/ {print $2, $3; exit}' /etc/apt/sources.list)
fi
echo "deb-src $uri $suite main" >"$work/apt/sources.list"
apt=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::Archives=$work/apt/archives")
source_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
say "fetching qt6-base $source_version (deb-src $uri $suite)"
apt-get "${apt[@]}" -o DPkg::Lock::Timeout=600 -qq update
(cd "$work" && apt-get "${apt[@]}" -qq source --download-only "qt6-base=$source_version")
rm -rf "$work/qtbase"
dpkg-source -x --no-check "$work"/qt6-base_*.dsc "$work/qtbase" >/dev/null
for patch in "$recipe"/*.diff; do
    say "patch $(head -n 1 "$patch")"
    patch -d "$work/qtbase" -p1 --quiet <"$patch"
done

rm -rf "$work/build"
mkdir -p "$work/build"
mapfile -t options < <(tr ' ' '\n' <"$recipe/configure-options" | grep -v '^$')
# Named before the cd below: in the subshell $PWD would be the build folder.
toolchain=$PWD/$recipe/mingw-qt.cmake
say "configuring"
(cd "$work/build" && "$work/qtbase/configure" -prefix "$prefix" -qt-host-path /usr "${options[@]}" \
    -- -G Ninja "-DCMAKE_TOOLCHAIN_FILE=$toolchain" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) >"$work/configure.log" 2>&1 ||
    { tail -n 30 "$work/configure.log" >&2; exit 1; }
say "building (about an hour on two cores; the log is $work/build.log)"
# Four hours at most: a build that is still going then is stuck.
timeout 14400 ninja -C "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1 &
builder=$!
while kill -0 "$builder" 2>/dev/null; do
    sleep 60
    say "still building: $(grep -o '^\[[0-9]*/[0-9]*\]' "$work/build.log" | tail -n 1)"
done
wait "$builder" || { tail -n 30 "$work/build.log" >&2; exit 1; }
ninja -C "$work/build" install >"$work/install.log" 2>&1 || { tail -n 30 "$work/install.log" >&2; exit 1; }
rm -rf "$work"
echo "$prefix"
