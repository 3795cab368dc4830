// A stylus on the page: its samples reach the server as a tablet pen's when the
// server takes them, and drive the gestures when it does not; touch is unchanged.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';

import {launchBrowser, openPage, Pen, sleep, startServer, tempDir, Toucher, until} from './harness.mjs';

let browser;
before(async () => {
    browser = await launchBrowser();
});
after(async () => {
    await browser?.close();
});

// The lines from index from on, once there are at least count of them.
async function linesFrom(server, from, count, what) {
    await sleep(300);
    return until(() => server.lineCount() >= from + count && server.lines().slice(from), 5000, what);
}

const pen = (lines) => lines.filter((line) => line.startsWith('pen '));

// The page from a server of its own (extra: more of its options), attached, and a pen on it.
async function withPage(extra, body) {
    const server = await startServer({address: '127.0.0.2', stateDir: tempDir('penvale-state-'), extra});
    try {
        const page = await openPage(browser, server.url);
        const bar = await page.evaluate(() => PvPage.barHeight);
        await until(() => server.lines().includes('attach'), 5000, 'the page to attach');
        await body({server, page, bar, stylus: new Pen(page, bar)});
        assert.deepEqual(page.errors, []);
        await page.close();
    } finally {
        await server.stop();
    }
}

test('a pen sends its hover, pressure, tilt, barrel button and leaving; touch keeps the gestures', () =>
    withPage([], async ({server, page, bar, stylus}) => {
        await stylus.hover([100, 100]);
        await stylus.hover([110, 105], {tiltX: 10, tiltY: -5});
        await stylus.down([120, 110], {force: 0.1, tiltX: 10, tiltY: -5});
        for (let i = 1; i <= 4; ++i) {
            await stylus.move([120 + 10 * i, 110 + 5 * i], {force: 0.1 + 0.2 * i, tiltX: 10 + 10 * i, tiltY: -5});
        }
        await stylus.barrel([160, 130], true, {force: 0.9, tiltX: 50, tiltY: -5});
        await stylus.move([165, 132], {force: 0.95, tiltX: 50, tiltY: -5});
        await stylus.barrel([165, 132], false, {force: 0.95, tiltX: 50, tiltY: -5});
        await stylus.up([165, 132]);
        await stylus.hover([170, 140]);
        // Out of the surface, over the bar: out of its range.
        await stylus.send('mouseMoved', [170, -bar / 2]);
        await until(() => server.lines().includes('pen out'), 5000, 'the pen to leave');
        const lines = server.lines();
        assert.deepEqual(lines.filter((line) => !line.startsWith('pen ') && !line.startsWith('extent')), ['attach'],
            'a pen that sends samples sends no gesture stream: ' + lines.join(' | '));
        const samples = pen(lines);
        const kinds = samples.map((line) => line.split(' ').slice(0, 2).join(' ')).filter((kind, i, all) =>
            i === 0 || kind !== all[i - 1]);
        assert.deepEqual(kinds, ['pen hover', 'pen touch', 'pen buttons', 'pen touch', 'pen buttons', 'pen touch',
            'pen hover', 'pen out'], samples.join(' | '));
        assert.ok(samples.includes('pen buttons 2') && samples.includes('pen buttons 0'), samples.join(' | '));
        const touches = samples.filter((line) => line.startsWith('pen touch')).map((line) => line.split(' ').map(Number));
        const pressures = touches.map((fields) => fields[4]);
        for (let i = 1; i < pressures.length; ++i) {
            assert.ok(pressures[i] >= pressures[i - 1], 'pressure rising: ' + pressures.join(' '));
        }
        assert.ok(pressures[0] > 0 && pressures[0] < 600 && pressures.at(-1) > 3800, pressures.join(' '));
        assert.deepEqual(touches.map((fields) => fields[5]).slice(0, 5), [10, 20, 30, 40, 50]);
        assert.ok(touches.every((fields) => fields[6] === -5));
        // Positions as the gestures' would be: raw units of the surface, growing with the stroke.
        assert.ok(touches[0][2] > 0 && touches.at(-1)[2] > touches[0][2] && touches.at(-1)[3] > touches[0][3]);

        // A finger on the same page, once the pen has been gone for a second (touches give way to a pen in
        // range and just after): the gestures' bytes as before, no pen sample.
        await sleep(1100);
        const before = server.lineCount();
        await new Toucher(page, bar).tap([200, 200]);
        const touch = await linesFrom(server, before, 2, 'the tap');
        assert.deepEqual(touch.slice(-2), ['down', 'up'], touch.join(' | '));
        assert.deepEqual(pen(touch), []);
    }));

test('where the server takes no pen samples, a pen drives the gestures', () =>
    withPage(['--no-pen'], async ({server, stylus}) => {
        await stylus.hover([100, 100]);
        await stylus.down([120, 110], {force: 0.5});
        await stylus.move([160, 130], {force: 0.5});
        await stylus.up([160, 130]);
        await until(() => server.lines().filter((line) => line.startsWith('position')).length >= 2, 5000,
            'the slide to move the pointer');
        assert.deepEqual(pen(server.lines()), []);
        assert.ok(!server.lines().some((line) => line.startsWith('skipped')), server.lines().join(' | '));
    }));
