// SPDX-License-Identifier: GPL-3.0-or-later
// The page in Debian's Chromium, headless, with real key and pointer events, over the Web MIDI
// test double: the bytes each control sends, the cable's pace, files shared with the desktop
// program, ports that come and go, the browser's storage, offline use and accessibility.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {launch, openPage, received, root, serve, until} from './support.mjs';

const kConverter = 'RDN417 via UM-ONE';
const kKeys = 'Keys';
const withPorts = () => {
    window.midiDouble.addOutput('RDN417 via UM-ONE', true);
    window.midiDouble.addInput('Keys');
};
const program = process.env.RDN417_PROGRAM || path.join(root, 'build/test/app/rdn417-config');

let browser;
let site;
before(async () => {
    site = await serve();
    browser = await launch();
});
after(async () => {
    await browser.close();
    await site.stop();
});

// Waits until the converter has received `count` messages, and returns them all.
async function settled(page, count) {
    await until(page, (n) => window.midiDouble.converter.received.length >= n, count);
    return received(page);
}

test('each control sends its exact bytes', async () => {
    const {context, page} = await openPage(browser, site.url, withPorts);
    await page.focus('#noteref');
    await page.keyboard.press('ArrowRight');
    assert.equal(await page.getAttribute('#noteref', 'aria-valuetext'), 'C#-1');
    await page.click('label[for="table"]');
    await page.focus('#controller-list');
    await page.keyboard.press('ArrowDown');
    await page.click('#test', {clickCount: 3});
    await page.keyboard.type('64');
    // A channel past 16 is 16, as on the window's pot.
    await page.click('#channel', {clickCount: 3});
    await page.keyboard.type('17');
    await page.keyboard.press('Tab');
    assert.equal(await page.inputValue('#channel'), '16');
    await page.focus('#noteref');
    await page.keyboard.press('ArrowLeft');
    await page.click('#send-all');
    await page.click('#learn-noteref');
    await page.evaluate(() => window.midiDouble.play('Keys', [0x90, 64, 100]));
    assert.deepEqual(await settled(page, 10), [
        'F0 70 00 7E 0D 00 F7',  // NoteRef 13
        'F0 70 00 7C 00 06 F7',  // 48 Notes Table, aux from a controller
        'F0 70 00 7D 00 00 F7',  // controller 0
        'B0 00 06', 'B0 00 40',  // the test value as it is typed
        'F0 70 0F 7E 0C 00 F7',  // NoteRef 12 on channel 16
        'F0 70 0F 7C 00 06 F7', 'F0 70 0F 7D 00 00 F7', 'F0 70 0F 7E 0C 00 F7',  // Send all
        'F0 70 0F 7E 00 04 F7',  // NoteRef learned: E 3
    ]);
    assert.equal(await page.textContent('#noteref-name'), 'E 3');
    assert.equal(await page.getAttribute('#learn-noteref', 'aria-pressed'), 'false');

    // The channel learned sends nothing; the controller learned is sent on it.
    await page.click('#learn-channel');
    await page.click('#learn-controller');
    await page.evaluate(() => window.midiDouble.play('Keys', [0x93, 60, 100]));
    await page.evaluate(() => window.midiDouble.play('Keys', [0xB3, 7, 0]));
    assert.deepEqual((await settled(page, 11)).slice(10), ['F0 70 03 7D 07 00 F7']);
    assert.equal(await page.inputValue('#channel'), '4');
    // Without "Send Parameters Real Time" a change waits for Send all.
    await page.click('label[for="realtime"]');
    await page.focus('#noteref');
    await page.keyboard.press('ArrowRight');
    await page.click('#send-all');
    assert.deepEqual((await settled(page, 14)).slice(11),
                     ['F0 70 03 7C 00 06 F7', 'F0 70 03 7D 07 00 F7', 'F0 70 03 7E 01 04 F7']);
    assert.deepEqual(page.errors, []);
    await context.close();
});

