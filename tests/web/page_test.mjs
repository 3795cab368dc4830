// The browser handheld end to end: the page served by the real penvale-server on
// a loopback address, in headless Chromium with a phone-sized touch screen.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {fileURLToPath} from 'node:url';

import {canvasPixels, env, launchBrowser, openPage, playStep, settle, sleep, startServer, tapControl, tempDir,
    Toucher, until} from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const script = JSON.parse(fs.readFileSync(path.join(here, 'gestures.json'), 'utf8'));

let browser;
before(async () => {
    browser = await launchBrowser();
});
after(async () => {
    await browser?.close();
});

// Runs the Qt program under the script against its own server; its lines and framebuffers.
async function runQt(stateDir) {
    const server = await startServer({address: '127.0.0.3', stateDir, web: false});
    const out = tempDir('penvale-qt-');
    try {
        const child = spawn(env.replay, [path.join(here, 'gestures.json'), '127.0.0.3', String(server.port), out], {
            stdio: ['ignore', 'pipe', 'pipe'],
            env: {...process.env, QT_QPA_PLATFORM: 'offscreen', XDG_RUNTIME_DIR: out},
        });
        let stdout = '';
        let stderr = '';
        child.stdout.on('data', (data) => (stdout += data));
        child.stderr.on('data', (data) => (stderr += data));
        const code = await new Promise((resolve) => child.on('exit', resolve));
        assert.equal(code, 0, 'the Qt program failed: ' + stderr);
        await sleep(300);
        const snapshots = {};
        for (const line of stdout.split('\n')) {
            const match = line.match(/^snapshot (\S+) (\d+) (\d+)$/);
            if (match) {
                snapshots[match[1]] = {width: Number(match[2]), height: Number(match[3]),
                    data: fs.readFileSync(path.join(out, match[1] + '.rgba'))};
            }
        }
        return {lines: server.lines(), snapshots, report: stdout};
    } finally {
        await server.stop();
        fs.rmSync(out, {recursive: true, force: true});
    }
}

function differingPixels(a, b) {
    let count = 0;
    let first = null;
    for (let i = 0; i < a.data.length; i += 4) {
        if (a.data[i] !== b.data[i] || a.data[i + 1] !== b.data[i + 1] || a.data[i + 2] !== b.data[i + 2]) {
            ++count;
            first ??= {x: (i / 4) % a.width, y: Math.floor(i / 4 / a.width)};
        }
    }
    return {count, first};
}

test('the page and the Qt program send the same messages and show the same pixels for one gesture script',
    async () => {
        const stateDir = tempDir('penvale-state-');
        const server = await startServer({address: '127.0.0.2', stateDir});
        try {
            const [width, height] = script.page;
            const page = await openPage(browser, server.url, {width, height,
                storage: {ExtendedDrawingTime: String(script.extendedDrawingTime)}});
            assert.equal(await page.evaluate(() => PvPage.barHeight), script.bar);
            const toucher = new Toucher(page, script.bar);
            const snapshots = {};
            for (const step of script.steps) {
                await playStep(page, toucher, step, snapshots);
            }
            await sleep(300);
            const web = {lines: server.lines(), snapshots};
            // The dialog stored what it showed, under the profile's own name.
            assert.equal(await page.evaluate(() => localStorage.getItem('ExtendedDrawingTime')), '200');
            assert.equal(await page.evaluate(() => localStorage.getItem('Orientation')), '32776');
            assert.deepEqual(page.errors, []);
            assert.equal(await page.evaluate(() => PvPage.boxText()), null);

            const qt = await runQt(stateDir);
            assert.match(qt.report, /^setting ExtendedDrawingTime 200$/m);
            assert.doesNotMatch(qt.report, /^box /m);
            // Something of every kind happened, and exactly as in the Qt program.
            for (const kind of ['attach', 'extent', 'position', 'down', 'up', 'right-click']) {
                assert.ok(web.lines.some((line) => line.startsWith(kind)), 'no ' + kind + ' line');
            }
            assert.deepEqual(web.lines, qt.lines);
            for (const name of ['upright', 'rotated']) {
                const a = web.snapshots[name];
                const b = qt.snapshots[name];
                assert.deepEqual([a.width, a.height], [b.width, b.height], name + ' size');
                assert.deepEqual(differingPixels(a, b), {count: 0, first: null}, name + ' pixels');
            }
            await page.close();
        } finally {
            await server.stop();
            fs.rmSync(stateDir, {recursive: true, force: true});
        }
    });
