// Figures for the browser handheld, in headless Chromium against penvale-server on
// loopback: the cost of one 16-point PenMove in WebAssembly, touch-to-decoded-line
// latency split into the browser's delivery, our handler and the way to the server's
// line, the page's transfer size and the time to the first painted grid.
//
//   PENVALE_SERVER=build/server/penvale-server PENVALE_WEB_BUNDLE=build/web-bundle node bench/web/web_bench.mjs
import crypto from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

import {launchBrowser, openPage, sleep, startServer, tempDir, Toucher} from '../../tests/web/harness.mjs';

function percentile(sorted, p) {
    return sorted[Math.min(sorted.length - 1, Math.floor((sorted.length * p) / 100))];
}
const fixed = (value, digits = 1) => value.toFixed(digits);
// "p50 / p99" of one part of the samples.
function split(samples, part) {
    const values = samples.map((sample) => sample[part]).sort((a, b) => a - b);
    return `${fixed(percentile(values, 50), 2)} / ${fixed(percentile(values, 99), 2)}`;
}

// In the page before its scripts: every handler's event (its timeStamp is when the browser took the touch)
// and every message the page hands to its WebSocket, with its bytes.
function instrumentPage(plainHttp) {
    window.pvProbe = {events: [], sends: [], stream: []};
    const send = WebSocket.prototype.send;
    WebSocket.prototype.send = function (data) {
        const t = performance.now();
        const result = send.call(this, data);
        const view = ArrayBuffer.isView(data) ? new Uint8Array(data.buffer, data.byteOffset, data.byteLength)
                                              : new Uint8Array(data);
        window.pvProbe.sends.push({t, index: window.pvProbe.stream.length});
        window.pvProbe.stream.push(Array.from(view));
        return result;
    };
    // Plain HTTP: no pointerrawupdate listener at all, as one would make the browser produce those events.
    for (const type of plainHttp ? ['pointermove', 'pointerup'] : ['pointerrawupdate', 'pointermove', 'pointerup']) {
        window.addEventListener(type, (event) => {
            window.pvProbe.events.push({type, stamp: event.timeStamp, t: performance.now()});
        }, true);
    }
}

// The offset that turns the page's clock into this script's, from the quickest of many round trips.
async function matchClocks(page) {
    let best = null;
    for (let i = 0; i < 60; ++i) {
        const before = performance.now();
        const inPage = await page.evaluate(() => performance.timeOrigin + performance.now());
        const after = performance.now();
        if (best === null || after - before < best.roundTrip) {
            best = {roundTrip: after - before, offset: inPage - performance.timeOrigin - (before + after) / 2};
        }
    }
    const pageOrigin = await page.evaluate(() => performance.timeOrigin);
    return {toScript: (t) => t + pageOrigin - best.offset - performance.timeOrigin, error: best.roundTrip / 2};
}

async function latencyRun(browser, server, plainHttp) {
    const page = await openPage(browser, server.url, {plainHttp, beforeLoad: instrumentPage, beforeLoadArg: plainHttp});
    const toucher = new Toucher(page, 40);
    const clock = await matchClocks(page);
    const frameMs = await page.evaluate(() => new Promise((resolve) => {
        const times = [];
        const frame = (t) => (times.push(t) < 31 ? requestAnimationFrame(frame) : resolve((times[30] - times[0]) / 30));
        requestAnimationFrame(frame);
    }));
    const handlerType = plainHttp ? 'pointermove' : 'pointerrawupdate';
    const measured = [];
    // One touch at a time: from handing it to the browser until its first line was printed.
    const once = async (params, type) => {
        await page.evaluate(() => {
            window.pvProbe.events = [];
            window.pvProbe.sends = [];
        });
        const before = server.lineCount();
        const started = performance.now();
        const acknowledged = page.cdp.send('Input.dispatchTouchEvent', params);
        await server.waitLines(before + 1);
        const printed = performance.now();
        await acknowledged;
        const probe = await page.evaluate(() => window.pvProbe);
        const event = probe.events.find((e) => e.type === type);
        const sent = event && probe.sends.find((s) => s.t >= event.t);
        if (!event || !sent) {
            throw new Error(`no ${type} handler or no message for a touch`);
        }
        measured.push(sent.index);
        return {total: printed - started, browser: clock.toScript(event.t) - started, queued: event.t - event.stamp,
            page: sent.t - event.t, wire: printed - clock.toScript(sent.t)};
    };
    // Positions are sent from a move only once the hold's slop is left behind.
    await toucher.send('touchStart', [100, 100]);
    await toucher.send('touchMove', [150, 100]);
    await sleep(50);
    // A finger's samples come at any point of the display's frame: each touch waits a random part of a frame
    // first (sent at once after the last line, they would all land just after a frame began).
    const anyPhase = () => sleep(Math.random() * frameMs);
    const moves = [];
    for (let i = 0; i < 300; ++i) {
        await anyPhase();
        moves.push(await once({type: 'touchMove', touchPoints: [{x: 100 + (i % 200), y: 180 + (i % 2), id: 1}]},
            handlerType));
    }
    await toucher.send('touchEnd', [100, 100]);
    const movesMeasured = measured.slice();
    await sleep(1500);  // past a double tap's time
    const lifts = [];
    for (let i = 0; i < 100; ++i) {
        // Far from the last touch: not a double tap.
        const x = i % 2 === 0 ? 60 : 220;
        await toucher.send('touchStart', [x, 100]);
        await toucher.send('touchMove', [x + 50, 100]);
        await anyPhase();
        lifts.push(await once({type: 'touchEnd', touchPoints: []}, 'pointerup'));
        await sleep(20);
    }
    const stream = await page.evaluate(() => window.pvProbe.stream);
    await page.close();
    return {moves, lifts, stream, measured: movesMeasured, frameMs, clockError: clock.error};
}

