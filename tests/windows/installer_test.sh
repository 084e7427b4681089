#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The setup program as a user meets it, in a Wine prefix made fresh for the test (needs
# DISPLAY): installing an older version (three-part number) silently and then this one, twice,
# then once more with /RUN (the program handed to Explorer), leaves one "Apps &
# features" entry, of this version, with its name, publisher, icon, size and uninstall string;
# the program, its readme and licences, the uninstaller and the Start-menu shortcut are where
# they belong; .syx files open with the program; the installed program passes the program test;
# a silent uninstall leaves nothing of the program behind (the .syx association neither) and
# keeps the user's settings.
#   installer_test.sh SETUP.exe OLDER-SETUP.exe
set -Eeuo pipefail
setup=$1
older=$2
here=$(cd "$(dirname "$0")" && pwd)
trap 'echo "installer_test: failed at line $LINENO: $BASH_COMMAND" >&2' ERR
fail() {
    echo "installer_test: $*" >&2
    exit 1
}

WINEPREFIX=$(mktemp -d)/prefix
export WINEPREFIX WINEDEBUG=-all
trap 'timeout 30 wineserver -k 2>/dev/null || true; rm -rf "$(dirname "$WINEPREFIX")"' EXIT
timeout 300 wineboot -i >/dev/null 2>&1 || fail "wineboot could not make a prefix"

entries='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entry="$entries\\RDN417 Config"
settings='HKCU\Software\Korvalen\RDN417_V28'
folder="$WINEPREFIX/drive_c/Program Files/RDN417 Config"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/RDN417 Config.lnk"

# Runs a setup or uninstall program and waits for every process it started: the uninstaller
# runs from a copy of itself that it starts and leaves.
run() {
    timeout 300 wine "$@" >/dev/null 2>&1 || fail "$* ended with $?"
    timeout 60 wineserver -w
}
value() {
    wine reg query "$entry" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v name="$1" '$1 == name {$1 = $2 = ""; sub(/^ +/, ""); print}'
}
count() {
    wine reg query "$entries" 2>/dev/null | tr -d '\r' | grep -c 'Uninstall\\RDN417 Config$' || true
}

run "$older" /S
[[ $(value DisplayVersion) == 2.7.1 ]] || fail "the older setup did not install 2.7.1"
run "$setup" /S
run "$setup" /S
[[ $(count) -eq 1 ]] || fail "$(count) uninstall entries after three installs, expected 1"
[[ $(value DisplayName) == "RDN417 Config" ]] || fail "display name \"$(value DisplayName)\""
[[ $(value DisplayVersion) == 2.8 ]] || fail "display version \"$(value DisplayVersion)\""
[[ $(value Publisher) == Korvalen ]] || fail "publisher \"$(value Publisher)\""
[[ $(value DisplayIcon) == 'C:\Program Files\RDN417 Config\rdn417-config.exe,0' ]] ||
    fail "display icon \"$(value DisplayIcon)\""
[[ $(value UninstallString) == '"C:\Program Files\RDN417 Config\uninstall.exe"' ]] ||
    fail "uninstall string \"$(value UninstallString)\""
size=$(value EstimatedSize)
((size > 1000)) || fail "estimated size $size KB"
for file in rdn417-config.exe rdn417-config.com README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt uninstall.exe; do
    [[ -f $folder/$file ]] || fail "the install lacks $file"
done
[[ $(find "$folder" -type f | wc -l) -eq 6 ]] || fail "the install holds more: $(ls "$folder")"
grep -q "GNU GENERAL PUBLIC LICENSE" "$folder/LICENSE.txt" || fail "LICENSE.txt is not the GPL"
[[ -f $shortcut ]] || fail "no Start-menu shortcut"
# A shell link (its class id) that names the installed program.
[[ $(head -c 20 "$shortcut" | od -An -tx1 | tr -d ' \n') == 4c0000000114020000000000c000000000000046 ]] ||
    fail "the Start-menu shortcut is no shell link"
grep -aq 'rdn417-config.exe' "$shortcut" || fail "the Start-menu shortcut does not name the program"
# .syx files open with the program.
classes='HKLM\Software\Classes'
default() {
    wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | awk '$1 == "(Default)" {$1 = $2 = ""; sub(/^ +/, ""); print}'
}
[[ $(default "$classes\.syx") == Korvalen.RDN417Config.syx ]] ||
    fail ".syx opens as \"$(default "$classes\.syx")\""
[[ $(default "$classes\Korvalen.RDN417Config.syx\shell\open\command") == \
    '"C:\Program Files\RDN417 Config\rdn417-config.exe" "%1"' ]] ||
    fail "the .syx open command is \"$(default "$classes\Korvalen.RDN417Config.syx\shell\open\command")\""

# /RUN starts the program as the finish page's box does: handed to the user's shell (Explorer),
# which starts it as the user, unelevated, on Windows; the elevated setup never starts it
# itself. Wine's Explorer shows the folder instead, so its command line is what is checked.
timeout 300 wine "$setup" /S /RUN >/dev/null 2>&1 || fail "/S /RUN ended with $?"
handed=
for ((i = 0; i < 300; ++i)); do
    handed=$(pgrep -f 'explorer\.exe C:\\Program Files\\RDN417 Config\\rdn417-config\.exe$' || true)
    [[ -n $handed ]] && break
    sleep 0.2
done
[[ -n $handed ]] || fail "/RUN did not hand the program to Explorer: $(pgrep -af 'rdn417|explorer')"
! pgrep -f '^C:\\Program Files\\RDN417 Config\\rdn417-config\.exe' >/dev/null ||
    fail "the setup started the program itself"
kill $handed
[[ $(count) -eq 1 ]] || fail "$(count) uninstall entries after the install with /RUN"

"$here/program_test.sh" "$folder/rdn417-config.exe"
[[ -n $(wine reg query "$settings" /v NREF 2>/dev/null) ]] || fail "the installed program stored no settings"

run "C:\\Program Files\\RDN417 Config\\uninstall.exe" /S
[[ ! -e $folder ]] || fail "the uninstall left $(find "$folder")"
[[ ! -e $shortcut ]] || fail "the uninstall left the Start-menu shortcut"
[[ $(count) -eq 0 ]] || fail "the uninstall left its entry"
! wine reg query "$classes\Korvalen.RDN417Config.syx" >/dev/null 2>&1 ||
    fail "the uninstall left the .syx file type"
[[ -z $(default "$classes\.syx") ]] || fail "the uninstall left .syx opening as $(default "$classes\.syx")"
[[ -n $(wine reg query "$settings" /v NREF 2>/dev/null) ]] || fail "the uninstall removed the settings"
echo "installer_test: 1 passed, 0 failed"
