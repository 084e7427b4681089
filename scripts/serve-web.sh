#!/bin/bash
# Builds the web page (scripts/build-web.sh) and serves it on http://localhost:PORT (8417 unless
# given) for use on this machine: Web MIDI's System Exclusive needs a secure context, which
# localhost is and file:// is not. Ctrl+C stops it. Any static HTTPS host serves build/web/ as
# it is, too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
port=${1:-8417}
folder=$("$root/scripts/build-web.sh")
echo "Open http://localhost:$port/ in Chrome, Edge, Opera or Firefox (Ctrl+C stops)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$folder"
