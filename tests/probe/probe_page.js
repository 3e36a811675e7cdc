// The message probe's page (build/web/probe.html) under the input probe_test
// gives the probe on X: keys as a person types them, the window's corner
// dragged to a 500 x 400 client area, the close button. The probe's log, its
// standard output, is the page's console: it goes to LOG, and this ends with
// the status the page says, or 2 (and what it stopped) if its policy stopped
// anything, in the running browser SINEBAND_WEB_SHARED names if set. WebKit's
// driver gives no console.   node probe_page.js chromium|firefox LOG
'use strict';

const fs = require('fs');
const web = require('../../tools/web/browser.js');

(async () => {
  const [browserName, log] = process.argv.slice(2);
  const server = await web.serve();
  const page = await web.open({ browser: browserName, shared: process.env.SINEBAND_WEB_SHARED });
  let status = null;
  try {
    await page.goto(server.url + 'probe.html');
    await web.frames(page, 10);
    await web.sleep(300);
    const typing = [['a'], ['1'], ['a', 100, 'Shift'], ['c', 100, 'Control'], ['x', 100, 'Alt'], ['F1'], ['F5'],
      ['ArrowLeft'], ['ArrowUp'], ['b', 1500]];
    for (const [key, ms = 100, modifier] of typing) {
      await page.hold(key, ms, modifier);
      await web.sleep(modifier ? 200 : 100);
    }
    await web.sleep(200);
    // In one step, as xdotool's windowsize is one resize; in CSS pixels.
    const [x, y, width, height] = await page.evaluate(() => {
      const c = document.querySelector('.window canvas').getBoundingClientRect();
      const r = document.querySelector('.window .grip').getBoundingClientRect();
      return [r.x + r.width / 2, r.y + r.height / 2, c.width, c.height];
    });
    await page.drag([[x, y], [x + 500 - width, y + 400 - height]], 1);
    await web.sleep(800);
    await page.click('.window .close');
    status = await web.endStatus(page);
    fs.writeFileSync(log, page.console.filter((l) => /^(sent|dispatched|quit) /.test(l)).join('\n') + '\n');
    const stopped = await page.evaluate(() => Module.violations);
    if (stopped.length) {
      console.error(`the page's policy stopped: ${stopped.join(', ')}`);
      status = null;
    }
  } finally {
    await page.close();
    server.close();
  }
  process.exit(status === null ? 2 : status);
})().catch((e) => {
  console.error(e);
  process.exit(2);
});
