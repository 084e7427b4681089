// SPDX-License-Identifier: GPL-3.0-or-later
// The web page measured in Debian's Chromium, headless, over localhost and the Web MIDI test
// double: what it transfers (gzip), how long from navigation until it is ready with its ports
// listed (the first visit, and a visit with the service worker's copy), and a NoteRef drag from
// 0 to 127 with real pointer moves over the double's 31,250-baud cable: how long after the last
// move the converter holds 127, beside the least the cable allowed (the end of what it carried
// at the last move, then one message time). Runs: the first argument, 10 unless given.
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import {launch, openPage, serve, until, webFolder} from '../tests/web/support.mjs';

const runs = Number(process.argv[2] || 10);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const withPorts = () => {
    window.midiDouble.addOutput('RDN417 via UM-ONE', true);
    window.midiDouble.addInput('Keys');
};

const files = ['index.html', 'page.js', 'page.css', 'core.js', 'core.wasm'];
const gzip = files.map((file) => zlib.gzipSync(fs.readFileSync(path.join(webFolder, file)), {level: 9}).length);
console.log(`transfer_gzip_kb ${(gzip.reduce((a, b) => a + b) / 1024).toFixed(1)} ` +
            `(${files.map((file, i) => `${file} ${(gzip[i] / 1024).toFixed(1)}`).join(', ')}; target 150)`);

const site = await serve();
const browser = await launch();
const firstVisit = [];
const kept = [];
const results = {};
for (const way of ['pointer', 'keys'])
    results[way] = {lags: [], floors: [], intervals: [], messages: []};

// NoteRef from 0 to 127: by pointer moves across the slider, or by the right arrow key sent
// without waiting for each (as a held key's repeats); each step's time is taken before the page
// handles it. Returns the steps and what reached the converter.
async function dragNoteRef(page, way) {
    await page.evaluate(() => {
        const slider = document.getElementById('noteref');
        slider.value = 0;
        window.midiDouble.converter.received.length = 0;
        delete window.midiDouble.converter.holds[126];
        window.moves = [];
        if (!window.watching)
            document.addEventListener('input', () => window.moves.push([Number(slider.value), performance.now()]), true);
        window.watching = true;
    });
    if (way === 'pointer') {
        const box = await page.locator('#noteref').boundingBox();
        const y = box.y + box.height / 2;
        // The thumb's travel: half a thumb in from each end.
        const xOf = (value) => box.x + 8 + (box.width - 16) * value / 127;
        await page.mouse.move(xOf(0), y);
        await page.mouse.down();
        for (let value = 1; value <= 127; ++value)
            await page.mouse.move(xOf(value), y);
        await until(page, () => window.midiDouble.converter.holds[126] === 127);
        await page.mouse.up();
    } else {
        await page.focus('#noteref');
        await Promise.all(Array.from({length: 127}, () => page.keyboard.press('ArrowRight')));
        await until(page, () => window.midiDouble.converter.holds[126] === 127);
    }
    return page.evaluate(() => ({moves: window.moves, received: window.midiDouble.converter.received}));
}
for (let run = 0; run < runs; ++run) {
    const {context, page} = await openPage(browser, site.url, withPorts);
    firstVisit.push(Number(await page.getAttribute('body', 'data-ready-at')));
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    kept.push(Number(await page.getAttribute('body', 'data-ready-at')));

    for (const way of ['pointer', 'keys']) {
        const drag = await dragNoteRef(page, way);
        const lastMove = drag.moves.find(([value]) => value === 127)[1];
        const final = drag.received.findIndex((m) => m.bytes[3] === 126 && m.bytes[4] + 16 * m.bytes[5] === 127);
        // The message on the cable at the last move: started (its end less its 2.24 ms) by then.
        const onCable = drag.received.filter((m) => m.at - 2.24 <= lastMove && m.at > lastMove);
        const busyUntil = onCable.length > 0 ? onCable[onCable.length - 1].at : lastMove;
        results[way].lags.push(drag.received[final].at - lastMove);
        results[way].floors.push(busyUntil - lastMove + 2.24);
        results[way].intervals.push((lastMove - drag.moves[0][1]) / (drag.moves.length - 1));
        results[way].messages.push(drag.received.length);
    }
    await context.close();
}
await browser.close();
await site.stop();
console.log(`ready_first_visit_ms ${median(firstVisit).toFixed(1)} (median of ${runs}; target 300)`);
console.log(`ready_from_service_worker_ms ${median(kept).toFixed(1)}`);
for (const [way, r] of Object.entries(results)) {
    const over = r.lags.map((lag, i) => lag - r.floors[i]);
    console.log(`drag_${way}: final_value_lag_ms ${median(r.lags).toFixed(2)}, cable_floor_lag_ms ` +
                `${median(r.floors).toFixed(2)}, over the floor by ${median(over).toFixed(2)} (worst ` +
                `${Math.max(...over).toFixed(2)}; target 2.24), step_interval_ms ` +
                `${median(r.intervals).toFixed(2)}, cable_messages ${median(r.messages)} (medians)`);
}