test('a fast NoteRef change puts no more on the cable than it carries, and ends on the last value', async () => {
    const {context, page} = await openPage(browser, site.url, withPorts);
    await page.focus('#noteref');
    await page.evaluate(() => {
        window.steps = [];
        document.addEventListener('input', () => window.steps.push(performance.now()), true);
    });
    // Sent without waiting for each to be taken, as a held key's repeats come.
    await Promise.all(Array.from({length: 40}, () => page.keyboard.press('ArrowRight')));
    await until(page, () => window.midiDouble.converter.holds[126] === 52);
    const sent = await page.evaluate((name) => window.midiDouble.outputs.get(name).sent, kConverter);
    // Steps that came faster than the cable carries cannot all have been sent.
    const steps = await page.evaluate(() => window.steps);
    if (steps[39] - steps[0] < 39 * 2.24)
        assert.ok(sent.length < 40, `${sent.length} messages for 40 steps in ${steps[39] - steps[0]} ms`);
    // Each message is timed for when the cable has carried the one before (2.24 ms): the
    // interface never holds more than a byte (0.32 ms) beyond it, whatever the browser's clock,
    // coarsened to 0.1 ms, and the time between reading it and sending take off.
    const starts = sent.map((message) => Math.max(message.at, message.timestamp));
    for (let i = 1; i < starts.length; ++i)
        assert.ok(starts[i] - starts[i - 1] >= 2.24 - 0.32,
                  `messages ${i - 1} and ${i}: ${starts[i] - starts[i - 1]} ms apart`);
    await context.close();
});

test('setup files: the desktop program and the page read each other\'s, byte for byte', async () => {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'rdn417-web-'));
    const desktopFile = path.join(folder, 'desktop.syx');
    execFileSync(program, ['--set', 'channel=3', '--set', 'noteref=E3', '--set', 'pitch=table',
                           '--set', 'aux=74', '--save', desktopFile],
                 {env: {...process.env, XDG_CONFIG_HOME: folder, RDN417_MIDI_BACKEND: 'virtual'}});
    const {context, page} = await openPage(browser, site.url, withPorts);
    await page.setInputFiles('#open-file', desktopFile);
    assert.deepEqual(await settled(page, 3),
                     ['F0 70 02 7C 00 06 F7', 'F0 70 02 7D 0A 04 F7', 'F0 70 02 7E 00 04 F7']);
    assert.equal(await page.inputValue('#channel'), '3');
    assert.equal(await page.textContent('#noteref-name'), 'E 3');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
    const pageFile = path.join(folder, 'page.syx');
    await download.saveAs(pageFile);
    assert.deepEqual(fs.readFileSync(pageFile), fs.readFileSync(desktopFile));
    const shown = execFileSync(program, ['--send', pageFile, '--show', '--dry-run'],
                               {env: {...process.env, XDG_CONFIG_HOME: folder,
                                      RDN417_MIDI_BACKEND: 'virtual'}, encoding: 'utf8'});
    assert.match(shown, /channel: 3\nnoteref: 64 \(E 3\)\npitch: table/);

    // A file dropped on the page opens as one picked.
    const dropped = await page.evaluateHandle((bytes) => {
        const transfer = new DataTransfer();
        transfer.items.add(new File([new Uint8Array(bytes)], 'dropped.syx'));
        return transfer;
    }, [...fs.readFileSync(path.join(root, 'fuzz/corpus/syx/with-other-device.syx'))]);
    await page.dispatchEvent('main', 'drop', {dataTransfer: dropped});
    await until(page, () => document.getElementById('note').textContent.startsWith('dropped.syx'));
    assert.equal(await page.textContent('#note'), 'dropped.syx: 1 message for other devices skipped.');
    assert.equal(await page.inputValue('#channel'), '6');

    await page.setInputFiles('#open-file', path.join(root, 'fuzz/corpus/syx/truncated.syx'));
    await until(page, () => !document.getElementById('problem').hidden);
    assert.equal(await page.textContent('#problem'),
                 'truncated.syx: The file is truncated: its last message has no end (0xF7).');
    await context.close();
    fs.rmSync(folder, {recursive: true});
});

