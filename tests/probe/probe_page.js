// The message probe's page (build/web/probe.html) in a browser, under the
// input probe_test gives the probe on X: keys as a person types them, the
// window's corner dragged to a 500 x 400 client area, and the close button.
// The probe's log is its standard output, which the page's console shows;
// it is written to LOG, and this ends with the status the page says (2 when
// the page's content security policy stopped anything).
//   node probe_page.js chromium|firefox LOG
'use strict';

const fs = require('fs');
const web = require('../../tools/web/browser.js');

// A key held as on X (xdotool's keydown, sleep, keyup): past the X server's
// auto-repeat delay (660 ms) it repeats 25 times a second, as a held key
// does in a browser, which a driver's key does not by itself.
async function key(page, name, ms = 100) {
  await page.keyboard.down(name);
  for (let held = 660; held < ms; held += 40) {
    await web.sleep(held === 660 ? 660 : 40);
    await page.keyboard.down(name);
  }
  await web.sleep(ms < 660 ? ms : (ms - 660) % 40);
  await page.keyboard.up(name);
  await web.sleep(100);
}

async function withModifier(page, modifier, name) {
  await page.keyboard.down(modifier);
  await web.sleep(100);
  await key(page, name);
  await page.keyboard.up(modifier);
  await web.sleep(200);
}

(async () => {
  const [browserName, log] = process.argv.slice(2);
  if (!web.executables[browserName] || !log) {
    console.error('usage: probe_page.js chromium|firefox LOG');
    process.exit(2);
  }
  const server = await web.serve();
  const browser = await web.launch({ browser: browserName });
  let status = null;
  try {
    const page = await web.newPage(browser);
    await page.goto(server.url + 'probe.html');
    await web.frames(page, 10);
    await web.sleep(300);
    for (const name of ['a', '1'])
      await key(page, name);
    await withModifier(page, 'Shift', 'a');
    await withModifier(page, 'Control', 'c');
    await withModifier(page, 'Alt', 'x');
    for (const name of ['F1', 'F5', 'ArrowLeft', 'ArrowUp'])
      await key(page, name);
    await key(page, 'b', 1500);
    await web.sleep(200);

    // One step of the drag, as xdotool's windowsize is one resize.
    const canvas = await page.$eval('.window canvas', (c) => [c.width, c.height]);
    const grip = await (await page.$('.window .grip')).boundingBox();
    const x = grip.x + grip.width / 2, y = grip.y + grip.height / 2;
    await page.mouse.move(x, y);
    await page.mouse.down();
    await page.mouse.move(x + 500 - canvas[0], y + 400 - canvas[1]);
    await page.mouse.up();
    await web.sleep(800);

    await (await page.$('.window .close')).click();
    status = await web.endStatus(page);
    fs.writeFileSync(log, page.consoleLines.filter((l) => /^(sent|dispatched|quit) /.test(l)).join('\n') + '\n');
    // The page's policy holds for the probe's page too: nothing it stops.
    const violations = await page.evaluate(() => Module.violations);
    if (violations.length) {
      console.error(`the page's policy stopped: ${violations.join(', ')}`);
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
