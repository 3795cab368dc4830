// Figures for a stylus on the browser handheld, in headless Chromium against
// penvale-server on loopback: how many pen samples a stroke delivers per second
// when the browser merges the moves into its events (the page takes every
// coalesced sample), and how long a sample takes from the DevTools protocol's
// move until the server's --print line.
//
//   PENVALE_SERVER=build/server/penvale-server PENVALE_WEB_BUNDLE=build/web-bundle node bench/web/pen_bench.mjs
import fs from 'node:fs';
import os from 'node:os';

import {launchBrowser, openPage, Pen, sleep, startServer, tempDir, until} from '../../tests/web/harness.mjs';

const stateDir = tempDir('penvale-bench-state-');
const server = await startServer({address: '127.0.0.2', stateDir});
const browser = await launchBrowser();
const penLines = () => server.lines().filter((line) => line.startsWith('pen ')).length;
try {
    const page = await openPage(browser, server.url);
    const bar = await page.evaluate(() => PvPage.barHeight);
    await until(() => server.lines().includes('attach'), 5000, 'the page to attach');
    const stylus = new Pen(page, bar);
    await stylus.down([50, 50], {force: 0.5});
    const move = (i) => page.cdp.send('Input.dispatchMouseEvent', {type: 'mouseMoved', x: 50 + (i % 200),
        y: 50 + bar + (i % 300), pointerType: 'pen', force: 0.5, button: 'none', buttons: 1});

    // Throughput: moves twenty at a time without waiting, for three seconds.
    let sent = 0;
    const first = penLines();
    const start = Date.now();
    while (Date.now() - start < 3000) {
        const batch = [];
        for (let i = 0; i < 20; ++i) {
            batch.push(move(sent++));
        }
        await Promise.all(batch);
    }
    const seconds = (Date.now() - start) / 1000;
    await sleep(500);
    const delivered = penLines() - first;

    // Latency: one move at a time, the next after the line of the last.
    const latencies = [];
    for (let i = 0; i < 300; ++i) {
        const count = server.lineCount();
        const t = performance.now();
        await move(sent++);
        await server.waitLines(count + 1);
        latencies.push(performance.now() - t);
    }
    latencies.sort((a, b) => a - b);
    await stylus.up([60, 60]);
    await page.close();
    console.log(`Pen on the browser handheld (headless Chromium; load average ${os.loadavg().map((l) => l.toFixed(2))
        .join(' ')} on ${os.cpus().length} cores):`);
    console.log(`  ${sent - 300} moves sent in ${seconds.toFixed(2)} s gave ${delivered} pen samples at the server: ` +
        `${(delivered / seconds).toFixed(0)} per second`);
    console.log(`  one move -> --print line: p50 ${latencies[150].toFixed(2)} ms, p99 ${latencies[296].toFixed(2)} ms`);
} finally {
    await browser.close();
    await server.stop();
    fs.rmSync(stateDir, {recursive: true, force: true});
}
