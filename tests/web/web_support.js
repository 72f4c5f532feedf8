// web_support.js - what the browser tests and benchmarks share: the site served on 127.0.0.1,
// Debian's chromium started headless through puppeteer-core, the native programs that give the
// references, PNG files read and written (RGB, 8 bits), and frame differences.
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');
const zlib = require('zlib');
const { execFileSync } = require('child_process');

// The command line: --site DIR --bin DIR --work DIR, and --keep (leave the work folder).
function parseArgs(argv) {
    const out = { keep: false };
    for (let i = 2; i < argv.length; ++i) {
        const a = argv[i];
        if (a === '--keep') {
            out.keep = true;
        } else if (a.startsWith('--') && i + 1 < argv.length) {
            out[a.slice(2)] = argv[++i];
        } else {
            throw new Error('unknown argument ' + a);
        }
    }
    for (const need of ['site', 'bin', 'work']) {
        if (!out[need]) {
            throw new Error('--' + need + ' DIR is needed');
        }
        out[need] = path.resolve(out[need]);
    }
    return out;
}

const mimeTypes = {
    '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css',
    '.wasm': 'application/wasm', '.val': 'application/octet-stream',
};

// Serves `dir` on 127.0.0.1 at a free port; a path in `replace` ("/tir.val") is answered with
// its buffer instead. Resolves to { origin, close() }.
function serve(dir, replace = {}) {
    const server = http.createServer((request, response) => {
        const name = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
        if (replace[name]) {
            response.writeHead(200, { 'Content-Type': 'application/octet-stream' });
            response.end(replace[name]);
            return;
        }
        const file = path.join(dir, path.normalize(name === '/' ? '/index.html' : name));
        if (!file.startsWith(dir + path.sep)) {
            response.writeHead(403);
            response.end();
            return;
        }
        fs.readFile(file, (error, body) => {
            if (error) {
                response.writeHead(404);
                response.end();
                return;
            }
            response.writeHead(200, {
                'Content-Type': mimeTypes[path.extname(file)] || 'application/octet-stream',
                'Cache-Control': 'no-store',
            });
            response.end(body);
        });
    });
    return new Promise((resolve) => {
        server.listen(0, '127.0.0.1', () => resolve({
            origin: 'http://127.0.0.1:' + server.address().port,
            close: () => new Promise((done) => server.close(done)),
        }));
    });
}

// The flags under which Debian's chromium runs WebGL 2 headless on the CPU (SwiftShader) and
// plays sound without a click.
const chromiumFlags = [
    '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
    '--autoplay-policy=no-user-gesture-required', '--no-first-run', '--mute-audio',
];

async function launchBrowser(extraFlags = []) {
    const puppeteer = require('puppeteer-core');
    return puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: 'new',
        args: chromiumFlags.concat(extraFlags),
        defaultViewport: { width: 800, height: 600 },
        protocolTimeout: 600000,
    });
}

// Serves `site`, starts the browser and runs `use(browser, origin)`; both end afterwards,
// however it ends.
async function withBrowser(site, use) {
    const server = await serve(site);
    const browser = await launchBrowser();
    try {
        return await use(browser, server.origin);
    } finally {
        await browser.close();
        await server.close();
    }
}

// Runs a script's async main: an error ends the process with code 1.
function runMain(main) {
    main().catch((error) => {
        console.error(error);
        process.exit(1);
    });
}

// Opens `url` in a new page and records what its console and the page itself report.
async function openPage(browser, url) {
    const page = await browser.newPage();
    const log = { errors: [], lines: [] };
    page.on('console', (message) => {
        const line = '[' + message.type() + '] ' + message.text();
        log.lines.push(line);
        if (message.type() === 'error') {
            log.errors.push(line);
        }
    });
    page.on('pageerror', (error) => log.errors.push('[pageerror] ' + error.message));
    page.on('requestfailed', (r) => log.errors.push('[request failed] ' + r.url()));
    await page.goto(url, { waitUntil: 'load' });
    return { page, log };
}

// Waits until `predicate` (run in the page) gives a truthy value; resolves to it.
async function waitInPage(page, predicate, timeoutMs, what, ...args) {
    try {
        const handle = await page.waitForFunction(predicate, { timeout: timeoutMs, polling: 50 },
                                                  ...args);
        return await handle.jsonValue();
    } catch (error) {
        throw new Error('timed out after ' + timeoutMs / 1000 + ' s waiting for ' + what);
    }
}

// Runs a native program of the build with the headless video driver; returns its output.
function runNative(bin, program, args, options = {}) {
    return execFileSync(path.join(bin, program), args, {
        encoding: 'utf8',
        env: Object.assign({}, process.env, { SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy' }),
        cwd: options.cwd,
        stdio: ['ignore', 'pipe', 'pipe'],
        maxBuffer: 64 << 20,
    });
}

// ---- PNG, RGB with 8 bits per channel, as the native capture writes it.

const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) {
        c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    }
    return c >>> 0;
});
function crc32(buffer) {
    let c = 0xffffffff;
    for (const byte of buffer) {
        c = crcTable[(c ^ byte) & 0xff] ^ (c >>> 8);
    }
    return (c ^ 0xffffffff) >>> 0;
}

