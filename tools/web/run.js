// make web, after the page is built:
//   node run.js serve      serves build/web on 127.0.0.1 at a free port, says
//                          the address to open, and serves until Ctrl+C
//   node run.js headless   the page in headless Chromium for a few seconds
//                          (SINEBAND_RUN_SECONDS, 3): a screenshot
//                          (SINEBAND_SCREENSHOT, build/web-screenshot.png),
//                          then Escape held; exits 0 when the page says the
//                          program ended with status 1
'use strict';

const path = require('path');
const web = require('./browser.js');

async function serve() {
  const server = await web.serve();
  console.log(`sineband's page: ${server.url}  (open it in a browser; Ctrl+C stops serving)`);
  process.on('SIGINT', () => {
    server.close();
    process.exit(0);
  });
}

async function headless() {
  const shot = process.env.SINEBAND_SCREENSHOT || path.join(web.root, 'build/web-screenshot.png');
  const seconds = Number(process.env.SINEBAND_RUN_SECONDS || 3);
  const server = await web.serve();
  const page = await web.open();
  let status = null;
  try {
    await page.goto(server.url);
    await web.sleep(seconds * 1000);
    await page.screen(shot);
    console.log(`screenshot: ${shot}`);
    // A start-up failure is a message box waiting for OK.
    if (await page.evaluate(() => document.querySelector('.box .ok') !== null))
      await page.click('.box .ok');
    else
      await page.hold('Escape');
    status = await web.endStatus(page);
    for (const line of page.console)
      console.log(`console: ${line}`);
    console.log(status === null ? `the page still says: ${await web.status(page)}` :
      `sineband ended with status ${status} (1 is a normal end)`);
  } finally {
    await page.close();
    server.close();
  }
  process.exit(status === 1 ? 0 : 1);
}

const modes = { serve, headless };
if (!modes[process.argv[2]]) {
  console.error('usage: run.js serve|headless');
  process.exit(2);
}
modes[process.argv[2]]().catch((e) => {
  console.error(e);
  process.exit(1);
});
