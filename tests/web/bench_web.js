// bench_web.js - the browser build's figures, in Debian's chromium, headless, on SwiftShader.
//
//   node tests/web/bench_web.js --site build-web/site --bin build/bin --work build-web/bench \
//        [--parts sizes,first,costs,live]
//
// - Download size of each player's .wasm and .js, plain and gzipped (goal: at most 3 MB plain
//   for the release player).
// - Time from navigation to the first frame of the release page with the default data, three
//   fresh loads (goal: at most 3 s).
// - The live page at 640 x 480 over the whole demo: frames drawn in each second of wall time,
//   median and slowest second (the page draws once per display refresh, 60 Hz at most).
// - The frame loop's cost at 640 x 480 over the whole demo, ten frames in each second of demo
//   time, each waited for before the next (natively glFinish; in the page a pixel read back,
//   since Chromium's glFinish only flushes), in the page (SwiftShader) and natively on llvmpipe
//   (the same frames through bench_demo_frames), median and slowest second side by side.
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const web = require('./web_support.js');

const framesPerSecond = 10;

function sizes(site) {
    console.log('download size (MB = 10^6 bytes)');
    console.log('  file              plain      gzip -9');
    let release = 0;
    for (const program of ['player', 'devplayer']) {
        for (const ext of ['wasm', 'js']) {
            const body = fs.readFileSync(path.join(site, program + '.' + ext));
            const gz = zlib.gzipSync(body, { level: 9 });
            console.log('  ' + (program + '.' + ext).padEnd(16) + (body.length / 1e6).toFixed(3).padStart(7) +
                        ' MB ' + (gz.length / 1e6).toFixed(3).padStart(8) + ' MB');
            if (program === 'player') {
                release += body.length;
            }
        }
    }
    const data = fs.statSync(path.join(site, 'tir.val')).size;
    console.log('  release player .wasm + .js: ' + (release / 1e6).toFixed(3) + ' MB (goal: 3 MB or less);' +
                ' data tir.val ' + (data / 1e6).toFixed(3) + ' MB');
}

async function firstFrames(browser, origin) {
    const times = [];
    for (let i = 0; i < 3; ++i) {
        const context = await browser.createBrowserContext(); // nothing cached between loads
        const page = await context.newPage();
        await page.goto(origin + '/index.html?autoplay&size=640x480');
        await web.waitInPage(page, () => window.tir.firstFrameAt !== null, 60000, 'the first frame');
        times.push(await page.evaluate(() => window.tir.firstFrameAt / 1000));
        await context.close();
    }
    console.log('time from navigation to the first frame (640 x 480, default data, SwiftShader): ' +
                times.map((t) => t.toFixed(2) + ' s').join(', ') + '; median ' +
                web.median(times).toFixed(2) + ' s (goal: 3 s or less)');
}

async function livePage(browser, origin) {
    const { page, log } = await web.openPage(browser, origin + '/index.html?autoplay&size=640x480');
    await web.waitInPage(page, () => window.tir.firstFrameAt !== null, 60000, 'the first frame');
    const perSecond = [];
    let last = await page.evaluate(() => window.tir.module._tir_frames_drawn());
    for (;;) {
        await new Promise((resolve) => setTimeout(resolve, 1000));
        const now = await page.evaluate(() => window.tir.status === 'ended' ? null
                                                                           : window.tir.module._tir_frames_drawn());
        if (now === null) {
            break;
        }
        perSecond.push(now - last);
        last = now;
    }
    await page.close();
    const full = perSecond.slice(0, -1); // the last second is cut short by the end
    console.log('live page, 640 x 480, whole demo (' + full.length + ' s): median ' +
                web.median(full).toFixed(1) + ' fps, slowest second ' + Math.min(...full) + ' fps' +
                (log.errors.length ? '; console errors: ' + log.errors.join(' | ') : ''));
}

function summarise(costs) {
    const fps = costs.filter((c) => c.time > 0).map((c) => c.frames / c.time);
    const slowest = costs.reduce((a, b) => (b.frames / b.time < a.frames / a.time ? b : a));
    return { median: web.median(fps), slowest };
}

async function frameCosts(browser, origin, bin, work, site) {
    const { page } = await web.openPage(browser, origin + '/index.html?hooks&size=640x480');
    await web.waitInPage(page, () => window.tir.status === 'hooks', 60000, 'the player in hook mode');
    const page_ = await page.evaluate((n) => {
        const m = window.tir.module;
        const p = m._tir_frame_costs(n) >> 3;
        return Array.from(m.HEAPF64.subarray(p, p + 187));
    }, framesPerSecond);
    await page.close();
    const pageCosts = page_.map((time, s) => ({ second: s, time,
                                                frames: Math.min(framesPerSecond, Math.floor((186.5 - s) * framesPerSecond) + 1) }));

    // The same frames natively: the frame benchmark's child run at 640 x 480.
    const out = path.join(work, 'native-frames.txt');
    web.runNative(bin, 'bench_demo_frames', ['--child', '640', '480', out], { cwd: site });
    const nativeCosts = fs.readFileSync(out, 'utf8').split('\n').filter((l) => l.startsWith('second '))
        .map((l) => l.split(' ')).map((f) => ({ second: Number(f[1]), frames: Number(f[2]), time: Number(f[3]) }))
        .filter((c) => c.frames > 0);
    const a = summarise(pageCosts), b = summarise(nativeCosts);
    console.log('frame loop, 640 x 480, ' + framesPerSecond + ' frames in each second of demo time, each waited for:');
    console.log('                      median      slowest second');
    console.log('  page, SwiftShader  ' + a.median.toFixed(1).padStart(6) + ' fps  ' +
                (a.slowest.frames / a.slowest.time).toFixed(1).padStart(6) + ' fps at ' + a.slowest.second + ' s');
    console.log('  native, llvmpipe   ' + b.median.toFixed(1).padStart(6) + ' fps  ' +
                (b.slowest.frames / b.slowest.time).toFixed(1).padStart(6) + ' fps at ' + b.slowest.second + ' s');
    console.log('  page / native: median ' + (a.median / b.median).toFixed(2) + ', slowest ' +
                ((a.slowest.frames / a.slowest.time) / (b.slowest.frames / b.slowest.time)).toFixed(2));
}

async function main() {
    const args = web.parseArgs(process.argv);
    fs.mkdirSync(args.work, { recursive: true });
    const parts = (args.parts || 'sizes,first,costs,live').split(',');
    if (parts.includes('sizes')) {
        sizes(args.site);
    }
    await web.withBrowser(args.site, async (browser, origin) => {
        if (parts.includes('first')) {
            await firstFrames(browser, origin);
        }
        if (parts.includes('costs')) {
            await frameCosts(browser, origin, args.bin, args.work, args.site);
        }
        if (parts.includes('live')) {
            await livePage(browser, origin);
        }
    });
}

web.runMain(main);
