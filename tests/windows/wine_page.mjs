// The browser handheld against the Windows server under Wine: headless Chromium on
// this machine loads the page from the server, a slide moves Wine's (the X) pointer.
//   node wine_page.mjs URL WIDTH HEIGHT   (DISPLAY names the X server Wine draws on)
// Prints "ok ..." lines; exits 1 on the first fault.
import {execFileSync} from 'node:child_process';

import {launchBrowser, openPage, Toucher, until} from '../web/harness.mjs';

const [url, width, height] = [process.argv[2], Number(process.argv[3]), Number(process.argv[4])];
// The page's surface below its bar, in CSS pixels (the bar's height is the page's own), and its
// Positions at four per pixel.
const surface = {width: 360, height: 600, bar: 40};

function pointer() {
    const text = execFileSync('xdotool', ['getmouselocation'], {encoding: 'utf8', timeout: 10000});
    const match = text.match(/x:(-?\d+) y:(-?\d+)/);
    return match ? [Number(match[1]), Number(match[2])] : null;
}

const near = (a, b, slack) => a !== null && Math.abs(a[0] - b[0]) <= slack && Math.abs(a[1] - b[1]) <= slack;
const pixelOf = ([x, y]) => [Math.floor(x * width / surface.width), Math.floor(y * height / surface.height)];

let browser = await launchBrowser();
let status = 0;
try {
    const page = await openPage(browser, url);
    surface.bar = page.bar;
    surface.height = 640 - page.bar;
    const toucher = new Toucher(page, surface.bar);
    // Wine may drop a new process's first moves: slides to unique points until one arrives.
    let arrived = false;
    for (let i = 1; i <= 6 && !arrived; ++i) {
        const end = [30 + 37 * i, 50 + 61 * i];
        await toucher.drag([[20, 20], [25 + 30 * i, 40 + 50 * i], end]);
        arrived = await until(() => near(pointer(), pixelOf(end), 2), 2000, 'a first slide').catch(() => false);
    }
    if (!arrived) {
        throw new Error('no slide on the page moved the pointer; it is at ' + pointer());
    }
    // The checked slide: from a quarter of the surface to its middle, the middle pixel of the screen.
    const [mx, my] = [surface.width / 2, surface.height / 2];
    await toucher.send('touchStart', [mx / 2, my / 2]);
    await toucher.send('touchMove', [mx * 2 / 3, my * 2 / 3]);
    await toucher.send('touchMove', [mx * 5 / 6, my * 5 / 6]);
    await toucher.send('touchMove', [mx, my]);
    const middle = [width / 2, height / 2];
    await until(() => near(pointer(), middle, 0), 5000, 'the pointer at the middle').catch(() => {});
    const at = pointer();
    await toucher.send('touchEnd', [mx, my]);
    if (!near(at, middle, 0)) {
        throw new Error('the slide left the pointer at ' + at + ', not ' + middle);
    }
    console.log('ok a slide on the page moved the pointer to the middle pixel ' + at);
    if (page.errors.length > 0) {
        throw new Error('the page reported: ' + page.errors.join('; '));
    }
    await page.close();

    // The page without its token, in a browser that never saw it (the page keeps the last one it was
    // given): the server refuses its WebSocket, and the page says it cannot connect. Under Wine a new
    // connection to the Windows server now and then hangs with its request unread (see the README): a
    // hang is reported and the page tried again in a new browser, at most three times.
    let box = null;
    for (let attempt = 1; attempt <= 3 && box === null; ++attempt) {
        await browser.close();
        browser = await launchBrowser();
        const bare = await openPage(browser, url.replace(/\?t=.*$/, ''));
        const tapped = Date.now();
        await new Toucher(bare, surface.bar).tap([100, 100]);
        box = await until(() => bare.evaluate(() => PvPage.boxText()), 10000, 'a box').catch(() => null);
        console.log('the page without the token shows, after ' + (Date.now() - tapped) + ' ms: ' + box);
        await bare.close();
    }
    if (box === null) {
        throw new Error('the page without the token told the user nothing');
    }
} catch (error) {
    console.log('FAIL: ' + error.message);
    status = 1;
} finally {
    await browser.close();
}
process.exit(status);
