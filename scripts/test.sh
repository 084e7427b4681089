#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything with warnings as errors
# and runs every test; then runs the non-GUI tests again under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, cross-builds the Windows program with
# its tests (Qt for MinGW from scripts/build-qt-mingw.sh) and runs them and the program under
# Wine, and fuzzes the registry hive parser for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --test

echo "== clang-format"
find app controls midi platform tests bench fuzz -name '*.cpp' -o -name '*.h' 2>/dev/null |
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

echo "== build and test"
# The Designer plugin is asked for: the dependencies above bring what it needs.
configure build/test -DRDN417_DESIGNER_PLUGIN=ON
QT_QPA_PLATFORM=offscreen ctest --test-dir build/test --output-on-failure --timeout 300

echo "== the program alone, as on a machine without JACK's or Qt Test's development files"
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

echo "== install, validators, .deb"
xvfb-run -a -s "-screen 0 1024x768x24" tests/install/installed_test.sh build/test

echo "== benchmarks build and start (numbers from this run mean nothing)"
for bench in build/test/bench/*_bench; do
    QT_QPA_PLATFORM=offscreen "$bench" --benchmark_min_time=0.001 >/dev/null
done

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure build/asan -DRDN417_SANITIZE=address -DRDN417_GUI=OFF -DRDN417_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure --timeout 300

echo "== UndefinedBehaviorSanitizer: the controls' arithmetic"
# Qt is not built with the sanitizers; UBSan alone needs nothing of it.
configure build/ubsan -DRDN417_SANITIZE=undefined -DRDN417_BENCHMARKS=OFF --target controls_tests
QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=print_stacktrace=1 build/ubsan/tests/controls/controls_tests

echo "== ThreadSanitizer"
configure build/tsan -DRDN417_SANITIZE=thread -DRDN417_GUI=OFF -DRDN417_BENCHMARKS=OFF
# Address-space randomisation off: some kernels map memory where TSan cannot shadow it.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
    norandom=(setarch "$(uname -m)" -R)
fi
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    "${norandom[@]}" ctest --test-dir build/tsan --output-on-failure --timeout 300

echo "== Windows (MinGW-w64, static, with a static Qt) under Wine"
qt=$(scripts/build-qt-mingw.sh)
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
if [[ ! -d $WINEPREFIX ]]; then
    wineboot -i >/dev/null 2>&1
fi
configure build/windows -DRDN417_GUI=ON -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-posix.cmake"
# Every program's exit code counts: a missing DLL makes Wine fail without a word. The controls'
# tests and the program need a display: Qt has no offscreen platform on Windows.
display=(xvfb-run -a -s "-screen 0 1024x768x24")
if ! "${display[@]}" ctest --test-dir build/windows --timeout 300 -V >build/windows/ctest.log 2>&1; then
    cat build/windows/ctest.log
    exit 1
fi
grep -E '(tests? from .* ran|PASSED|tests passed)' build/windows/ctest.log
"${display[@]}" tests/windows/program_test.sh build/windows/app/rdn417-config.exe
cmake --build build/windows --target package >/dev/null
ls build/windows/rdn417-config-*-windows-x64.zip

echo "== libFuzzer: registry hive parser, 60 s"
configure build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DRDN417_FUZZ=ON -DRDN417_GUI=OFF \
    -DRDN417_TESTS=OFF -DRDN417_BENCHMARKS=OFF
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp fuzz/corpus/hive/* "$corpus"/
build/fuzz/fuzz/hive_fuzz -max_total_time=60 -print_final_stats=1 "$corpus" 2>&1 | tail -n 3
