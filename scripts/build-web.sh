#!/bin/bash
# Builds the web page into build/web/ (or the folder given): the converter's core compiled to
# WebAssembly with Debian's emscripten, beside the page's HTML, script, styles, service worker,
# manifest and icons. Any static host serves the folder as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/web}
objects=${2:-$root/build/web-objects}
mkdir -p "$out" "$objects"
command -v em++ >/dev/null || "$root/scripts/install-deps.sh" --web >&2
# Debian's emscripten runs its JavaScript tools with Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
flags=(-std=c++20 -Oz -Wall -Wextra -Werror -I"$root")
sources=("$root"/converter/*.cpp "$root"/web/core.cpp)
objectFiles=()
for source in "${sources[@]}"; do
    object="$objects/$(basename "$(dirname "$source")")-$(basename "$source" .cpp).o"
    if [[ ! -f $object || $source -nt $object || -n $(find "$root/converter" -name '*.h' -newer "$object") ]]; then
        em++ "${flags[@]}" -c "$source" -o "$object"
    fi
    objectFiles+=("$object")
done
em++ "${objectFiles[@]}" -Oz -lembind -sMODULARIZE -sEXPORT_NAME=createCore \
    -sENVIRONMENT=web,worker,node -sALLOW_MEMORY_GROWTH -sFILESYSTEM=0 \
    -o "$out/core.js"
cp "$root"/web/index.html "$root"/web/page.js "$root"/web/page.css "$root"/web/service-worker.js \
    "$root"/web/manifest.webmanifest "$out/"
mkdir -p "$out/icons"
cp "$root/app/icons/rdn417-config-256.png" "$root/app/icons/rdn417-config.svg" "$out/icons/"
echo "$out"
