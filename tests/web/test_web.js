// test_web.js - the browser build in Debian's chromium, headless, against the native build.
//
//   node tests/web/test_web.js --site build-web/site --bin build/bin --work build-web/test
//
// 1. The release page plays: it starts, draws frames, the audio callback takes 44.1 kHz of
//    sound in real time, every order change moves demo time to that order's key time, Escape
//    ends the demo with the end card, and the console shows no error.
// 2. Its test hooks, on the virtual counter: stills at eight demo times against the native
//    capture of the same times, and the first ten seconds of the music, rendered in float,
//    against the native capture's sound, bit for bit.
// 3. The development page: --at from the address, Right and Shift+Right seek, the status line
//    says where the demo went.
// 4. A fatal error (an archive that is not one) is reported in the page and stops the demo.
// The frames of both builds are written to the work folder as PNG, to be looked at.
'use strict';

const fs = require('fs');
const path = require('path');
const web = require('./web_support.js');

const stillTimes = [5, 28, 46, 72, 108, 142, 165, 174];
const frameSize = [640, 480];
const soundSeconds = 10;
const mixRate = 44100;
// Frames of the two builds may differ by rounding in the rasterisers: mean and share of pixels
// more than 8 levels apart.
const maxMeanDifference = 1.0;
const maxFarShare = 0.01;

const results = [];
function check(name, ok, detail) {
    results.push({ name, ok: Boolean(ok), detail });
    console.log((ok ? 'ok   ' : 'FAIL ') + name + (detail ? ': ' + detail : ''));
}

function noConsoleErrors(name, log) {
    check(name + ': no console error', log.errors.length === 0, log.errors.slice(0, 5).join(' | '));
}

async function sleep(ms) {
    return new Promise((resolve) => setTimeout(resolve, ms));
}

// ---- 1. the release page, live

async function testLivePage(browser, origin, work) {
    const { page, log } = await web.openPage(browser, origin + '/index.html?autoplay&size=640x480');
    await web.waitInPage(page, () => window.tir.status === 'running' &&
                         window.tir.module._tir_frames_drawn() > 0, 60000, 'the first frame');
    const firstFrame = await page.evaluate(() => window.tir.firstFrameAt);
    // The sound output's pace, measured against the page's clock over three seconds.
    const before = await page.evaluate(() => [performance.now(), window.tir.module._tir_sound_frames(),
                                             window.tir.module._tir_frames_drawn()]);
    await sleep(3000);
    const after = await page.evaluate(() => [performance.now(), window.tir.module._tir_sound_frames(),
                                            window.tir.module._tir_frames_drawn()]);
    const rate = (after[1] - before[1]) / ((after[0] - before[0]) / 1000);
    check('live: the audio callback runs at 44.1 kHz within 2 %', Math.abs(rate - mixRate) <= 0.02 * mixRate,
          rate.toFixed(0) + ' frames per second over ' + ((after[0] - before[0]) / 1000).toFixed(2) + ' s');
    const fps = (after[2] - before[2]) / ((after[0] - before[0]) / 1000);
    check('live: the page draws frames', after[2] > before[2],
          fps.toFixed(1) + ' frames per second; first frame ' + (firstFrame / 1000).toFixed(2) +
          ' s after navigation');

    // Order changes: the music moves on every few seconds; each one re-bases demo time.
    await web.waitInPage(page, () => window.tir.module._tir_order_change_count() >= 3, 60000,
                         'three order changes');
    const changes = await page.evaluate(() => {
        const m = window.tir.module;
        const n = m._tir_order_change_count(), p = m._tir_order_changes() >> 2;
        return Array.from(m.HEAPF32.subarray(p, p + 3 * n));
    });
    const rows = [];
    let ok = true, previous = 0;
    for (let i = 0; i < changes.length; i += 3) {
        const [order, time, key] = changes.slice(i, i + 3);
        rows.push(order + '@' + time.toFixed(4) + '(key ' + key.toFixed(3) + ')');
        // Only the ticks between the frame's two counter readings lie between them.
        ok = ok && time >= key && time - key < 0.005 && order === previous + 1;
        previous = order;
    }
    check('live: each order change puts demo time at its key time', ok && rows.length >= 3,
          rows.join(', '));
    await page.screenshot({ path: path.join(work, 'live-page.png') });

    await page.keyboard.press('Escape');
    await web.waitInPage(page, () => window.tir.status === 'ended', 20000, 'the end after Escape');
    const end = await page.evaluate(() => ({ code: window.tir.exitCode,
                                              card: !document.getElementById('endcard').hidden }));
    check('live: Escape ends the demo and shows the end card', end.code === 0 && end.card,
          'exit code ' + end.code + ', end card ' + (end.card ? 'shown' : 'hidden'));
    await page.screenshot({ path: path.join(work, 'end-card.png') });
    // Play again: a new run of the program on a new canvas.
    const firstModule = await page.evaluateHandle(() => window.tir.module);
    await page.click('#again');
    await web.waitInPage(page, (old) => window.tir.module !== old && window.tir.status === 'running' &&
                         window.tir.module._tir_frames_drawn() > 10, 60000, 'frames after Play again',
                         firstModule);
    await page.keyboard.press('Escape');
    await web.waitInPage(page, () => window.tir.status === 'ended', 20000, 'the second end');
    check('live: Play again plays the demo once more', await page.evaluate(() => window.tir.exitCode === 0),
          'exit code ' + (await page.evaluate(() => window.tir.exitCode)));
    noConsoleErrors('live', log);
    await page.close();
}

