// SPDX-License-Identifier: GPL-3.0-or-later
// What the web tests share: the page's folder served on localhost, Debian's Chromium headless,
// and the page opened over the Web MIDI test double.
import {chromium} from 'playwright-core';
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

export const here = path.dirname(fileURLToPath(import.meta.url));
export const root = path.resolve(here, '../..');
export const webFolder = process.env.RDN417_WEB || path.join(root, 'build/web');

const kTypes = {
    '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css',
    '.webmanifest': 'application/manifest+json', '.png': 'image/png', '.svg': 'image/svg+xml',
};

// Serves the folder on 127.0.0.1 at a free port; {url, close, stop(), start()}.
export async function serve(folder = webFolder) {
    let server = null;
    let port = 0;
    const start = () => new Promise((resolve) => {
        server = http.createServer((request, response) => {
            let file = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
            if (file.endsWith('/'))
                file += 'index.html';
            const full = path.join(folder, path.normalize(file));
            if (!full.startsWith(folder)) {
                response.writeHead(403).end();
                return;
            }
            fs.readFile(full, (error, data) => {
                if (error) {
                    response.writeHead(404).end();
                    return;
                }
                response.writeHead(200, {'Content-Type': kTypes[path.extname(full)] || 'application/octet-stream'});
                response.end(data);
            });
        });
        server.keepAliveTimeout = 0;
        server.listen(port, '127.0.0.1', () => {
            port = server.address().port;
            resolve();
        });
    });
    await start();
    return {
        url: `http://127.0.0.1:${port}/`,
        // The network gone: nothing answers on the port.
        stop: () => new Promise((resolve) => {
            server.closeAllConnections();
            server.close(resolve);
        }),
        start,
    };
}

export async function launch() {
    return chromium.launch({
        executablePath: process.env.RDN417_CHROMIUM || '/usr/bin/chromium',
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
               '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
}

// A new context and page over the double, with the ports that `setUp` (run in the page before
// it loads) makes; the page is loaded and ready.
export async function openPage(browser, url, setUp = () => {}) {
    const context = await browser.newContext({acceptDownloads: true});
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    page.errors = errors;
    await page.addInitScript({path: path.join(here, 'midi_double.js')});
    await page.addInitScript(setUp);
    await page.goto(url);
    await page.waitForSelector('body[data-ready="true"]');
    return {context, page};
}

// What reached the simulated converter: each message's bytes in hex, oldest first.
export async function received(page) {
    return page.evaluate(() => window.midiDouble.converter.received.map(
        (m) => m.bytes.map((b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ')));
}

// Waits until `condition` (run in the page) holds, for at most `ms`.
export async function until(page, condition, argument, ms = 5000) {
    await page.waitForFunction(condition, argument, {timeout: ms});
}
