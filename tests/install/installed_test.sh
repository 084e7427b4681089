#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a user installs: a staged `cmake --install` holds the program, its desktop entry,
# metadata, icons, manual, copyright and changelog, the window's module and the Designer plugin,
# both files pass their validators, lintian finds no error or warning in the .deb, the program
# needs no Qt until its window opens and says so when the window's module is missing, and the
# program from the .deb, unpacked into a scratch root, shows its window (needs DISPLAY).
set -euo pipefail
build=$1
stage=$build/stage
deb_root=$build/deb-root
fail() {
    echo "installed_test: $*" >&2
    exit 1
}

rm -rf "$stage" "$deb_root"
DESTDIR="$PWD/$stage" cmake --install "$build" --prefix /usr >/dev/null
for file in usr/bin/rdn417-config usr/share/applications/rdn417-config.desktop \
    usr/share/metainfo/com.korvalen.RDN417Config.metainfo.xml \
    usr/share/mime/packages/rdn417-config.xml \
    usr/share/icons/hicolor/scalable/apps/rdn417-config.svg \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/rdn417-config.png \
    usr/share/man/man1/rdn417-config.1.gz usr/share/doc/rdn417-config/{copyright,changelog.gz} \
    usr/lib/rdn417-config/window/rdn417-config-window.so; do
    [[ -f $stage/$file ]] || fail "the install lacks $file"
done
compgen -G "$stage/usr/lib/*/qt6/plugins/designer/librdn417_designer_plugin.so" >/dev/null ||
    fail "the install lacks the Designer plugin"
desktop-file-validate "$stage/usr/share/applications/rdn417-config.desktop"
# A .syx or .mid file opened from a file manager opens the window on it: the entry takes a file
# and names both types, and the SysEx type is one that shared-mime-info knows once installed.
entry=$stage/usr/share/applications/rdn417-config.desktop
grep -qx 'Exec=rdn417-config %f' "$entry" || fail "the menu entry takes no file"
grep -qx 'MimeType=application/x-sysex;audio/midi;' "$entry" || fail "the menu entry names no types"
mime=$(mktemp -d)
mkdir -p "$mime/packages"
cp "$stage/usr/share/mime/packages/rdn417-config.xml" "$mime/packages/"
update-mime-database "$mime" 2>/dev/null
grep -qx 'application/x-sysex:\*\.syx' "$mime/globs" ||
    fail "shared-mime-info gives .syx files no type: $(cat "$mime/globs")"
rm -rf "$mime"
appstreamcli validate --no-net "$stage/usr/share/metainfo/com.korvalen.RDN417Config.metainfo.xml" >/dev/null

rm -f "$build"/rdn417-config_*_*.deb
(cd "$build" && cpack -G "DEB;TGZ" >/dev/null)
# Errors and warnings fail the test; info-level tags (hardening hints, say) are not faults.
lintian --fail-on error,warning "$build"/rdn417-config_*_*.deb >"$build/lintian.log" 2>&1 || {
    cat "$build/lintian.log"
    fail "lintian reports errors or warnings in the .deb"
}
dpkg -x "$build"/rdn417-config_*_*.deb "$deb_root"
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
program=$deb_root/usr/bin/rdn417-config
! readelf -d "$program" | grep -q 'NEEDED.*libQt' || fail "the program itself links Qt"
cp "$program" "$settings/alone"
code=0
"$settings/alone" 2>"$settings/alone.log" || code=$?
((code == 1)) && grep -q "the window is not installed" "$settings/alone.log" ||
    fail "without its module the program said (exit $code): $(cat "$settings/alone.log")"
RDN417_MIDI_BACKEND=virtual XDG_CONFIG_HOME=$settings "$program" &
program=$!
shown=false
for ((i = 0; i < 120; ++i)); do
    if xdotool search --name '^RDN417 Config v2.8$' >/dev/null 2>&1; then
        shown=true
        break
    fi
    sleep 0.25
done
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
$shown || fail "the installed program showed no window"
echo "installed_test: 1 passed, 0 failed"
