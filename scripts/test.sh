#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, checks the formatting, builds everything with warnings as errors
# and runs every test; then runs the non-GUI tests again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, cross-builds the Windows program with
# its tests (Qt for MinGW from scripts/build-qt-mingw.sh) and runs them, the program and its
# setup program under Wine, builds the web page and tests it in Chromium, and fuzzes the
# registry hive parser and the .syx setup reader. Ends with how long each stage took.
#
# A run keeps to itself: temporary files, settings folders and the runtime folder are under
# build/tmp, the Wine prefix is build/wine-prefix, each display is a new Xvfb, and every JACK
# server a test starts has a name no other program uses at the time, so two runs (two clones)
# on one machine, or a user's own JACK server, never meet. Every step has a time limit.
set -euo pipefail
cd "$(dirname "$0")/.."

# Stage names and times, for the summary at the end (also when a stage fails).
stages=()
current=
started=$SECONDS
stage() {
    endStage passed
    current=$1
    started=$SECONDS
    echo "== $1"
}
endStage() {
    [[ -n $current ]] && stages+=("$(printf '%-72s %5d s  %s' "$current" $((SECONDS - started)) "$1")")
    current=
}
summary() {
    local code=${1:-$?}
    endStage "$( ((code == 0)) && echo passed || echo FAILED)"
    echo "== summary"
    printf '%s\n' "${stages[@]}"
    printf '%-72s %5d s  %s\n' "all" "$SECONDS" "$( ((code == 0)) && echo passed || echo FAILED)"
}
trap summary EXIT

# Runs a program with a time limit; past it the program is ended and the stage fails, saying
# what it was.
limit() {
    local seconds=$1
    shift
    local code=0
    timeout -k 10 "$seconds" "$@" || code=$?
    if ((code == 124 || code == 137)); then
        echo "test: $* did not finish within $seconds s and was ended" >&2
    fi
    return "$code"
}

stage "install what is missing"
scripts/install-deps.sh --test

export TMPDIR=$PWD/build/tmp XDG_RUNTIME_DIR=$PWD/build/tmp/runtime
rm -rf "$TMPDIR"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
display=(scripts/with-display.sh)

stage "clang-format"
find app controls converter midi platform session tests bench fuzz web -name node_modules -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -print 2>/dev/null |
    xargs -r clang-format --dry-run --Werror

