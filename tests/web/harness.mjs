// Shared pieces of the browser tests: the real penvale-server on a loopback
// address, headless Chromium driven over the DevTools protocol, and a player for
// the gesture script. Every wait is bounded.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

export const env = {
    server: process.env.PENVALE_SERVER,
    bundle: process.env.PENVALE_WEB_BUNDLE,
    replay: process.env.PENVALE_QT_REPLAY,
    chromium: process.env.PENVALE_CHROMIUM || '/usr/bin/chromium',
};

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export function tempDir(prefix) {
    return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// Waits until check() gives something truthy, at most timeoutMs.
export async function until(check, timeoutMs, what) {
    const end = Date.now() + timeoutMs;
    for (;;) {
        const value = await check();
        if (value) {
            return value;
        }
        if (Date.now() > end) {
            throw new Error('timed out waiting for ' + what);
        }
        await sleep(20);
    }
}

// penvale-server --print on address; web: serve the page too (webPort 0 picks one); extra: more options.
export async function startServer({address, stateDir, web = true, webPort = 0, extra = []}) {
    const args = ['--listen', address, '--port', '0', '--print', '--state-dir', stateDir, ...extra];
    if (web) {
        args.push('--web', String(webPort), '--web-root', env.bundle);
    }
    const child = spawn(env.server, args, {stdio: ['ignore', 'pipe', 'pipe']});
    const server = {child, out: '', err: '', exited: false, waiters: [], complete: [], partial: ''};
    child.stdout.setEncoding('utf8');
    child.stdout.on('data', (data) => {
        server.out += data;
        // Only the new text is split: a benchmark's hundred thousand lines must not slow each wake-up.
        const parts = (server.partial + data).split('\n');
        server.partial = parts.pop();
        for (const line of parts) {
            if (line !== '') {
                server.complete.push(line);
            }
        }
        const count = server.complete.length;
        server.waiters = server.waiters.filter((waiter) => (count >= waiter.count ? (waiter.resolve(), false) : true));
    });
    child.stderr.on('data', (data) => (server.err += data));
    child.on('exit', () => (server.exited = true));
    // Every line printed so far, the last one even before its newline.
    server.lines = () => (server.partial !== '' ? [...server.complete, server.partial] : server.complete.slice());
    server.lineCount = () => server.complete.length;
    // Resolves as soon as count lines have been printed (no polling: benchmarks time it).
    server.waitLines = (count, timeoutMs = 5000) => new Promise((resolve, reject) => {
        if (server.lineCount() >= count) {
            resolve();
            return;
        }
        const timer = setTimeout(() => reject(new Error('timed out waiting for line ' + count)), timeoutMs);
        server.waiters.push({count, resolve: () => (clearTimeout(timer), resolve())});
    });
    server.stop = async () => {
        if (!server.exited) {
            child.kill('SIGTERM');
            await until(() => server.exited, 10000, 'the server to stop');
        }
    };
    const listening = await until(() => server.err.match(/listening on [\d.]+:(\d+)/) || server.exited, 10000,
        'the server to listen');
    if (server.exited) {
        throw new Error('penvale-server ended: ' + server.err);
    }
    server.port = Number(listening[1]);
    if (web) {
        const open = await until(() => server.err.match(/browser handheld: open (http:\S+)/), 10000, 'the page address');
        server.url = open[1];
        server.webPort = Number(new URL(server.url).port);
    }
    return server;
}

// extraArgs: more Chromium switches (a host name mapped to a loopback address, say).
export async function launchBrowser(extraArgs = []) {
    const userDataDir = tempDir('penvale-chromium-');
    const browser = await puppeteer.launch({
        executablePath: env.chromium,
        headless: true,
        userDataDir,
        args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync', ...extraArgs],
    });
    const close = browser.close.bind(browser);
    browser.close = async () => {
        await close();
        fs.rmSync(userDataDir, {recursive: true, force: true});
    };
    return browser;
}

// Runs in a page before its scripts: takes away what browsers offer in secure contexts only, so that the page
// on loopback (a secure context) behaves as over plain HTTP on a LAN. The window holds its event handler
// attributes itself.
function withoutSecureContextInput() {
    for (const holder of [window, Window.prototype, Document.prototype, HTMLElement.prototype, SVGElement.prototype]) {
        delete holder.onpointerrawupdate;
    }
    delete PointerEvent.prototype.getCoalescedEvents;
}

// A phone-sized touch page at url, with the profile values preset in its storage. plainHttp: as over plain
// HTTP (no pointerrawupdate, no getCoalescedEvents); beforeLoad (a function, with its argument) runs in the
// page before any of the page's scripts.
export async function openPage(browser, url, {width = 360, height = 640, storage = {}, plainHttp = false,
    beforeLoad = null, beforeLoadArg = null} = {}) {
    const page = await browser.newPage();
    page.errors = [];
    page.on('pageerror', (error) => page.errors.push(error.message));
    page.on('console', (message) => {
        // The browser's own report of a refused connection is expected where a test stops the server.
        if (message.type() === 'error' && !message.text().startsWith('WebSocket connection to')) {
            page.errors.push(message.text());
        }
    });
    await page.setViewport({width, height, isMobile: true, hasTouch: true, deviceScaleFactor: 1});
    await page.evaluateOnNewDocument((values) => {
        for (const [key, value] of Object.entries(values)) {
            if (localStorage.getItem(key) === null) {
                localStorage.setItem(key, value);
            }
        }
    }, storage);
    if (plainHttp) {
        await page.evaluateOnNewDocument(withoutSecureContextInput);
    }
    if (beforeLoad !== null) {
        await page.evaluateOnNewDocument(beforeLoad, beforeLoadArg);
    }
    const started = Date.now();
    await page.goto(url);
    await page.waitForFunction(() => typeof PvPage !== 'undefined' && PvPage.firstPresent !== null,
        {timeout: 15000});
    page.loadMs = Date.now() - started;
    // The bar's height: 44 CSS pixels on a touch screen, 40 with a mouse.
    page.bar = await page.evaluate(() => PvPage.barHeight);
    page.cdp = await page.createCDPSession();
    return page;
}

// Two animation frames: whatever the surface drew has reached the canvas.
export async function settle(page) {
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
}

export class Toucher {
    constructor(page, bar) {
        this.page = page;
        this.bar = bar;
    }
    async send(type, point) {
        const touchPoints = type === 'touchEnd' ? [] : [{x: point[0], y: point[1] + this.bar, id: 1}];
        await this.page.cdp.send('Input.dispatchTouchEvent', {type, touchPoints});
        // Each sample is handled before the next, so that none are merged (the Qt run merges none).
        await settle(this.page);
    }
    async drag(points, holdMs = 0) {
        await this.send('touchStart', points[0]);
        if (holdMs > 0) {
            await sleep(holdMs);
        }
        for (const point of points.slice(1)) {
            await this.send('touchMove', point);
        }
        await this.send('touchEnd', points[points.length - 1]);
    }
    tap(point) {
        return this.drag([point]);
    }
}

// A pen as the DevTools protocol plays it: y is on the surface (below the bar).
export class Pen {
    constructor(page, bar) {
        this.page = page;
        this.bar = bar;
        this.buttons = 0;
    }
    async send(type, [x, y], {force = 0, tiltX = 0, tiltY = 0, button = 'none'} = {}) {
        await this.page.cdp.send('Input.dispatchMouseEvent', {type, x, y: y + this.bar, pointerType: 'pen',
            force, tiltX, tiltY, button, buttons: this.buttons, clickCount: button === 'none' ? 0 : 1});
        await settle(this.page);
    }
    hover(point, tilt = {}) {
        return this.send('mouseMoved', point, tilt);
    }
    async down(point, detail) {
        this.buttons |= 1;
        await this.send('mousePressed', point, {...detail, button: 'left'});
    }
    move(point, detail) {
        return this.send('mouseMoved', point, detail);
    }
    async barrel(point, pressed, detail) {
        this.buttons = pressed ? this.buttons | 2 : this.buttons & ~2;
        await this.send(pressed ? 'mousePressed' : 'mouseReleased', point, {...detail, button: 'right'});
    }
    async up(point) {
        this.buttons &= ~1;
        await this.send('mouseReleased', point, {button: 'left'});
    }
    // Down at the first point, through the others, up at the last.
    async stroke(points, detail) {
        await this.down(points[0], detail);
        for (const point of points.slice(1)) {
            await this.move(point, detail);
        }
        await this.up(points[points.length - 1]);
    }
}

// Taps a control of the page (the bar, the menu, a dialog) as a finger would.
export async function tapControl(page, selector) {
    await page.waitForSelector(selector, {visible: true, timeout: 5000});
    await page.tap(selector);
    await settle(page);
}

export async function canvasPixels(page) {
    await settle(page);
    return page.evaluate(() => {
        const canvas = document.getElementById('surface');
        const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
        let text = '';
        for (let i = 0; i < data.length; i += 8192) {
            text += String.fromCharCode.apply(null, data.subarray(i, i + 8192));
        }
        return {width: canvas.width, height: canvas.height, base64: btoa(text)};
    }).then(({width, height, base64}) => ({width, height, data: Buffer.from(base64, 'base64')}));
}

// Plays one step of the gesture script on the page.
export async function playStep(page, toucher, step, snapshots) {
    if (step.tap) {
        await toucher.tap(step.tap);
    } else if (step.wait) {
        await sleep(step.wait);
    } else if (step.slide) {
        await toucher.drag(step.slide);
    } else if (step.holdDrag) {
        await toucher.drag(step.holdDrag, 1000);
    } else if (step.doubleTapDrag) {
        await toucher.tap(step.doubleTapDrag[0]);
        await sleep(60);
        await toucher.drag(step.doubleTapDrag);
    } else if (step.doubleTapApart) {
        await toucher.tap(step.doubleTapApart[0]);
        await sleep(60);
        await toucher.drag(step.doubleTapApart.slice(1));
    } else if (step.holdDrift) {
        const [start, drifted, ...rest] = step.holdDrift;
        await toucher.send('touchStart', start);
        await toucher.send('touchMove', drifted);
        await sleep(1000);
        for (const point of rest) {
            await toucher.send('touchMove', point);
        }
        await toucher.send('touchEnd', rest[rest.length - 1]);
    } else if (step.command) {
        await tapControl(page, `.tb[data-command="${step.command}"]`);
    } else if (step.orientation) {
        await tapControl(page, '#tools');
        await tapControl(page, '#orientation');
        await tapControl(page, `#submenu [data-command="${step.orientation}"]`);
    } else if (step.resize) {
        await page.setViewport({width: step.resize[0], height: step.resize[1], isMobile: true, hasTouch: true,
            deviceScaleFactor: 1});
        await until(() => page.evaluate((w) => document.getElementById('surface').width === w, step.resize[0]),
            5000, 'the canvas to follow the rotation');
        await settle(page);
    } else if (step.settings !== undefined) {
        await tapControl(page, '#tools');
        await tapControl(page, '#menu [data-command="107"]');
        await page.$eval('#slider', (slider, value) => {
            slider.value = String(value);
            slider.dispatchEvent(new Event('input', {bubbles: true}));
        }, step.settings);
        await tapControl(page, '#settings-ok');
    } else if (step.snapshot) {
        snapshots[step.snapshot] = await canvasPixels(page);
    }
}
