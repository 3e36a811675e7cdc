// The message probe's page (build/web/probe.html) under the input probe_test
// gives the probe on X: keys as a person types them, the window's corner
// dragged to a 500 x 400 client area, the close button. The probe's log, its
// standard output, is the page's console: it goes to LOG, and this ends with
// the status the page says, or 2 (and what it stopped) if its policy stopped
// anything.   node probe_page.js chromium|firefox LOG
'use strict';

const fs = require('fs');
const web = require('../../tools/web/browser.js');

// A key held as xdotool holds it: past X's auto-repeat delay (660 ms) it
// repeats 25 times a second, which a driver's key does not by itself.
async function key(page, name, ms = 100, modifier = null) {
  if (modifier) {
    await page.keyboard.down(modifier);
    await web.sleep(100);
  }
  await page.keyboard.down(name);
  for (let held = 660; held < ms; held += 40) {
    await web.sleep(held === 660 ? 660 : 40);
    await page.keyboard.down(name);
  }
  await web.sleep(ms < 660 ? ms : (ms - 660) % 40);
  await page.keyboard.up(name);
  await web.sleep(100);
  if (modifier) {
    await page.keyboard.up(modifier);
    await web.sleep(200);
  }
}

(async () => {
  const [browserName, log] = process.argv.slice(2);
  const server = await web.serve();
  const browser = await web.launch({ browser: browserName });
  let status = null;
  try {
    const page = await web.newPage(browser);
    await page.goto(server.url + 'probe.html');
    await web.frames(page, 10);
    await web.sleep(300);
    const typing = [['a'], ['1'], ['a', 100, 'Shift'], ['c', 100, 'Control'], ['x', 100, 'Alt'], ['F1'], ['F5'],
      ['ArrowLeft'], ['ArrowUp'], ['b', 1500]];
    for (const k of typing)
      await key(page, ...k);
    await web.sleep(200);
    // In one step, as xdotool's windowsize is one resize.
    const size = await page.$eval('.window canvas', (c) => [c.width, c.height]);
    const grip = await (await page.$('.window .grip')).boundingBox();
    await page.mouse.move(grip.x + 8, grip.y + 8);
    await page.mouse.down();
    await page.mouse.move(grip.x + 8 + 500 - size[0], grip.y + 8 + 400 - size[1]);
    await page.mouse.up();
    await web.sleep(800);
    await (await page.$('.window .close')).click();
    status = await web.endStatus(page);
    fs.writeFileSync(log, page.consoleLines.filter((l) => /^(sent|dispatched|quit) /.test(l)).join('\n') + '\n');
    const stopped = await page.evaluate(() => Module.violations);
    if (stopped.length) {
      console.error(`the page's policy stopped: ${stopped.join(', ')}`);
      status = null;
    }
  } finally {
    await browser.close();
    server.close();
  }
  process.exit(status === null ? 2 : status);
})().catch((e) => {
  console.error(e);
  process.exit(2);
});
