// page.js - runs a player (player.js or devplayer.js, a module factory named createTirPlayer) in
// the page: fetches the data once, starts the program on Play (the click lets the page play
// sound), shows its reports and its end, full screen on the button and F.
//
// Query parameters: size=WxH (the picture's size; by default the largest 4:3 picture that the
// window holds), at=SECONDS (dev.html: where to start), autoplay (start without the click:
// for a browser that allows sound without one), hooks (tests: the program starts for the
// tir_* hooks instead of playing).
'use strict';

function startPage(options) {
    const params = new URLSearchParams(location.search);
    const $ = (id) => document.getElementById(id);
    const cards = ['cover', 'endcard', 'report'];
    const show = (id) => cards.forEach((c) => { $(c).hidden = c !== id; });

    // What a test or a person looking at the console can read back.
    const state = window.tir = { status: 'loading', exitCode: null, reports: [], module: null,
                                 firstFrameAt: null, startedAt: null };

    let data = null; // tir.val, fetched once and written into every run's file system
    const dataReady = fetch('tir.val').then(async (response) => {
        if (!response.ok) {
            throw new Error('tir.val: ' + response.status + ' ' + response.statusText);
        }
        data = new Uint8Array(await response.arrayBuffer());
        $('progress').textContent = 'Ready (' + (data.length / 1048576).toFixed(1) + ' MB of data).';
        $('play').disabled = false;
        state.status = 'ready';
    }).catch((error) => {
        $('progress').textContent = 'The data could not be loaded: ' + error.message;
        state.status = 'failed';
        console.error(error);
    });

    // The picture's size: asked for, fixed (the development player), or the largest 4:3
    // picture in device pixels that the window holds, in steps of 4 pixels.
    function pictureSize() {
        const asked = /^(\d+)x(\d+)$/.exec(params.get('size') || '');
        if (asked) {
            return [Number(asked[1]), Number(asked[2])];
        }
        if (options.dev) {
            return [640, 480];
        }
        const ratio = window.devicePixelRatio || 1;
        const w = Math.floor(window.innerWidth * ratio), h = Math.floor(window.innerHeight * ratio);
        let width = Math.min(w, Math.floor(h * 4 / 3));
        width = Math.max(320, Math.min(2048, width - width % 4));
        return [width, width * 3 / 4];
    }

    // Each run gets a new canvas: a WebGL context keeps its state for the life of its canvas.
    function freshCanvas() {
        const old = $('canvas');
        const canvas = document.createElement('canvas');
        canvas.id = 'canvas';
        canvas.tabIndex = -1;
        canvas.addEventListener('webglcontextlost', (e) => {
            e.preventDefault();
            console.error('the WebGL context was lost');
        });
        old.replaceWith(canvas);
        return canvas;
    }

    // The handlers that every run's module gets.
    function moduleOptions(canvas) {
        return {
            canvas,
            print: (text) => console.log(text),
            printErr: (text) => console.warn(text),
            tirReport: (caption, text) => {
                state.reports.push({ caption, text });
                $('report-caption').textContent = caption;
                $('report-text').textContent = text;
                show('report');
            },
            tirEnded: (code) => {
                state.exitCode = code;
                state.status = 'ended';
                if (code === 0) {
                    show('endcard');
                } else if ($('report').hidden) {
                    $('report-caption').textContent = 'The demo stopped';
                    $('report-text').textContent = 'exit code ' + code;
                    show('report');
                }
                if (document.fullscreenElement) {
                    document.exitFullscreen().catch(() => {});
                }
            },
        };
    }

    // The first run's module is compiled while the data loads; a later run makes a new one on
    // a new canvas, since a program runs once and a WebGL context keeps its state.
    let prepared = createTirPlayer(moduleOptions($('canvas')));

    async function run() {
        show(null);
        state.status = 'starting';
        state.exitCode = null;
        state.firstFrameAt = null;
        state.startedAt = performance.now();
        const hooks = params.has('hooks');
        // Made inside the click, so the browser lets it play; at the module's own rate, so the
        // sound library's callback is the output's and nothing resamples it.
        const audioContext = hooks ? null
                                   : new AudioContext({ sampleRate: 44100, latencyHint: 'interactive' });
        const pending = prepared || createTirPlayer(moduleOptions(freshCanvas()));
        prepared = null;
        const module = await pending;
        if (audioContext) {
            module.SDL2 = { audioContext }; // SDL's audio takes the context it finds here
        }
        state.module = module;
        module.FS.mkdir('/data');
        module.FS.writeFile('/data/tir.val', data);
        const [width, height] = pictureSize();
        const args = ['--data', '/data'];
        if (!options.dev) {
            args.push('--size', width + 'x' + height);
        }
        if (hooks) {
            args.push('--hooks');
        }
        if (options.dev && params.get('at')) {
            args.push('--at', params.get('at'));
        }
        state.status = 'running';
        module.canvas.focus();
        watchFrames(module);
        module.callMain(args);
        if (hooks && state.status === 'running') {
            state.status = 'hooks';
        }
    }

    // The first frame's time, and the development player's status line (its window title).
    function watchFrames(module) {
        const framesDrawn = module._tir_frames_drawn;
        const tick = () => {
            if (state.module !== module || state.status === 'ended') {
                return;
            }
            if (state.firstFrameAt === null && framesDrawn && framesDrawn() > 0) {
                state.firstFrameAt = performance.now();
            }
            if (options.dev && $('status').textContent !== document.title) {
                $('status').textContent = document.title;
            }
            requestAnimationFrame(tick);
        };
        requestAnimationFrame(tick);
    }

    function toggleFullscreen() {
        if (document.fullscreenElement) {
            document.exitFullscreen().catch(() => {});
        } else {
            document.documentElement.requestFullscreen().catch((e) => console.warn(e.message));
        }
    }

    $('play').addEventListener('click', () => dataReady.then(run));
    $('again').addEventListener('click', run);
    $('retry').addEventListener('click', run);
    $('fullscreen').addEventListener('click', toggleFullscreen);
    document.addEventListener('keydown', (e) => {
        if ((e.key === 'f' || e.key === 'F') && !e.ctrlKey && !e.altKey && !e.metaKey) {
            toggleFullscreen();
        }
    });
    if (params.has('autoplay') || params.has('hooks')) {
        dataReady.then(() => { if (data) { run(); } });
    }
}