function writePng(file, width, height, rgb) {
    const rows = Buffer.alloc((width * 3 + 1) * height);
    for (let y = 0; y < height; ++y) {
        rows[y * (width * 3 + 1)] = 0; // no filter
        Buffer.from(rgb.buffer, rgb.byteOffset + y * width * 3, width * 3)
            .copy(rows, y * (width * 3 + 1) + 1);
    }
    const chunk = (type, data) => {
        const length = Buffer.alloc(4);
        length.writeUInt32BE(data.length);
        const body = Buffer.concat([Buffer.from(type, 'ascii'), data]);
        const crc = Buffer.alloc(4);
        crc.writeUInt32BE(crc32(body));
        return Buffer.concat([length, body, crc]);
    };
    const header = Buffer.alloc(13);
    header.writeUInt32BE(width, 0);
    header.writeUInt32BE(height, 4);
    header[8] = 8; // bits per channel
    header[9] = 2; // RGB
    fs.writeFileSync(file, Buffer.concat([
        Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
        chunk('IDAT', zlib.deflateSync(rows)), chunk('IEND', Buffer.alloc(0)),
    ]));
}

// Reads an 8-bit RGB or RGBA PNG without interlacing; resolves the five row filters.
function readPng(file) {
    const data = fs.readFileSync(file);
    let offset = 8, width = 0, height = 0, channels = 0;
    const idat = [];
    while (offset < data.length) {
        const length = data.readUInt32BE(offset);
        const type = data.toString('ascii', offset + 4, offset + 8);
        const body = data.subarray(offset + 8, offset + 8 + length);
        if (type === 'IHDR') {
            width = body.readUInt32BE(0);
            height = body.readUInt32BE(4);
            if (body[8] !== 8 || (body[9] !== 2 && body[9] !== 6) || body[12] !== 0) {
                throw new Error(file + ': only 8-bit RGB or RGBA PNG without interlacing is read');
            }
            channels = body[9] === 2 ? 3 : 4;
        } else if (type === 'IDAT') {
            idat.push(body);
        }
        offset += 12 + length;
    }
    const raw = zlib.inflateSync(Buffer.concat(idat));
    const stride = width * channels;
    const pixels = Buffer.alloc(stride * height);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        for (let x = 0; x < stride; ++x) {
            const a = x >= channels ? pixels[y * stride + x - channels] : 0;
            const b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
            const c = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
            let v = line[x];
            if (filter === 1) {
                v += a;
            } else if (filter === 2) {
                v += b;
            } else if (filter === 3) {
                v += (a + b) >> 1;
            } else if (filter === 4) {
                const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
                v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            pixels[y * stride + x] = v & 0xff;
        }
    }
    if (channels === 3) {
        return { width, height, rgb: pixels };
    }
    const rgb = Buffer.alloc(width * height * 3);
    for (let i = 0; i < width * height; ++i) {
        pixels.copy(rgb, i * 3, i * 4, i * 4 + 3);
    }
    return { width, height, rgb };
}

// How far two RGB pictures of the same size differ: the mean absolute difference over every
// channel value, and the share of pixels with a channel more than `far` levels apart.
function frameDifference(a, b, far = 8) {
    if (a.length !== b.length) {
        throw new Error('the pictures differ in size');
    }
    let sum = 0, farPixels = 0;
    for (let i = 0; i < a.length; i += 3) {
        const d0 = Math.abs(a[i] - b[i]), d1 = Math.abs(a[i + 1] - b[i + 1]);
        const d2 = Math.abs(a[i + 2] - b[i + 2]);
        sum += d0 + d1 + d2;
        if (d0 > far || d1 > far || d2 > far) {
            ++farPixels;
        }
    }
    return { mean: sum / a.length, farShare: farPixels / (a.length / 3) };
}

// The samples of a WAV file of 32-bit floats (the native capture's --wav).
function readFloatWav(file) {
    const data = fs.readFileSync(file);
    let offset = 12;
    while (offset + 8 <= data.length) {
        const id = data.toString('ascii', offset, offset + 4);
        const size = data.readUInt32LE(offset + 4);
        if (id === 'data') {
            const body = data.subarray(offset + 8, offset + 8 + Math.min(size, data.length - offset - 8));
            return new Float32Array(body.buffer.slice(body.byteOffset, body.byteOffset + body.length));
        }
        offset += 8 + size + (size & 1);
    }
    throw new Error(file + ' has no data chunk');
}

function median(values) {
    const sorted = [...values].sort((x, y) => x - y);
    const n = sorted.length;
    return n === 0 ? NaN : n % 2 ? sorted[(n - 1) / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

module.exports = {
    parseArgs, serve, launchBrowser, withBrowser, runMain, openPage, waitInPage, runNative, writePng, readPng,
    frameDifference, readFloatWav, median, chromiumFlags,
};
