#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program as a user meets it, under Wine with no MIDI device and a display of its
# own (DISPLAY set, no window manager): it starts with the window the user knows, reports a
# parameter change that cannot be sent, writes its settings to Wine's real registry when
# closed, and restores them at the next start.
set -Eeuo pipefail
exe=$1
trap 'echo "program_test: failed at line $LINENO: $BASH_COMMAND" >&2' ERR
key='HKCU\Software\Korvalen\RDN417_V28'
# Says what went wrong and which windows were on the display then.
fail() {
    echo "program_test: $*" >&2
    local id
    for id in $(xdotool search --onlyvisible --name . 2>/dev/null || true); do
        echo "program_test: on screen: $id \"$(xdotool getwindowname "$id" 2>/dev/null)\"" >&2
    done
    import -window root "${exe%.exe}-failure.png" 2>/dev/null || true
    exit 1
}

# The windows on show named exactly `name`. Qt names a window without a title after the
# program, so tooltips and popups (override-redirect windows, which no box is) are left out.
shown() {
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true); do
        xwininfo -id "$id" 2>/dev/null | grep -q "Override Redirect State: no" && echo "$id"
    done
    return 0
}

# The id of the first window on show named exactly `name`, within `seconds`.
window() {
    local name=$1 seconds=$2 id i
    for ((i = 0; i < seconds * 4; ++i)); do
        id=$(shown "$name" | head -n 1)
        [[ -n $id ]] && echo "$id" && return 0
        sleep 0.25
    done
    return 1
}

# Presses OK on every error box the program shows (titled with the program's name) and says
# how many there were. The first `expected` boxes get up to a minute each, since a busy machine
# can be slow to show them; after those, one more is looked for during 5 s. A box counts once
# however often it must be pressed: Wine can take a while to take it down, or miss a press.
# The pointer is then put in a corner that no window covers, so that no tooltip comes up.
dismissBoxes() {
    local expected=$1 seen=() box i
    while box=$(window "RDN417 Config" $((${#seen[@]} < expected ? 60 : 5))); do
        [[ " ${seen[*]} " == *" $box "* ]] || seen+=("$box")
        # The box may be gone already (then nothing is pressed).
        xdotool mousemove --window "$box" 10 10 click 1 key Return 2>/dev/null || true
        xdotool mousemove 1023 767
        for ((i = 0; i < 40; ++i)); do
            shown "RDN417 Config" | grep -qx "$box" || break
            sleep 0.25
        done
    done
    echo "${#seen[@]}"
}

start() {
    wine "$exe" >/dev/null 2>&1 &
    program=$!
    window "RDN417 Config" 60 >/dev/null || fail "no window within a minute"
    # No MIDI device: no input is normal and said by the In list; no output is said in a box.
    local shown
    shown=$(dismissBoxes 1)
    [[ $shown -eq 1 ]] || fail "$shown error boxes at start, expected 1"
    main=$(window "RDN417 Config v2.8" 30) || fail "no window titled \"RDN417 Config v2.8\""
}

close() {
    xdotool mousemove --window "$main" 200 10 click 1 key alt+F4 || fail "cannot reach the window"
    for ((i = 0; i < 120; ++i)); do
        kill -0 "$program" 2>/dev/null || return 0
        sleep 0.25
    done
    fail "the window did not close"
}

stored() {
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v name="$1" '$1 == name {print $2, $3}'
}

wine reg delete "$key" /f >/dev/null 2>&1 || true
start
geometry=$(xwininfo -id "$main") || fail "the window went away"
grep -q "Width: 336" <<<"$geometry" && grep -q "Height: 202" <<<"$geometry" ||
    fail "client area is not 336 x 202: $geometry"
# A NoteRef change with no output port: the output's error is shown.
xdotool mousemove --window "$main" 80 82 mousedown 1 sleep 0.3 mousemove --window "$main" 80 81 \
    sleep 0.3 mouseup 1 || fail "cannot drag on the NoteRef pot"
[[ $(dismissBoxes 1) -ge 1 ]] || fail "a NoteRef change on a closed output showed no error"
close
for name in PX PY CAN NREF CREF VOCT VELO midiIN midiOUT; do
    [[ $(stored "$name") == REG_DWORD* ]] || fail "\"$name\" was not written as REG_DWORD"
done
[[ $(stored NREF) == "REG_DWORD 0xc" ]] || fail "NoteRef stored as $(stored NREF)"

# Settings of an earlier run come back, and are written back unchanged.
wine reg add "$key" /v NREF /t REG_DWORD /d 40 /f >/dev/null
wine reg add "$key" /v CAN /t REG_DWORD /d 5 /f >/dev/null
wine reg add "$key" /v PX /t REG_DWORD /d 100 /f >/dev/null
start
xwininfo -id "$main" | grep -q "Absolute upper-left X:  100" || fail "the stored position was not used"
close
[[ $(stored NREF) == "REG_DWORD 0x28" && $(stored CAN) == "REG_DWORD 0x5" ]] ||
    fail "restored settings were not kept: NREF $(stored NREF), CAN $(stored CAN)"
echo "program_test: 1 passed, 0 failed"