// A fatal error: an archive that is not one. The program's report appears over the picture, in
// the program's words, and the demo stops before drawing anything.
async function testFatalReport(browser, site) {
    const server = await web.serve(site, { '/tir.val': Buffer.alloc(4096, 0x5a) });
    try {
        const { page } = await web.openPage(browser, server.origin + '/index.html?autoplay&size=640x480');
        await web.waitInPage(page, () => window.tir.status === 'ended', 60000, 'the end after the report');
        const seen = await page.evaluate(() => ({
            code: window.tir.exitCode, reports: window.tir.reports,
            frames: window.tir.module._tir_frames_drawn(),
            shown: !document.getElementById('report').hidden,
            caption: document.getElementById('report-caption').textContent,
            text: document.getElementById('report-text').textContent,
        }));
        const last = seen.reports[seen.reports.length - 1] || {};
        check('fatal: the report is shown in the page and the demo stops',
              seen.code !== 0 && seen.shown && seen.frames === 0 && seen.reports.length > 0 &&
              seen.caption === last.caption && seen.text === last.text,
              'exit code ' + seen.code + ', ' + seen.frames + ' frames, reports: ' +
              seen.reports.map((r) => r.caption + ': ' + r.text.replace(/\s+/g, ' ').trim()).join(' / '));
        await page.close();
    } finally {
        await server.close();
    }
}

// ---- 2. the hooks: stills and the music

async function testHooks(browser, origin, work) {
    const native = path.join(work, 'native');
    web.runNative(argsBin, 'capture', ['--data', dataDir, '--size', frameSize.join('x'),
                                       '--at', stillTimes.join(','), '--out', native]);
    const { page, log } = await web.openPage(browser, origin + '/index.html?hooks&size=640x480');
    await web.waitInPage(page, () => window.tir.status === 'hooks' || window.tir.status === 'ended',
                         60000, 'the player in hook mode');
    const status = await page.evaluate(() => window.tir.status);
    if (status !== 'hooks') {
        check('hooks: the player starts', false, JSON.stringify(await page.evaluate(() => window.tir.reports)));
        return;
    }
    const [width, height] = frameSize;
    for (const at of stillTimes) {
        const base64 = await page.evaluate((t, size) => {
            const m = window.tir.module;
            const p = m._tir_still(t);
            if (!p) {
                return null;
            }
            const bytes = m.HEAPU8.subarray(p, p + size);
            let text = '';
            for (let i = 0; i < bytes.length; i += 0x8000) {
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
            }
            return btoa(text);
        }, at, width * height * 3);
        const name = 'at-' + at.toFixed(3).padStart(7, '0') + '.png';
        if (!base64) {
            check('frame at ' + at + ' s', false, 'the page drew no frame');
            continue;
        }
        const frame = Buffer.from(base64, 'base64');
        web.writePng(path.join(work, 'web-' + name), width, height, frame);
        const reference = web.readPng(path.join(native, name));
        const d = web.frameDifference(frame, reference.rgb);
        check('frame at ' + at + ' s equals the native one',
              d.mean <= maxMeanDifference && d.farShare <= maxFarShare,
              'mean difference ' + d.mean.toFixed(3) + ' levels, ' + (100 * d.farShare).toFixed(3) +
              ' % of pixels off by more than 8');
    }

    // The music: ten seconds in float from the page's non-realtime output, and the native
    // capture's sound of the same stretch.
    const wav = path.join(work, 'native.wav');
    web.runNative(argsBin, 'capture', ['--data', dataDir, '--size', '64x48', '--to', String(soundSeconds),
                                       '--wav', wav]);
    const frames = soundSeconds * mixRate;
    const reference = web.readFloatWav(wav).subarray(0, 2 * frames);
    const base64 = await page.evaluate((n) => {
        const m = window.tir.module;
        const p = m._tir_mix(n);
        if (!p) {
            return null;
        }
        const bytes = m.HEAPU8.subarray(p, p + 8 * n);
        let text = '';
        for (let i = 0; i < bytes.length; i += 0x8000) {
            text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        }
        return btoa(text);
    }, frames);
    if (!base64) {
        check('sound: the first 10 s in the page equal the native render', false, 'no sound was rendered');
    } else {
        const sound = Buffer.from(base64, 'base64');
        const native = Buffer.from(reference.buffer, reference.byteOffset, reference.byteLength);
        let first = -1;
        for (let i = 0; i < Math.min(sound.length, native.length); i += 4) {
            if (sound.readUInt32LE(i) !== native.readUInt32LE(i)) {
                first = i / 8;
                break;
            }
        }
        let peak = 0;
        for (let i = 0; i < reference.length; ++i) {
            peak = Math.max(peak, Math.abs(reference[i]));
        }
        check('sound: the first 10 s in the page equal the native render, bit for bit',
              sound.length === native.length && first < 0 && peak > 0.01,
              first < 0 ? frames + ' stereo frames identical (peak ' + peak.toFixed(3) + ')'
                        : 'first difference at frame ' + first);
    }
    noConsoleErrors('hooks', log);
    await page.close();
}

