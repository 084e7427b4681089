#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Hunts flaky tests: runs the built suite RUNS times (default 20) with ctest -j2 while
# stress-ng loads the CPU and the disk beside it, and lists every test that failed, with the
# run it failed in. Each failed run's log is kept in BUILD/stress-logs/.
# Usage: scripts/stress-tests.sh [RUNS] [BUILD]   (BUILD: a tree that scripts/test.sh built)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
build=${2:-build/test}
logs=$build/stress-logs
[[ -f $build/CTestTestfile.cmake ]] || { echo "stress-tests: $build is not a built tree" >&2; exit 2; }
command -v stress-ng >/dev/null || { echo "stress-tests: stress-ng is not installed" >&2; exit 2; }
rm -rf "$logs"
mkdir -p "$logs"

# One CPU hog and one disk writer for as long as the runs take (at most 4 hours).
stress-ng --cpu 1 --hdd 1 --hdd-bytes 64M --temp-path "$logs" --timeout 4h --quiet &
load=$!
trap 'kill "$load" 2>/dev/null; wait "$load" 2>/dev/null || true' EXIT

failed_runs=0
for ((run = 1; run <= runs; ++run)); do
    log=$logs/run-$run.log
    start=$SECONDS
    if QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j2 --timeout 300 \
        --output-on-failure >"$log" 2>&1; then
        echo "run $run: passed in $((SECONDS - start)) s"
        rm -f "$log"
    else
        failed_runs=$((failed_runs + 1))
        echo "run $run: FAILED in $((SECONDS - start)) s:"
        grep -E '^\s+[0-9]+ - .* \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)' "$log" |
            sed 's/^/    /' || true
    fi
done
echo "stress-tests: $((runs - failed_runs)) passed, $failed_runs failed"
((failed_runs == 0))
