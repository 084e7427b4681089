#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program's command line under Wine, with no display: it prints into the console
# it was started from, returns its exit codes, stores what it sets in the registry, and writes
# and reads .syx files.
set -Eeuo pipefail
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "command_line_test: $*" >&2
    exit 1
}
# Runs the program with the arguments; its exit code, output and errors in $code, $out, $err.
run() {
    code=0
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 wine "$exe" "$@" >"$work/out" 2>"$work/err" ||
        code=$?
    out=$(tr -d '\r' <"$work/out")
    err=$(tr -d '\r' <"$work/err" | grep -v '^ALSA lib' || true)
}

run --version
[[ $code == 0 && $out == "rdn417-config "* ]] || fail "--version: $code \"$out\" \"$err\""
run --help
[[ $code == 0 && $out == *"Exit codes: 0 success,"* ]] || fail "--help: $code"
run --set channel=17
[[ $code == 2 && $err == *"channel must be a number from 1 to 16"* ]] ||
    fail "a bad channel: $code \"$err\""
run --set channel=5 --set noteref=C3 --show
[[ $code == 0 && $out == *"channel: 5"*"noteref: 60 (C 3)"* ]] || fail "--show: $code \"$out\""
wine reg query 'HKCU\Software\Korvalen\RDN417_V28' /v CAN 2>/dev/null | tr -d '\r' |
    grep -qi 'REG_DWORD *0x5' || fail "the channel was not stored in the registry"
run --save 'Z:'"$work"'\song.syx'
[[ $code == 0 ]] || fail "--save: $code \"$err\""
[[ $(od -An -tx1 "$work/song.syx" | tr -d ' \n') == f070047c0004f7f070047e0c03f7 ]] ||
    fail "the saved file holds $(od -An -tx1 "$work/song.syx")"
run --send 'Z:'"$work"'\song.syx' --dry-run
[[ $code == 0 && $out == $'F0 70 04 7C 00 04 F7\nF0 70 04 7E 0C 03 F7' ]] ||
    fail "--send --dry-run: $code \"$out\" \"$err\""
run --send-all --output 'No such port'
[[ $code == 3 && $err == *'No MIDI output is called "No such port"'* ]] ||
    fail "a missing port: $code \"$err\""
# The console companion is a console program (PE subsystem 3), which Windows' cmd and
# PowerShell wait for and give their console and redirections to, beside the GUI program (2).
# Wine's cmd waits for either, so this is what shows the difference here.
subsystem() {
    local header
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tu2 -j$((header + 92)) -N2 "$1" | tr -d ' '
}
companion=${exe%.exe}.com
[[ -f $companion && $(subsystem "$companion") == 3 && $(subsystem "$exe") == 2 ]] ||
    fail "no console companion beside the GUI program"
# From cmd, as a script would: "rdn417-config" finds the console companion, whose output goes
# where cmd sends it and whose exit code cmd waits for.
cat >"$work/script.bat" <<'BATCH'
@echo off
cd /d "%~1"
rdn417-config --set channel=17 2>"%~2\usage.txt"
>"%~2\codes.txt" echo %ERRORLEVEL%
rdn417-config --list-ports >"%~2\ports.txt"
>>"%~2\codes.txt" echo %ERRORLEVEL%
rdn417-config --send-all --output "No such port" 2>nul
>>"%~2\codes.txt" echo %ERRORLEVEL%
BATCH
folder=$(winepath -w "$(dirname "$(realpath "$exe")")")
env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 wine cmd /c "$(winepath -w "$work/script.bat")" \
    "$folder" "$(winepath -w "$work")" >/dev/null 2>&1 || true  # its code is the last command's
codes=$(tr -d '\r' <"$work/codes.txt" | tr '\n' ' ')
[[ $codes == "2 0 3 " ]] || fail "cmd saw the exit codes $codes"
grep -q 'channel must be a number from 1 to 16' "$work/usage.txt" ||
    fail "standard error did not reach the file: $(cat "$work/usage.txt")"
tr -d '\r' <"$work/ports.txt" | grep -qx 'Outputs:' ||
    fail "--list-ports did not reach the file: $(cat "$work/ports.txt")"
echo "command_line_test: console output, exit codes, registry and .syx files as expected"
