// SPDX-License-Identifier: GPL-3.0-or-later
// The WebAssembly core gives the native core's bytes, names and file verdicts over one table.
import {test} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {createRequire} from 'node:module';
import fs from 'node:fs';
import path from 'node:path';
import {coreTable} from './core_table.mjs';
import {root, webFolder} from './support.mjs';

const files = fs.readdirSync(path.join(root, 'fuzz/corpus/syx')).sort()
    .map((name) => path.join(root, 'fuzz/corpus/syx', name));

test('the WebAssembly core answers as the native one', async () => {
    const createCore = createRequire(import.meta.url)(path.join(webFolder, 'core.js'));
    const core = await createCore({wasmBinary: fs.readFileSync(path.join(webFolder, 'core.wasm'))});
    const native = execFileSync(process.env.RDN417_CORE_TABLE ||
                                path.join(root, 'build/test/tests/web/web_core_table'), files,
                                {encoding: 'utf8', maxBuffer: 64 << 20}).trimEnd().split('\n');
    const web = coreTable(core, files);
    assert.equal(web.length, native.length);
    for (let i = 0; i < native.length; ++i)
        assert.equal(web[i], native[i], `line ${i + 1}`);
});
