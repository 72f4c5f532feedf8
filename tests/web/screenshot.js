// screenshot.js - a picture of the release page in headless Chromium, for the README: the page
// at WxH (a wide window shows the picture pillarboxed), the frame at demo time --at drawn
// through the page's test hook.
//
//   node tests/web/screenshot.js --site build-web/site --bin build/bin --work build-web/shot \
//        --at 165 --window 1100x600 --out docs/web-player.png
'use strict';

const path = require('path');
const web = require('./web_support.js');

async function main() {
    const args = web.parseArgs(process.argv);
    const [width, height] = (args.window || '1100x600').split('x').map(Number);
    await web.withBrowser(args.site, async (browser, origin) => {
        const page = await browser.newPage();
        await page.setViewport({ width, height });
        // The picture's size is what the release page picks for that window by itself.
        await page.goto(origin + '/index.html?hooks');
        await web.waitInPage(page, () => window.tir.status === 'hooks', 60000, 'the player');
        await page.evaluate((t) => window.tir.module._tir_still(t), Number(args.at || 165));
        await page.screenshot({ path: path.resolve(args.out) });
        console.log('wrote ' + args.out);
    });
}

web.runMain(main);
