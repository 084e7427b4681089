#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Formats every C++ source of the project in place with the repository's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
find app controls converter midi platform session tests bench fuzz web -name node_modules -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -print 2>/dev/null |
    xargs -r clang-format -i