// A WebSocket client of our own (the upgrade the page makes, masked binary frames) sends the page's messages
// in order; those that were measured on the page are timed from the write until the server printed a line.
async function replayRun(server, stream, measured) {
    const url = new URL(server.url);
    const socket = net.connect({host: url.hostname, port: Number(url.port)});
    socket.setNoDelay(true);
    await new Promise((resolve, reject) => socket.once('connect', resolve).once('error', reject));
    socket.write(`GET /ws?t=${url.searchParams.get('t')} HTTP/1.1\r\nHost: ${url.host}\r\nUpgrade: websocket\r\n` +
        `Connection: Upgrade\r\nSec-WebSocket-Key: ${crypto.randomBytes(16).toString('base64')}\r\n` +
        `Sec-WebSocket-Version: 13\r\nOrigin: ${url.origin}\r\n\r\n`);
    await new Promise((resolve, reject) => {
        let answer = '';
        socket.on('data', (data) => {
            answer += data;
            if (answer.includes('\r\n\r\n')) {
                answer.startsWith('HTTP/1.1 101') ? resolve() : reject(new Error('upgrade refused: ' + answer));
            }
        });
    });
    const frame = (bytes) => {
        const mask = crypto.randomBytes(4);
        const header = bytes.length < 126 ? Buffer.from([0x82, 0x80 | bytes.length])
                                          : Buffer.from([0x82, 0x80 | 126, bytes.length >> 8, bytes.length & 255]);
        return Buffer.concat([header, mask, Buffer.from(bytes.map((b, i) => b ^ mask[i % 4]))]);
    };
    const timed = new Set(measured);
    const samples = [];
    const last = measured[measured.length - 1];
    for (let index = 0; index <= last; ++index) {
        if (!timed.has(index)) {
            socket.write(frame(stream[index]));
            await sleep(index === 0 ? 300 : 5);
            continue;
        }
        const before = server.lineCount();
        const started = performance.now();
        socket.write(frame(stream[index]));
        await server.waitLines(before + 1);
        samples.push({total: performance.now() - started});
        await sleep(5);
    }
    socket.destroy();
    return samples;
}

