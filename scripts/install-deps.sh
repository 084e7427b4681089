#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building the program needs, with --test also what testing
# needs, and with --web only what the web page needs; quick when all are there.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config git
    qt6-base-dev qt6-tools-dev libqt6opengl6-dev
    librtmidi-dev libjack-jackd2-dev
    fonts-liberation2
)
# --web: only what building and serving the web page needs.
if [[ ${1:-} == --web ]]; then
    packages=(emscripten node-acorn python3)
fi
if [[ ${1:-} == --test ]]; then
    packages+=(
        libgtest-dev libgmock-dev googletest libbenchmark-dev
        jackd2 coreutils stress-ng
        clang-format clang libclang-rt-14-dev
        g++-mingw-w64-x86-64-posix wine64 wine
        xvfb xauth xdotool x11-utils imagemagick dpkg-dev patch xz-utils procps
        desktop-file-utils appstream lintian nsis shared-mime-info
        at-spi2-core dbus python3-pyatspi gir1.2-atspi-2.0 python3-mido
        emscripten node-acorn chromium
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    # Another install on the machine (a second test run, say) holds dpkg's lock for a while.
    lock=(-o DPkg::Lock::Timeout=900)
    "${sudo[@]}" apt-get "${lock[@]}" update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

if [[ ${1:-} == --test ]]; then
    # npm comes with Node.js from some sources and as a package of its own from Debian.
    if ! command -v npm >/dev/null; then
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 \
            install -y -qq --no-install-recommends npm
    fi
    # The web tests' own packages (Playwright's driver, without a browser, and axe-core), at
    # the versions of the lock file.
    (cd "$(dirname "$0")/../tests/web" && npm ci --no-audit --no-fund --loglevel=error)
fi
