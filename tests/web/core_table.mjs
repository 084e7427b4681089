// SPDX-License-Identifier: GPL-3.0-or-later
// The WebAssembly core's answers over the table of tests/web/core_table.cpp, in its lines.
import fs from 'node:fs';
import path from 'node:path';

const hex = (bytes) => [...bytes].map((b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ');

export function coreTable(core, files) {
    const lines = [];
    const describe = (s) => [s.channel, s.noteRef, Number(s.pitchTable), Number(s.auxFromController),
                             s.auxController].join('/');
    for (const channel of [0, 15]) {
        for (let value = 0; value < 128; ++value) {
            for (const code of [core.codeModeFlags, core.codeAuxController, core.codeNoteRef])
                lines.push(`parameter ${channel} ${code} ${value}: ` +
                           hex(core.parameterMessage(channel, code, value)));
            lines.push(`control ${channel} ${value}: ${hex(core.controlChange(channel, value, 127 - value))}`);
        }
        for (let mode = 0; mode < 4; ++mode) {
            for (const controller of [-1, 0, 74, 127]) {
                const setup = {channel, noteRef: 12 + 3 * mode, pitchTable: (mode & 1) !== 0,
                               auxFromController: (mode & 2) !== 0, auxController: controller};
                const messages = core.setupMessages(setup).map((m) => `${hex(m)}; `).join('');
                lines.push(`setup ${describe(setup)}: ${messages}`);
                lines.push(`syx ${describe(setup)}: ${hex(core.setupFileBytes(setup, false))}`);
                lines.push(`mid ${describe(setup)}: ${hex(core.setupFileBytes(setup, true))}`);
                const stored = Object.entries(core.storedOf(setup)).map(([k, v]) => `${k}=${v} `).join('');
                lines.push(`stored ${describe(setup)}: ${stored}`);
            }
        }
    }
    for (let note = 0; note < 128; ++note)
        lines.push(`note ${note}: ${core.noteName(note)}`);
    core.controllerItems().forEach((text, entry) => lines.push(`controller ${entry}: ${text}`));
    const base = {channel: 0, noteRef: 12, pitchTable: false, auxFromController: true, auxController: -1};
    for (const file of files) {
        const name = path.basename(file);
        const read = core.readSetupFile(name, new Uint8Array(fs.readFileSync(file)), base);
        lines.push(`file ${name}: ${read.error} | ${read.note} | ${describe(read.setup)}`);
    }
    return lines;
}