const stateDir = tempDir('penvale-bench-');
const server = await startServer({address: '127.0.0.6', stateDir});
const browser = await launchBrowser();
try {
    // Transfer size: what the page fetches, as stored and compressed.
    const files = ['index.html', 'app.js', 'penvale.js', 'penvale.wasm', 'manifest.webmanifest', 'icons/penvale-32.png'];
    let raw = 0;
    let gzip = 0;
    const bundle = process.env.PENVALE_WEB_BUNDLE;
    for (const file of files) {
        const bytes = fs.readFileSync(path.join(bundle, file));
        raw += bytes.length;
        gzip += zlib.gzipSync(bytes, {level: 9}).length;
    }

    // Time to the first painted grid: fresh browser contexts, nothing cached.
    const loads = [];
    for (let i = 0; i < 5; ++i) {
        const context = await browser.createBrowserContext();
        const page = await context.newPage();
        await page.setViewport({width: 360, height: 640, isMobile: true, hasTouch: true});
        await page.goto(server.url);
        await page.waitForFunction(() => typeof PvPage !== 'undefined' && PvPage.firstPresent !== null,
            {timeout: 15000});
        loads.push(await page.evaluate(() => PvPage.firstPresent));
        await context.close();
    }
    loads.sort((a, b) => a - b);
    const transferred = await (async () => {
        const context = await browser.createBrowserContext();
        const page = await context.newPage();
        let bytes = 0;
        const cdp = await page.createCDPSession();
        await cdp.send('Network.enable');
        cdp.on('Network.loadingFinished', (event) => (bytes += event.encodedDataLength));
        await page.goto(server.url);
        await page.waitForFunction(() => typeof PvPage !== 'undefined' && PvPage.firstPresent !== null);
        await sleep(300);
        await context.close();
        return bytes;
    })();

    const page = await openPage(browser, server.url);

    // One 16-point PenMove, the page's whole path: 16 samples into WebAssembly, the merge, the engine,
    // the Position batch onto the WebSocket, the cursor or the ink in the framebuffer.
    // With sendStubbed, the browser's WebSocket.send does nothing: what WebAssembly itself costs.
    const penMove = (drawing, sendStubbed) => page.evaluate(async (drawing, sendStubbed) => {
        const send = WebSocket.prototype.send;
        if (sendStubbed) {
            WebSocket.prototype.send = () => {};
        }
        // A mouse (kind 0, pointer 1) with no pressure or tilt.
        Module._pv_pointer_down(1, 0, 20, 20, performance.now(), -1, 0, 0, 1);
        if (drawing) {
            await new Promise((resolve) => setTimeout(resolve, 700));  // a tap-and-hold: drawing mode
        }
        const rounds = 2000;
        const started = performance.now();
        for (let r = 0; r < rounds; ++r) {
            for (let i = 0; i < 16; ++i) {
                const t = (r * 16 + i) % 600;
                Module._pv_pointer_move(1, 0, 20 + (t % 300) + 0.25, 20 + t * 0.5, performance.now(), -1, 0, 0, 1);
            }
            Module._pv_pointer_flush();
        }
        const elapsed = performance.now() - started;
        Module._pv_pointer_up(1, 0, 20, 20, performance.now(), -1, 0, 0, 0);
        WebSocket.prototype.send = send;
        return (elapsed * 1000) / rounds;
    }, drawing, sendStubbed);
    const figures = {};
    await penMove(false, true);  // warm-up: the engine's code gets compiled by the browser's optimising tier
    await sleep(1800);
    for (const [name, drawing, stubbed] of [['cursor', false, true], ['drawing', true, true], ['cursor+send', false, false],
        ['drawing+send', true, false]]) {
        figures[name] = await penMove(drawing, stubbed);
        await sleep(1800);
    }

    await page.close();

    // Touch to decoded line, and where the time goes. Two pages: one as a phone sees it over plain HTTP on a
    // LAN (no pointerrawupdate, no getCoalescedEvents: browsers offer both in secure contexts only, so they are
    // taken away before the page loads), one as it runs here on loopback or over TLS (pointerrawupdate).
    const plain = await latencyRun(browser, server, true);
    const secure = await latencyRun(browser, server, false);
    // The server alone: the plain page's own messages, replayed from a WebSocket of our own.
    const replay = await replayRun(server, plain.stream, plain.measured);
    console.log('Browser handheld (headless Chromium, penvale-server --print on loopback; load average ' +
        `${os.loadavg().map((load) => fixed(load, 2)).join(' ')} on ${os.cpus().length} cores)`);
    console.log(`  16-point PenMove in WebAssembly (16 samples in, merge, engine, batch, framebuffer):`);
    console.log(`    cursor mode ${fixed(figures.cursor, 2)} us, drawing mode ${fixed(figures.drawing, 2)} us`);
    console.log(`  the same with the browser's WebSocket.send of the 144-byte batch:`);
    console.log(`    cursor mode ${fixed(figures['cursor+send'], 2)} us, drawing mode ${fixed(figures['drawing+send'], 2)} us`);
    console.log(`  touch -> decoded line (Input.dispatchTouchEvent over the DevTools protocol until the server's ` +
        `--print line reached this script), p50 / p99 in ms:`);
    for (const [title, run] of [['page over plain HTTP, as on a phone on a LAN (pointermove, frame-aligned)', plain],
        ['page in a secure context, loopback or TLS (pointerrawupdate)', secure]]) {
        console.log(`    ${title}:`);
        for (const [kind, samples] of [['move', run.moves], ['lift', run.lifts]]) {
            console.log(`      ${kind}: touch -> line ${split(samples, 'total')}  (${samples.length} ${kind}s)`);
            console.log(`        the browser until our handler ${split(samples, 'browser')}` +
                ` [event.timeStamp -> handler ${split(samples, 'queued')}]`);
            console.log(`        our handler -> WebSocket.send ${split(samples, 'page')}`);
            console.log(`        WebSocket.send -> line ${split(samples, 'wire')}`);
        }
    }
    console.log(`    the server alone: our WebSocket client's write -> line ${split(replay, 'total')} ` +
        `(${replay.length} of the page's move messages replayed)`);
    console.log(`    (animation frames ${fixed(plain.frameMs, 1)} ms apart; page and script clocks matched ` +
        `within ${fixed(plain.clockError, 2)} ms)`);
    console.log(`  transfer: ${fixed(raw / 1024)} KB stored, ${fixed(gzip / 1024)} KB gzip -9, ` +
        `${fixed(transferred / 1024)} KB over the wire as served`);
    console.log(`  first painted grid after loading the URL: median ${fixed(percentile(loads, 50), 0)} ms, ` +
        `worst ${fixed(loads[loads.length - 1], 0)} ms (${loads.length} cold loads)`);
} finally {
    await browser.close();
    await server.stop();
    fs.rmSync(stateDir, {recursive: true, force: true});
}
