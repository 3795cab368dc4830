// Figures for the browser handheld, in headless Chromium against penvale-server on
// loopback: the cost of one 16-point PenMove in WebAssembly, touch-to-decoded-line
// latency, the page's transfer size and the time to the first painted grid.
//
//   PENVALE_SERVER=build/server/penvale-server PENVALE_WEB_BUNDLE=build/web-bundle node bench/web/web_bench.mjs
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

import {launchBrowser, openPage, sleep, startServer, tempDir, Toucher} from '../../tests/web/harness.mjs';

function percentile(sorted, p) {
    return sorted[Math.min(sorted.length - 1, Math.floor((sorted.length * p) / 100))];
}
const fixed = (value, digits = 1) => value.toFixed(digits);

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
    const toucher = new Toucher(page, 40);

    // One 16-point PenMove, the page's whole path: 16 samples into WebAssembly, the merge, the engine,
    // the Position batch onto the WebSocket, the cursor or the ink in the framebuffer.
    // With sendStubbed, the browser's WebSocket.send does nothing: what WebAssembly itself costs.
    const penMove = (drawing, sendStubbed) => page.evaluate(async (drawing, sendStubbed) => {
        const send = WebSocket.prototype.send;
        if (sendStubbed) {
            WebSocket.prototype.send = () => {};
        }
        Module._pv_pointer_down(20, 20, performance.now());
        if (drawing) {
            await new Promise((resolve) => setTimeout(resolve, 700));  // a tap-and-hold: drawing mode
        }
        const rounds = 2000;
        const started = performance.now();
        for (let r = 0; r < rounds; ++r) {
            for (let i = 0; i < 16; ++i) {
                const t = (r * 16 + i) % 600;
                Module._pv_pointer_move(20 + (t % 300) + 0.25, 20 + t * 0.5);
            }
            Module._pv_pointer_flush();
        }
        const elapsed = performance.now() - started;
        Module._pv_pointer_up(20, 20);
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

    // Touch to decoded line: from handing the touch to the browser until the server printed its line.
    const latency = async (count, type) => {
        const samples = [];
        await toucher.send('touchStart', [100, 100]);
        for (let i = 0; i < count; ++i) {
            const before = server.lines().length;
            const started = performance.now();
            if (type === 'move') {
                await page.cdp.send('Input.dispatchTouchEvent',
                    {type: 'touchMove', touchPoints: [{x: 100 + (i % 200), y: 140 + (i % 2), id: 1}]});
            } else {
                await page.cdp.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
            }
            await server.waitLines(before + 1);
            samples.push(performance.now() - started);
            if (type === 'end') {
                await toucher.send('touchStart', [100, 100]);
                await toucher.send('touchMove', [110, 100]);
            }
        }
        await toucher.send('touchEnd', [100, 100]);
        return samples.sort((a, b) => a - b);
    };
    // Positions are sent from a move only once the hold's slop is left behind.
    await toucher.send('touchStart', [100, 100]);
    await toucher.send('touchMove', [150, 100]);
    await toucher.send('touchEnd', [150, 100]);
    await sleep(2000);
    const moves = await latency(500, 'move');
    await sleep(2000);
    const ends = await latency(200, 'end');

    console.log('Browser handheld (headless Chromium, penvale-server --print on loopback)');
    console.log(`  16-point PenMove in WebAssembly (16 samples in, merge, engine, batch, framebuffer):`);
    console.log(`    cursor mode ${fixed(figures.cursor, 2)} us, drawing mode ${fixed(figures.drawing, 2)} us`);
    console.log(`  the same with the browser's WebSocket.send of the 144-byte batch:`);
    console.log(`    cursor mode ${fixed(figures['cursor+send'], 2)} us, drawing mode ${fixed(figures['drawing+send'], 2)} us`);
    console.log(`  touch move -> decoded line: p50 ${fixed(percentile(moves, 50), 2)} ms, ` +
        `p99 ${fixed(percentile(moves, 99), 2)} ms (${moves.length} moves)`);
    console.log(`  touch end  -> decoded line: p50 ${fixed(percentile(ends, 50), 2)} ms, ` +
        `p99 ${fixed(percentile(ends, 99), 2)} ms (${ends.length} lifts)`);
    console.log(`  transfer: ${fixed(raw / 1024)} KB stored, ${fixed(gzip / 1024)} KB gzip -9, ` +
        `${fixed(transferred / 1024)} KB over the wire as served`);
    console.log(`  first painted grid after loading the URL: median ${fixed(percentile(loads, 50), 0)} ms, ` +
        `worst ${fixed(loads[loads.length - 1], 0)} ms (${loads.length} cold loads)`);
    await page.close();
} finally {
    await browser.close();
    await server.stop();
    fs.rmSync(stateDir, {recursive: true, force: true});
}
