#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DRDN417_TESTS=OFF -DRDN417_BENCHMARKS=OFF >/dev/null
cmake --build build/release --target rdn417-config
exec build/release/app/rdn417-config "$@"
