#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Windows setup program with Debian's NSIS from a folder that holds the installed
# program (cmake --install of the Windows build): make-windows-installer.sh STAGE VERSION OUT.
# Its licence page shows the GPL and then the third-party notices.
set -euo pipefail
stage=$1 version=$2 out=$3
# Windows gives a file four version numbers; the program's one to three are padded with zeros.
if [[ ! $version =~ ^[0-9]+(\.[0-9]+){0,2}$ ]]; then
    echo "make-windows-installer: \"$version\" is no version of one to three numbers" >&2
    exit 2
fi
file_version=$version
while [[ $(tr -cd . <<<"$file_version" | wc -c) -lt 3 ]]; do
    file_version+=.0
done
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat "$stage/LICENSE.txt" - "$stage/THIRD-PARTY-NOTICES.txt" >"$work/licence.txt" <<<''
makensis -V2 -NOCD -DVERSION="$version" -DFILE_VERSION="$file_version" -DSTAGE="$(cd "$stage" && pwd)" \
    -DICON="$here/app/icons/rdn417-config.ico" -DLICENCE="$work/licence.txt" \
    -DOUTFILE="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")" \
    "$here/packaging/windows-installer.nsi"
