#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a virtual X display of its own (Xvfb, 1024x768x24) and takes the display
# down afterwards. Xvfb picks a free display number itself and says which (-displayfd), so two
# test runs started at once never share a display, as they can with xvfb-run's guess. The
# server never resets: by default Xvfb resets when its last client leaves, and a client that
# connects meanwhile is refused (a screen-reader library that reads a root-window property and
# disconnects, while the program starts, is enough).
# Usage: scripts/with-display.sh COMMAND [ARG...]
set -euo pipefail
folder=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$folder/display" 2>"$folder/log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$folder"' EXIT
for ((i = 0; i < 300; ++i)); do
    [[ $(wc -l <"$folder/display") -ge 1 ]] && break
    if ! kill -0 "$server" 2>/dev/null; then
        echo "with-display: Xvfb did not start: $(cat "$folder/log")" >&2
        exit 1
    fi
    sleep 0.1
done
if [[ $(wc -l <"$folder/display") -lt 1 ]]; then
    echo "with-display: Xvfb named no display within 30 s: $(cat "$folder/log")" >&2
    exit 1
fi
DISPLAY=:$(head -n 1 "$folder/display") "$@"