// ---- 3. the development page

async function testDevPage(browser, origin, work) {
    const { page, log } = await web.openPage(browser, origin + '/dev.html?autoplay&at=100');
    const statusTime = () => page.evaluate(() => {
        const m = /^(\d+\.\d+) s/.exec(document.getElementById('status').textContent);
        return m ? Number(m[1]) : null;
    });
    await web.waitInPage(page, () => /^\d+\.\d+ s/.test(document.getElementById('status').textContent),
                         60000, 'the status line');
    const start = await statusTime();
    check('dev: ?at=100 starts at 100 s', start >= 100 && start < 103, 'status line at ' + start + ' s');
    // The frame after each key writes the status line to standard error (the console).
    const reported = () => log.lines.filter((l) => /devplayer: \d+\.\d+ s/.test(l)).length;
    const shownTime = () => page.evaluate(() => {
        const m = /^(\d+\.\d+) s/.exec(document.getElementById('status').textContent);
        return m ? Number(m[1]) : -1;
    });
    const seek = async (keys, expected, what) => {
        // The demo time of the last frame drawn before the key (the window title holds it).
        await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
        const before = await page.evaluate(() => Number(/^(\d+\.\d+) s/.exec(document.title)[1]));
        const count = reported();
        for (const key of keys) {
            await page.keyboard.down(key);
        }
        for (const key of [...keys].reverse()) {
            await page.keyboard.up(key);
        }
        const deadline = Date.now() + 10000;
        while (reported() === count && Date.now() < deadline) {
            await sleep(50);
        }
        const line = log.lines.filter((l) => /devplayer: \d+\.\d+ s/.test(l)).pop() || '';
        const after = Number((/devplayer: (\d+\.\d+) s/.exec(line) || [])[1]);
        const moved = after - before;
        // The line under the picture follows.
        let shown = -1;
        for (const end = Date.now() + 5000; Date.now() < end && shown < after; await sleep(50)) {
            shown = await shownTime();
        }
        check('dev: ' + what, reported() > count && moved >= expected - 0.05 && moved < expected + 1.0 &&
              shown >= after,
              'from ' + before + ' s to ' + after + ' s: "' + line.replace(/^\[\w+\] devplayer: /, '') +
              '"; the page shows ' + shown + ' s');
    };
    await seek(['ArrowRight'], 1, 'Right seeks 1 s forward and the status line says so');
    await seek(['Shift', 'ArrowRight'], 10, 'Shift+Right seeks 10 s forward and the status line says so');
    await page.screenshot({ path: path.join(work, 'dev-page.png') });
    await page.keyboard.press('Escape');
    await web.waitInPage(page, () => window.tir.status === 'ended', 20000, 'the end after Escape');
    noConsoleErrors('dev', log);
    await page.close();
}

let argsBin, dataDir;

async function main() {
    const args = web.parseArgs(process.argv);
    argsBin = args.bin;
    fs.rmSync(args.work, { recursive: true, force: true });
    fs.mkdirSync(args.work, { recursive: true });
    dataDir = args.site; // the site holds the same tir.val that the page loads
    const started = Date.now();
    await web.withBrowser(args.site, async (browser, origin) => {
        const tests = [['live page', testLivePage], ['hooks', testHooks], ['dev page', testDevPage],
                       ['fatal report', (b) => testFatalReport(b, args.site)]];
        for (const [name, run] of tests) {
            try {
                await run(browser, origin, args.work);
            } catch (error) {
                check(name, false, error.message);
            }
        }
    });
    const failed = results.filter((r) => !r.ok);
    console.log('\n' + (results.length - failed.length) + ' of ' + results.length + ' checks passed in ' +
                ((Date.now() - started) / 1000).toFixed(0) + ' s; frames and screenshots in ' + args.work);
    process.exit(failed.length ? 1 : 0);
}

web.runMain(main);