test('a port gone while in use is said, shown as not connected, and used again when back', async () => {
    const {context, page} = await openPage(browser, site.url, withPorts);
    await page.evaluate((name) => window.midiDouble.remove(name), kConverter);
    await until(page, () => document.getElementById('out').selectedOptions[0].text.endsWith('(not connected)'));
    assert.equal(await page.evaluate(() => document.getElementById('out').selectedOptions[0].text),
                 `${kConverter} (not connected)`);
    await page.focus('#noteref');
    await page.keyboard.press('ArrowRight');
    await until(page, () => !document.getElementById('problem').hidden);
    assert.match(await page.textContent('#problem'),
                 /The MIDI output "RDN417 via UM-ONE" is not connected\.\n\nThe change did not reach the converter/);
    // Another port that came meanwhile is not used in its place.
    await page.evaluate(() => window.midiDouble.addOutput('Synth'));
    await page.keyboard.press('ArrowRight');
    assert.deepEqual(await page.evaluate(() => window.midiDouble.outputs.get('Synth').sent), []);
    await page.evaluate((name) => window.midiDouble.addOutput(name, true), kConverter);
    await page.keyboard.press('ArrowRight');
    assert.deepEqual(await settled(page, 1), ['F0 70 00 7E 0F 00 F7']);
    // What was said of the failure goes once a change arrives again.
    assert.ok(await page.isHidden('#problem'));
    await context.close();
});

test('a reload shows the settings as they were', async () => {
    const {context, page} = await openPage(browser, site.url, withPorts);
    await page.click('#channel', {clickCount: 3});
    await page.keyboard.type('7');
    await page.keyboard.press('Tab');
    await page.focus('#noteref');
    await page.keyboard.press('End');
    await page.click('label[for="velocity"]');
    await page.selectOption('#controller-list', {index: 3});
    await page.click('label[for="send-on-open"]');
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await page.inputValue('#channel'), '7');
    assert.equal(await page.textContent('#noteref-name'), 'G 8');
    assert.ok(await page.isChecked('#velocity'));
    assert.equal(await page.evaluate(() => document.getElementById('controller-list').selectedIndex), 3);
    assert.ok(await page.isChecked('#send-on-open'));
    assert.deepEqual(JSON.parse(await page.evaluate(() => localStorage.getItem('RDN417_V28'))), {
        CAN: 7, NREF: 127, CREF: 3, VOCT: 1, VELO: 1, midiOUTName: kConverter, midiINName: kKeys,
        SendAllOnOpen: 1,
    });
    await context.close();
});

test('what keeps the page from its work is said in the page', async () => {
    const cases = [
        [() => { delete navigator.requestMIDIAccess; delete Navigator.prototype.requestMIDIAccess; }, /This browser has no Web MIDI.*Chrome, Edge, Opera or Firefox/],
        [() => window.midiDouble.refuse('SecurityError'), /MIDI access was refused \(SecurityError\).*site settings/],
        [() => {}, /There is no MIDI output port/],
        [() => {
            Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('denied', 'SecurityError'); }});
            window.midiDouble.addOutput('RDN417 via UM-ONE', true);
        }, /The settings cannot be kept in this browser \(SecurityError: denied\)/],
    ];
    for (const [setUp, expected] of cases) {
        const {context, page} = await openPage(browser, site.url, setUp);
        await until(page, () => !document.getElementById('problem').hidden);
        assert.match(await page.textContent('#problem'), expected);
        assert.deepEqual(page.errors, []);
        await context.close();
    }
});

test('once opened, the page loads with the server gone', async () => {
    const offline = await serve();
    const {context, page} = await openPage(browser, offline.url, withPorts);
    // Active once it has kept every file.
    await page.evaluate(() => navigator.serviceWorker.ready);
    await offline.stop();
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await page.textContent('#noteref-name'), 'C -1');
    await context.close();
});

test('axe-core finds no accessibility violation', async () => {
    const {context, page} = await openPage(browser, site.url, withPorts);
    await page.addScriptTag({path: path.join(root, 'tests/web/node_modules/axe-core/axe.min.js')});
    const violations = await page.evaluate(async () => (await window.axe.run()).violations.map(
        (v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
    assert.deepEqual(violations, []);
    await context.close();
});

test('the browser\'s own Web MIDI, with the permission granted: the page copes with no ports', async () => {
    const context = await browser.newContext();
    await context.grantPermissions(['midi', 'midi-sysex'], {origin: site.url});
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(site.url);
    await page.waitForSelector('body[data-ready="true"]');
    assert.match(await page.textContent('#problem'), /There is no MIDI output port|MIDI access was refused/);
    assert.deepEqual(errors, []);
    await context.close();
});
