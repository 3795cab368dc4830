// The browser handheld end to end: the page served by the real penvale-server on
// a loopback address, in headless Chromium with a phone-sized touch screen.
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {fileURLToPath} from 'node:url';

import {canvasPixels, env, launchBrowser, openPage, Pen, playStep, settle, sleep, startServer, tapControl,
    tempDir, Toucher, until} from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const script = JSON.parse(fs.readFileSync(path.join(here, 'gestures.json'), 'utf8'));

let browser;
before(async () => {
    browser = await launchBrowser();
});
after(async () => {
    await browser?.close();
});

// Runs the Qt program under the script (a file, by default the shared one) against its own server; its lines
// and framebuffers.
async function runQt(stateDir, scriptPath = path.join(here, 'gestures.json')) {
    const server = await startServer({address: '127.0.0.3', stateDir, web: false});
    const out = tempDir('penvale-qt-');
    try {
        const child = spawn(env.replay, [scriptPath, '127.0.0.3', String(server.port), out], {
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
        // The Qt program has ended its connection; the page's is still open.
        const lines = server.lines();
        assert.match(lines.pop(), /^connection-end/);
        return {lines, snapshots, report: stdout};
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

test('a server stopped and started again: the next write reconnects, a fresh Extent comes first and no second Attach; ' +
    'a failed reconnection shows one box, and a touch that ended under it lifts when the box closes, never ' +
    'pressing or holding', async () => {
    const stateDir = tempDir('penvale-state-');
    const address = '127.0.0.4';
    let server = await startServer({address, stateDir});
    const webPort = server.webPort;
    try {
        const page = await openPage(browser, server.url);
        const toucher = new Toucher(page, page.bar);
        const boxText = () => page.evaluate(() => PvPage.boxText());
        const dismiss = async (text) => {
            assert.equal(await until(boxText, 10000, 'the box "' + text + '"'), text);
            await tapControl(page, '#box-ok');
            assert.equal(await boxText(), null);
        };
        await toucher.tap([100, 100]);
        await until(() => server.lines().length >= 4, 5000, 'the first tap');
        assert.deepEqual(server.lines(), ['attach', 'extent 1440 2384', 'down', 'up']);
        // The page kept the token and took it out of its address.
        assert.equal(await page.evaluate(() => location.search), '');

        // The server goes away: the page says so as the Qt program does; a touch on the box does nothing.
        await server.stop();
        await dismiss('CPV_Socket::OnClose');
        server = await startServer({address, stateDir, webPort});
        // A slide: the first move's write finds the connection closed and is lost, the program reconnects at
        // once; the lift calibrates again before anything of its own.
        await toucher.drag([[60, 60], [70, 60], [80, 64]]);
        await toucher.tap([100, 100]);
        await until(() => server.lines().length >= 5, 5000, 'the gestures after the restart');
        await sleep(300);
        assert.deepEqual(server.lines(), ['position 320 256', 'extent 1440 2384', 'up', 'position 320 256', 'down',
            'up']);
        assert.equal(await boxText(), null, 'a reconnection that worked is no failure');

        // Gone again, and still gone at the next write: one failure box, whatever the pen did meanwhile.
        await server.stop();
        await dismiss('CPV_Socket::OnClose');
        await toucher.send('touchStart', [80, 80]);
        await toucher.send('touchMove', [82, 80]);  // within the hold slop: a hold is still pending
        await until(boxText, 10000, 'the failure box');
        // The finger lifts under the box, long after a hold would have fired.
        await sleep(800);
        await toucher.send('touchEnd', [82, 80]);
        const failure = 'Unable to communicate with Penvale server.  Make sure Pocket PC is connected to the host PC ' +
            'and that Penvale server is running on the desktop.';
        assert.equal(await until(boxText, 10000, 'the failure box'), failure);
        await tapControl(page, '#box-ok');
        // Closing the box ends the gesture with the lift the box took; that write finds the desktop still
        // gone: one box more, and nothing after it.
        await dismiss(failure);
        await sleep(1000);
        assert.equal(await boxText(), null, 'no hold or press after the box closed');

        server = await startServer({address, stateDir, webPort});
        await toucher.tap([100, 100]);
        await until(() => server.lines().length >= 3, 5000, 'the tap after the second restart');
        await sleep(300);
        // The lift ended the slide, so this tap is a click again.
        assert.deepEqual(server.lines(), ['extent 1440 2384', 'down', 'up']);
        assert.equal(await boxText(), null);
        assert.deepEqual(page.errors, []);
        await page.close();
    } finally {
        await server.stop();
        fs.rmSync(stateDir, {recursive: true, force: true});
    }
});

test('the page: command bar, Tools menu with check marks, Settings and About dialogs, help, the action key, Exit',
    async () => {
        const stateDir = tempDir('penvale-state-');
        const server = await startServer({address: '127.0.0.5', stateDir});
        try {
            const page = await openPage(browser, server.url);
            const toucher = new Toucher(page, page.bar);
            const texts = (selector) => page.$$eval(selector, (list) => list.map((e) => e.textContent.trim()));
            const checked = () => page.$$eval('#submenu li', (list) =>
                list.filter((e) => e.getAttribute('aria-checked') === 'true').map((e) => e.textContent));
            await page.evaluate(() => {
                window.opened = [];
                window.open = (url) => {
                    window.opened.push(url);
                    return null;
                };
            });
            const opened = () => page.evaluate(() => window.opened.splice(0));

            // The six buttons in order, with their tips and images (each its own, none blank).
            assert.deepEqual(await page.$$eval('.tb', (list) => list.map((b) => [Number(b.dataset.command), b.title])), [
                [32778, 'Changes the Tablet Orientation'], [65010, 'Left Click'], [65011, 'Right Click'],
                [65012, 'Double Click'], [32792, 'Clear Screen'], [32793, 'Help']]);
            const images = await page.$$eval('.tb canvas', (list) => list.map((c) =>
                Array.from(c.getContext('2d').getImageData(0, 0, 16, 16).data).join(',')));
            assert.equal(new Set(images).size, 6);
            for (const image of images) {
                assert.ok(image.split(',').some((v, i) => i % 4 === 3 && v === '255'), 'a blank button image');
            }
            // No scrolling, zooming, selection or context menu on the surface.
            assert.equal(await page.$eval('#surface', (c) => getComputedStyle(c).touchAction), 'none');
            assert.equal(await page.evaluate(() => getComputedStyle(document.body).userSelect), 'none');
            assert.equal(await page.$eval('#surface', (c) =>
                !c.dispatchEvent(new MouseEvent('contextmenu', {bubbles: true, cancelable: true}))), true);

            // The action key is the left button: press, a tap, release.
            const key = (type) => page.cdp.send('Input.dispatchKeyEvent',
                {type, key: 'F23', code: 'F23', windowsVirtualKeyCode: 0x86, nativeVirtualKeyCode: 0x86});
            await key('keyDown');
            await toucher.tap([100, 100]);
            await key('keyUp');
            await until(() => server.lines().length >= 8, 5000, 'the action key gesture');
            assert.deepEqual(server.lines(), ['attach', 'extent 1440 2384', 'position 400 400', 'down', 'up',
                'position 400 400', 'down', 'up']);

            // The menu, and the check mark that follows the orientation.
            await tapControl(page, '#tools');
            assert.deepEqual(await texts('#menu li:not(.sep)'), ['Orientation', 'Settings...', 'Help...', 'About...',
                'Exit']);
            await tapControl(page, '#orientation');
            assert.deepEqual(await texts('#submenu li'), ['North', 'West', 'South', 'East']);
            assert.deepEqual(await checked(), ['North']);
            await tapControl(page, '#submenu [data-command="32777"]');
            assert.equal(await page.$eval('#menu', (m) => m.hidden), true);
            assert.deepEqual(await checked(), ['East']);
            assert.equal(await page.evaluate(() => localStorage.getItem('Orientation')), '32777');
            await tapControl(page, '.tb[data-command="32778"]');
            assert.deepEqual(await checked(), ['North']);

            // Help from the button, the menu and F1: the help file that this server serves.
            await tapControl(page, '.tb[data-command="32793"]');
            await tapControl(page, '#tools');
            await tapControl(page, '#menu [data-command="32793"]');
            await page.keyboard.press('F1');
            assert.deepEqual(await opened(), Array(3).fill('/Penvale.htm#Main_Contents'));
            const help = await page.evaluate(() => fetch('/Penvale.htm').then(async (r) => [r.status, await r.text()]));
            assert.equal(help[0], 200);
            assert.match(help[1], /(name|id)="Main_Contents"/);
            assert.match(help[1], /(name|id)="SettingsDialog"/);
            // The browser handheld's own help: how the page connects, no address fields or cradle.
            assert.match(help[1], /penvale-server --web/);
            assert.doesNotMatch(help[1], /172\.16\.42\.2|IP address/);

            // Settings: the stored default, Cancel stores nothing, help keeps the dialog open, OK always stores.
            await tapControl(page, '#tools');
            await tapControl(page, '#menu [data-command="107"]');
            assert.equal(await page.$eval('#settings-caption', (e) => e.textContent), 'Penvale Settings');
            assert.equal(await page.$eval('#settings legend', (e) => e.textContent),
                '0 <- Extended Drawing TIme (ms) -> 1000');
            assert.deepEqual(await page.$eval('#slider', (s) => [s.min, s.max, s.value]), ['0', '1000', '500']);
            assert.deepEqual(await page.$$eval('#settings .ticks', (list) => list.map((t) => t.children.length)),
                [11, 11]);
            await page.$eval('#slider', (s) => (s.value = '730'));
            await tapControl(page, '#settings-help');
            assert.deepEqual(await opened(), ['/Penvale.htm#SettingsDialog']);
            assert.equal(await page.$eval('#slider', (s) => s.value), '730');
            await tapControl(page, '#settings-cancel');
            assert.equal(await page.evaluate(() => localStorage.getItem('ExtendedDrawingTime')), null);
            await page.evaluate(() => localStorage.setItem('ExtendedDrawingTime', '1500'));
            await tapControl(page, '#tools');
            await tapControl(page, '#menu [data-command="107"]');
            assert.equal(await page.$eval('#slider', (s) => s.value), '1000');
            await tapControl(page, '#settings-ok');
            assert.equal(await page.evaluate(() => localStorage.getItem('ExtendedDrawingTime')), '1000');

            // About.
            await tapControl(page, '#tools');
            await tapControl(page, '#menu [data-command="57664"]');
            assert.equal(await page.$eval('#about-caption', (e) => e.textContent), 'About Penvale');
            const about = await texts('#about p');
            assert.equal(about[0], 'Penvale');
            assert.ok(about.includes('Version 1.0'));
            await tapControl(page, '#about-ok');
            assert.equal(await page.evaluate(() => PvPage.modal), false);

            // Nothing of the dialogs reached the desktop; Exit closes the connection and says so, sending nothing.
            assert.equal(server.lines().length, 8);
            await tapControl(page, '#tools');
            await tapControl(page, '#menu [data-command="57665"]');
            assert.match(await page.evaluate(() => document.body.textContent), /Penvale is closed/);
            await until(() => /disconnected .*\(web\)/.test(server.err), 5000, 'the server to see the page go');
            await until(() => server.lines().length >= 9, 5000, 'the end of the connection');
            assert.deepEqual(server.lines().slice(8), ['connection-end']);
            assert.deepEqual(page.errors, []);
            await page.close();
        } finally {
            await server.stop();
            fs.rmSync(stateDir, {recursive: true, force: true});
        }
    });

test('a move leaves without waiting for the next frame where the browser has pointerrawupdate; over plain HTTP ' +
    'pointermove carries it; both send the same lines', async () => {
    const steps = [{slide: [[60, 60], [70, 60], [80, 64], [95, 71], [110, 80]]}, {wait: 300},
        {holdDrag: [[60, 250], [70, 255], [90, 262], [120, 270], [150, 300]]}];
    const run = async (plainHttp) => {
        const stateDir = tempDir('penvale-state-');
        const server = await startServer({address: '127.0.0.7', stateDir});
        try {
            // Counts the messages sent from inside a pointermove's dispatch: between the window's capturing
            // listener, which runs first, and its bubbling one, which runs after the canvas's own.
            const page = await openPage(browser, server.url, {plainHttp, beforeLoad: () => {
                window.sends = {all: 0, inPointerMove: 0};
                let inPointerMove = false;
                const send = WebSocket.prototype.send;
                WebSocket.prototype.send = function (data) {
                    ++window.sends.all;
                    window.sends.inPointerMove += inPointerMove ? 1 : 0;
                    return send.call(this, data);
                };
                window.addEventListener('pointermove', () => (inPointerMove = true), true);
                window.addEventListener('pointermove', () => (inPointerMove = false));
            }});
            assert.equal(await page.evaluate(() => 'onpointerrawupdate' in window), !plainHttp);
            const toucher = new Toucher(page, page.bar);
            for (const step of steps) {
                await playStep(page, toucher, step, {});
            }
            await sleep(300);
            const sends = await page.evaluate(() => window.sends);
            assert.deepEqual(page.errors, []);
            const lines = server.lines();
            await page.close();
            return {lines, sends};
        } finally {
            await server.stop();
            fs.rmSync(stateDir, {recursive: true, force: true});
        }
    };
    const secure = await run(false);
    const plain = await run(true);
    assert.ok(secure.lines.filter((line) => line.startsWith('position')).length >= 8, secure.lines.join('\n'));
    assert.deepEqual(plain.lines, secure.lines);
    // Every position of the slides was sent before the browser dispatched its pointermove...
    assert.equal(secure.sends.inPointerMove, 0);
    // ...which over plain HTTP is what carries them.
    assert.ok(plain.sends.inPointerMove >= 7, JSON.stringify(plain.sends));
});

test('three plain taps 0.6 s apart click three times, in the page and in the Qt program; a double tap still ' +
    'double-clicks', async () => {
    const steps = [{tap: [100, 100]}, {wait: 600}, {tap: [100, 100]}, {wait: 600}, {tap: [100, 100]}, {wait: 600},
        {doubleTapDrag: [[200, 200]]}];
    // Three clicks, then the double tap's two clicks and the press it leaves for a drag.
    const taps = ['down', 'up', 'down', 'up', 'down', 'up', 'down', 'up', 'down', 'up', 'position 800 800', 'down',
        'up'];
    const stateDir = tempDir('penvale-state-');
    const server = await startServer({address: '127.0.0.8', stateDir});
    try {
        const page = await openPage(browser, server.url);
        const toucher = new Toucher(page, page.bar);
        for (const step of steps) {
            await playStep(page, toucher, step, {});
        }
        await until(() => server.lines().length >= 15, 5000, 'the taps');
        await sleep(300);
        assert.deepEqual(server.lines().slice(2), taps);
        const scriptPath = path.join(stateDir, 'taps.json');
        fs.writeFileSync(scriptPath, JSON.stringify({page: [360, 640], bar: page.bar, extendedDrawingTime: 500,
            steps}));
        const qt = await runQt(stateDir, scriptPath);
        assert.deepEqual(qt.lines.slice(2), taps);
        await page.close();
    } finally {
        await server.stop();
        fs.rmSync(stateDir, {recursive: true, force: true});
    }
});

test('a refused page says why in words before the first touch: an old token, a foreign page, a busy desktop; ' +
    'the bar shows the connection; the first touch of the surface asks for full screen', async () => {
    const stateDir = tempDir('penvale-state-');
    const server = await startServer({address: '127.0.0.9', stateDir});
    // The page under a host name of its own (mapped to the server's loopback address): another origin.
    const named = await launchBrowser(['--host-resolver-rules=MAP penvale-desk.test 127.0.0.9']);
    let holder = null;
    try {
        const notice = (page) => page.$eval('#notice', (e) => (e.hidden ? null : e.innerText.replace(/\s+/g, ' ')));
        const link = (page) => page.$eval('#link', (e) => [e.dataset.state, e.title]);
        const opened = async (url, launched = browser) => {
            const page = await openPage(launched, url);
            return page;
        };

        // The right address: connected, and the first touch asks for the whole screen.
        const good = await opened(server.url);
        await until(async () => (await link(good))[0] === 'connected', 5000, 'the connected dot');
        assert.deepEqual(await link(good), ['connected', 'Connected to the desktop']);
        assert.equal(await notice(good), null);
        assert.equal(await good.evaluate(() => PvPage.fullscreenRequests), 0);
        const toucher = new Toucher(good, good.bar);
        await toucher.tap([100, 100]);
        assert.equal(await good.evaluate(() => PvPage.fullscreenRequests), 1);
        await toucher.tap([200, 300]);
        assert.equal(await good.evaluate(() => PvPage.fullscreenRequests), 1, 'asked once');
        await good.close();
        await until(() => /disconnected .*\(web\)/.test(server.err), 5000, 'the server to see the page go');

        // The desktop's own browser finds the code large at /connect, and a camera reads the page's address off it.
        const connect = await browser.newPage();
        await connect.setViewport({width: 900, height: 700});
        const answer = await connect.goto(server.url.replace(/\/\?t=.*/, '/connect'));
        assert.equal(answer.status(), 200);
        const shot = path.join(stateDir, 'connect.png');
        await connect.screenshot({path: shot});
        await connect.close();
        const read = spawnSync('zbarimg', ['--raw', '-q', shot], {encoding: 'utf8'});
        assert.equal(read.stdout.trim(), server.url, read.stderr);

        // An old token: the words, with what to do, and no touch needed to see them.
        const wrong = server.url.replace(/t=[0-9a-f]+/, 't=' + '0'.repeat(32));
        const old = await opened(wrong);
        const oldText = await until(() => notice(old), 5000, 'the words for an old token');
        assert.match(oldText, /The desktop did not accept this page/);
        assert.match(oldText, /Scan the code the desktop shows again/);
        assert.deepEqual(await link(old), ['disconnected', 'Not connected to the desktop']);
        // The notice covers the surface: a touch there reaches nothing.
        await new Toucher(old, old.bar).tap([100, 200]);
        await old.close();

        // A page opened under another name than the address the desktop printed.
        const foreign = await opened(server.url.replace('127.0.0.9', 'penvale-desk.test'), named);
        assert.match(await until(() => notice(foreign), 5000, 'the words for a foreign page'),
            /Open the address the desktop printed/);
        await foreign.close();

        // Another handheld (a TCP one at 127.0.0.10) holds the desktop.
        holder = net.connect({host: '127.0.0.9', port: server.port, localAddress: '127.0.0.10'});
        await new Promise((resolve, reject) => holder.once('connect', resolve).once('error', reject));
        holder.write('+');
        await until(() => server.lines().includes('attach'), 5000, 'the other handheld');
        const busy = await opened(server.url);
        const busyText = await until(() => notice(busy), 5000, 'the words for a busy desktop');
        assert.match(busyText, /Another handheld is in use: 127\.0\.0\.10/);
        assert.deepEqual(await link(busy), ['disconnected', 'Not connected to the desktop']);
        // Once it has gone, Try again gets in.
        holder.destroy();
        holder = null;
        await until(() => /disconnected 127\.0\.0\.10/.test(server.err), 5000, 'the other handheld to go');
        // The design's box for the closed connection stays above the words; it is answered first.
        while (await busy.evaluate(() => PvPage.boxText()) !== null) {
            await tapControl(busy, '#box-ok');
        }
        await Promise.all([busy.waitForNavigation({timeout: 10000}), busy.tap('#notice-retry')]);
        await busy.waitForFunction(() => typeof PvPage !== 'undefined' && PvPage.link === 'connected',
            {timeout: 10000});
        assert.equal(await notice(busy), null);

        // The server goes: the dot says so.
        await server.stop();
        await until(async () => (await link(busy))[0] === 'disconnected', 5000, 'the dot to go out');
        // Something on its port that never answers: the next stroke's reconnection hangs, and the dot says so.
        const silent = net.createServer(() => {});
        await new Promise((resolve) => silent.listen(server.webPort, '127.0.0.9', resolve));
        try {
            while (await busy.evaluate(() => PvPage.boxText()) !== null) {
                await tapControl(busy, '#box-ok');
            }
            await new Toucher(busy, busy.bar).drag([[60, 60], [80, 60]]);
            await until(async () => (await link(busy))[0] === 'reconnecting', 5000, 'the connecting dot');
            assert.deepEqual(await link(busy), ['reconnecting', 'Connecting to the desktop...']);
        } finally {
            silent.close();
        }
        assert.deepEqual(busy.errors, []);
        const lines = server.lines();
        assert.equal(lines.filter((line) => line === 'down').length, 2, lines.join(' '));  // the good page's taps only
        await busy.close();
    } finally {
        holder?.destroy();
        await named.close();
        await server.stop();
        fs.rmSync(stateDir, {recursive: true, force: true});
    }
});

test('touch screens get 44-pixel controls and a surface drawn in whole device pixels', async () => {
    const stateDir = tempDir('penvale-state-');
    const server = await startServer({address: '127.0.0.11', stateDir});
    try {
        const page = await openPage(browser, server.url, {width: 800, height: 1280});
        const small = async (selector) => page.$$eval(selector, (list) => list.filter((e) => {
            const box = e.getBoundingClientRect();
            return box.width > 0 && (box.width < 44 || box.height < 44);
        }).map((e) => e.id || e.className || e.textContent));
        assert.equal(page.bar, 44);
        assert.deepEqual(await small('#bar button'), []);
        await tapControl(page, '#tools');
        assert.deepEqual(await small('#menu li:not(.sep)'), []);
        await tapControl(page, '#menu [data-command="107"]');
        assert.deepEqual(await small('#settings button'), []);
        await tapControl(page, '#settings-cancel');
        assert.equal(await page.$eval('#surface', (c) => getComputedStyle(c).imageRendering), 'pixelated');
        assert.deepEqual(page.errors, []);
        await page.close();
    } finally {
        await server.stop();
        fs.rmSync(stateDir, {recursive: true, force: true});
    }
});

// The lines the server printed from index on.
const linesFrom = (server, index) => server.lines().slice(index);

for (const [width, height] of [[360, 640], [800, 1280]]) {
    test(`palm and pen on a ${width} x ${height} screen, the pen driving gestures: a palm resting before, during ` +
        'and after a pen stroke presses nothing; a touch double tap 15 pixels apart is a double tap, a pen one is not',
    async () => {
        const stateDir = tempDir('penvale-state-');
        // A desktop that takes no pen samples: the pen drives the gestures, as a finger does.
        const server = await startServer({address: '127.0.0.17', stateDir, extra: ['--no-pen']});
        try {
            // This page has seen a pen before.
            const page = await openPage(browser, server.url, {width, height, storage: {PenSeen: '1'}});
            const pen = new Pen(page, page.bar);
            const palm = (type, point) => page.cdp.send('Input.dispatchTouchEvent', {type,
                touchPoints: type === 'touchEnd' ? [] : [{x: point[0], y: point[1] + page.bar, id: 7,
                    radiusX: 30, radiusY: 40}]});
            const start = server.lines().length;
            await pen.hover([50, 50]);
            await palm('touchStart', [300, 500]);
            await sleep(600);  // long enough for a hold, were the palm driving
            await palm('touchMove', [302, 503]);
            await pen.stroke([[60, 60], [100, 80], [140, 100]]);
            await palm('touchMove', [305, 506]);
            await sleep(600);
            await palm('touchEnd', [305, 506]);
            await sleep(300);
            const stroke = linesFrom(server, start);
            assert.ok(!stroke.includes('down'), stroke.join(' '));
            assert.ok(stroke.includes('position 560 400'), 'the pen moved the pointer: ' + stroke.join(' '));
            // Nothing of the palm reached the desktop (it lies right of x 1000 in raw units).
            assert.ok(stroke.every((line) => !line.startsWith('position') || Number(line.split(' ')[1]) < 1000),
                stroke.join(' '));

            // A pen's double tap is a stylus's: 15 pixels apart are two taps.
            const before = server.lines().length;
            await pen.stroke([[100, 200]]);
            await sleep(100);
            await pen.stroke([[115, 200]]);
            await sleep(1200);  // the pen's second: touches drive again after it
            const toucher = new Toucher(page, page.bar);
            await toucher.tap([100, 300]);
            await sleep(100);
            await toucher.tap([115, 300]);
            await until(() => server.lines().length >= before + 9, 5000, 'the taps');
            await sleep(300);
            assert.deepEqual(linesFrom(server, before), ['down', 'up', 'down', 'up',  // two pen taps, two clicks
                'down', 'up', 'down', 'up', 'position 460 1200', 'down', 'up']);  // a finger's double tap
            assert.equal(await page.evaluate(() => localStorage.getItem('PenSeen')), '1');
            assert.deepEqual(page.errors, []);
            await page.close();
        } finally {
            await server.stop();
            fs.rmSync(stateDir, {recursive: true, force: true});
        }
    });
}

test('the page going away ends a hold-drag at once and the same touch starts nothing after; a box during a ' +
    'hold-drag lifts the pen when it closes, so quick slides after it press nothing', async () => {
    const stateDir = tempDir('penvale-state-');
    const server = await startServer({address: '127.0.0.18', stateDir});
    try {
        const page = await openPage(browser, server.url);
        const touch = (type, point) => page.cdp.send('Input.dispatchTouchEvent', {type,
            touchPoints: type === 'touchEnd' ? [] : [{x: point[0], y: point[1] + page.bar, id: 1}]});
        await touch('touchStart', [60, 250]);
        await until(() => server.lines().includes('down'), 3000, 'the hold');
        await touch('touchMove', [80, 260]);
        await settle(page);
        // The phone switches to another app.
        let index = server.lines().length;
        const hidden = Date.now();
        await page.evaluate(() => {
            Object.defineProperty(document, 'visibilityState', {value: 'hidden', configurable: true});
            document.dispatchEvent(new Event('visibilitychange'));
        });
        await until(() => linesFrom(server, index).includes('up'), 2000, 'the release');
        assert.ok(Date.now() - hidden < 200, 'released after ' + (Date.now() - hidden) + ' ms');
        // Back again: the same touch moving and lifting is no gesture; a new touch starts fresh.
        await page.evaluate(() => {
            Object.defineProperty(document, 'visibilityState', {value: 'visible', configurable: true});
            document.dispatchEvent(new Event('visibilitychange'));
        });
        await sleep(700);  // past the extended drawing time the release opened
        index = server.lines().length;
        await touch('touchMove', [120, 300]);
        await touch('touchEnd', [120, 300]);
        await sleep(200);
        assert.deepEqual(linesFrom(server, index), []);
        await new Toucher(page, page.bar).tap([200, 200]);
        await until(() => linesFrom(server, index).length >= 2, 3000, 'the fresh tap');
        assert.deepEqual(linesFrom(server, index), ['down', 'up']);

        // A box comes up during a hold-drag and the finger lifts under it.
        await sleep(600);
        await touch('touchStart', [60, 400]);
        await until(() => linesFrom(server, index).length >= 5, 3000, 'the second hold');
        await touch('touchMove', [90, 420]);
        await settle(page);
        await page.evaluate(() => PvPage.messageBox('A box'));
        await touch('touchEnd', [90, 420]);
        index = server.lines().length;
        await tapControl(page, '#box-ok');
        await until(() => linesFrom(server, index).includes('up'), 2000, 'the lift at the box\'s end');
        await sleep(700);  // past the extended drawing time
        index = server.lines().length;
        const toucher = new Toucher(page, page.bar);
        await toucher.drag([[100, 100], [130, 110], [160, 120]]);
        await toucher.drag([[100, 200], [130, 210], [160, 220]]);
        await sleep(300);
        const slides = linesFrom(server, index);
        assert.ok(slides.length > 0 && !slides.includes('down'), slides.join(' '));
        assert.deepEqual(page.errors, []);
        await page.close();
    } finally {
        await server.stop();
        fs.rmSync(stateDir, {recursive: true, force: true});
    }
});

test('palm and pen where the desktop takes the pen\'s samples: the palm drives nothing, the pen\'s samples go out',
    async () => {
        const stateDir = tempDir('penvale-state-');
        const server = await startServer({address: '127.0.0.19', stateDir});
        try {
            const page = await openPage(browser, server.url, {storage: {PenSeen: '1'}});
            const pen = new Pen(page, page.bar);
            const palm = (type, point) => page.cdp.send('Input.dispatchTouchEvent', {type,
                touchPoints: type === 'touchEnd' ? [] : [{x: point[0], y: point[1] + page.bar, id: 7}]});
            await pen.hover([50, 50]);
            await palm('touchStart', [300, 500]);
            await sleep(600);
            await pen.stroke([[60, 60], [100, 80], [140, 100]]);
            await palm('touchMove', [305, 506]);
            await palm('touchEnd', [305, 506]);
            await sleep(300);
            const lines = server.lines();
            assert.ok(lines.some((line) => line.startsWith('pen touch 560 400')), lines.join(' '));
            assert.ok(!lines.some((line) => line === 'down' || line.startsWith('position')), lines.join(' '));
            assert.deepEqual(page.errors, []);
            await page.close();
        } finally {
            await server.stop();
            fs.rmSync(stateDir, {recursive: true, force: true});
        }
    });