# Configures and builds a tree; options after --target name what to build (default: all).
configure() {
    local dir=$1
    shift
    local options=() targets=()
    while (($# > 0)); do
        if [[ $1 == --target ]]; then
            targets=(--target "$2")
            shift 2
        else
            options+=("$1")
            shift
        fi
    done
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRDN417_WERROR=ON \
        "${options[@]}" >/dev/null
    cmake --build "$dir" "${targets[@]}"
}

stage "build and test"
# The Designer plugin is asked for: the dependencies above bring what it needs.
configure build/test -DRDN417_DESIGNER_PLUGIN=ON
QT_QPA_PLATFORM=offscreen ctest --test-dir build/test --output-on-failure --timeout 300

stage "web page: the core in WebAssembly, the page in Debian's Chromium"
limit 600 scripts/build-web.sh build/web build/web-objects >/dev/null
# The WebAssembly core against the native one (the table program and the desktop program come
# from the build above), then the page over the Web MIDI test double.
RDN417_WEB=$PWD/build/web RDN417_CORE_TABLE=$PWD/build/test/tests/web/web_core_table \
    RDN417_PROGRAM=$PWD/build/test/app/rdn417-config \
    limit 600 node --test tests/web/core_test.mjs tests/web/page_test.mjs
# The page's benchmark starts and ends (its numbers from this run mean nothing).
limit 300 node bench/web_page_bench.mjs 1 >"$TMPDIR/web_page_bench.log" 2>&1 ||
    { cat "$TMPDIR/web_page_bench.log"; exit 1; }

stage "the program alone, as on a machine without JACK's or Qt Test's development files"
# pkg-config sees an RtMidi built without JACK and no JACK; Qt Test cannot be found.
pc=$PWD/build/pkgconfig-without-jack
mkdir -p "$pc"
sed 's/^Requires.private:.*/Requires.private: alsa/' \
    "$(pkg-config --variable=pcfiledir rtmidi)/rtmidi.pc" >"$pc/rtmidi.pc"
cp "$(pkg-config --variable=pcfiledir alsa)/alsa.pc" "$pc/"
PKG_CONFIG_LIBDIR=$pc configure build/program-only -DRDN417_TESTS=OFF -DRDN417_BENCHMARKS=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON
if grep -qE '^(JACK_FOUND:INTERNAL=1|Qt6Test_DIR:PATH=/)' build/program-only/CMakeCache.txt; then
    echo "the program-only build found JACK or Qt Test" >&2
    exit 1
fi

stage "install, validators, .deb"
limit 600 "${display[@]}" tests/install/installed_test.sh build/test

stage "benchmarks build and start (numbers from this run mean nothing)"
# A benchmark that ends with an error (a peer that never answered, say) fails the stage.
for bench in build/test/bench/*_bench; do
    log=$TMPDIR/$(basename "$bench").log
    QT_QPA_PLATFORM=offscreen limit 600 "$bench" --benchmark_min_time=0.001 >"$log" 2>&1 ||
        { cat "$log"; exit 1; }
    if grep -q "ERROR OCCURRED" "$log"; then
        grep "ERROR OCCURRED" "$log" | sed "s|^|$(basename "$bench"): |" >&2
        exit 1
    fi
done

stage "AddressSanitizer + UndefinedBehaviorSanitizer"
configure build/asan -DRDN417_SANITIZE=address -DRDN417_GUI=OFF -DRDN417_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure --timeout 300

stage "UndefinedBehaviorSanitizer: the controls' arithmetic"
# Qt is not built with the sanitizers; UBSan alone needs nothing of it.
configure build/ubsan -DRDN417_SANITIZE=undefined -DRDN417_BENCHMARKS=OFF --target controls_tests
QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=print_stacktrace=1 limit 300 build/ubsan/tests/controls/controls_tests

stage "ThreadSanitizer"
configure build/tsan -DRDN417_SANITIZE=thread -DRDN417_GUI=OFF -DRDN417_BENCHMARKS=OFF
# Address-space randomisation off: some kernels map memory where TSan cannot shadow it.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
    norandom=(setarch "$(uname -m)" -R)
fi
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    "${norandom[@]}" ctest --test-dir build/tsan --output-on-failure --timeout 300

stage "Qt for MinGW-w64 (from its cache when it is there)"
qt=$(scripts/build-qt-mingw.sh)

stage "Windows (MinGW-w64, static, with a static Qt) under Wine"
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
if [[ ! -d $WINEPREFIX ]]; then
    limit 300 wineboot -i >/dev/null 2>&1
fi
# The prefix's wineserver goes with the stage, whatever the programs left running.
trap 'code=$?; timeout 30 wineserver -k 2>/dev/null || true; summary "$code"' EXIT
configure build/windows -DRDN417_GUI=ON -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-posix.cmake"
# Every program's exit code counts: a missing DLL makes Wine fail without a word. The controls'
# tests and the program need a display: Qt has no offscreen platform on Windows.
if ! "${display[@]}" ctest --test-dir build/windows --timeout 300 -V >build/windows/ctest.log 2>&1; then
    cat build/windows/ctest.log
    exit 1
fi
grep -E '(tests? from .* ran|PASSED|tests passed)' build/windows/ctest.log
limit 900 "${display[@]}" tests/windows/program_test.sh build/windows/app/rdn417-config.exe
limit 600 tests/windows/command_line_test.sh build/windows/app/rdn417-config.exe
cmake --build build/windows --target package installer >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
zip=build/windows/rdn417-config-$version-windows-x64.zip
[[ $(cmake -E tar tf "$zip" | sort | tr '\n' ' ') == \
    "LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt rdn417-config.com rdn417-config.exe " ]] ||
    { echo "the ZIP holds: $(cmake -E tar tf "$zip")" >&2; exit 1; }
# The installer over an older version of itself: the same files, an earlier version number of
# three parts; a version of one part makes a setup program too.
scripts/make-windows-installer.sh build/windows/installer-stage 2.7.1 "$TMPDIR/older-setup.exe"
scripts/make-windows-installer.sh build/windows/installer-stage 3 "$TMPDIR/one-part-setup.exe"
limit 900 "${display[@]}" tests/windows/installer_test.sh \
    "build/windows/rdn417-config-$version-windows-x64-setup.exe" "$TMPDIR/older-setup.exe"
ls "$zip" "build/windows/rdn417-config-$version-windows-x64-setup.exe"

stage "libFuzzer: the settings file parser 60 s, the .syx setup reader 30 s"
configure build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DRDN417_FUZZ=ON -DRDN417_GUI=OFF \
    -DRDN417_TESTS=OFF -DRDN417_BENCHMARKS=OFF
for target in hive:60 syx:30; do
    corpus=$(mktemp -d)
    cp "fuzz/corpus/${target%:*}"/* "$corpus"/
    fuzzer=build/fuzz/fuzz/$([[ ${target%:*} == hive ]] && echo hive_fuzz || echo setup_file_fuzz)
    limit 300 "$fuzzer" -max_total_time="${target#*:}" -print_final_stats=1 "$corpus" 2>&1 |
        tail -n 3
done
