// What make web, the browser tests and the web benchmark share: a folder
// served over http on 127.0.0.1, and a browser driving the page through
// puppeteer-core: Debian's Chromium headless (WebGL in SwiftShader), or its
// Firefox ESR headed on the X display (WebGL through Mesa), over WebDriver
// BiDi.
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const http = require('http');
const path = require('path');
const puppeteer = require('puppeteer-core');

const root = path.resolve(__dirname, '../..');
const pageDir = process.env.SINEBAND_WEB_DIR || path.join(root, 'build/web');
const executables = {
  chromium: process.env.SINEBAND_CHROMIUM || '/usr/bin/chromium',
  firefox: process.env.SINEBAND_FIREFOX || '/usr/bin/firefox-esr',
};

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.png': 'image/png',
  '.txt': 'text/plain; charset=utf-8',
};

// Serves dir on 127.0.0.1 at a free port (or `port`), as a visitor gets the
// page. `bytes` counts the bodies sent.
function serve(dir = pageDir, port = 0) {
  const served = { bytes: 0 };
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(dir, name.endsWith('/') ? name + 'index.html' : name);
    if (!file.startsWith(path.resolve(dir) + path.sep)) {
      res.writeHead(403).end();
      return;
    }
    fs.readFile(file, (err, data) => {
      if (err) {
        res.writeHead(404).end();
        return;
      }
      res.writeHead(200, {
        'Content-Type': types[path.extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-store',
      });
      served.bytes += data.length;
      res.end(data);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => {
      served.url = `http://127.0.0.1:${server.address().port}/`;
      served.close = () => server.close();
      resolve(served);
    });
  });
}

// Chromium (the default) or Firefox, with WebGL or with none, showing an
// 800 x 600 page at one pixel per CSS pixel. NOTE: with no network here,
// the browsers' own background traffic only fails, so it is turned off.
async function launch({ browser = 'chromium', webgl = true } = {}) {
  const common = { executablePath: executables[browser],
    defaultViewport: { width: 800, height: 600, deviceScaleFactor: 1 } };
  if (browser === 'firefox') {
    // NOTE: Firefox has no WebGL headless on a machine without a GPU.
    if (!process.env.DISPLAY)
      throw new Error('Firefox needs an X display here (tools/with-xvfb.sh)');
    return puppeteer.launch({ ...common, browser: 'firefox', headless: false,
      extraPrefsFirefox: webgl ? { 'webgl.force-enabled': true } : { 'webgl.disabled': true } });
  }
  if (browser !== 'chromium')
    throw new Error(`unknown browser '${browser}' (chromium or firefox)`);
  const args = [
    '--no-sandbox',
    '--disable-background-networking',
    '--disable-component-update',
    '--disable-sync',
    '--no-first-run',
    '--disable-features=Translate,MediaRouter',
  ];
  args.push(...(webgl ? ['--use-angle=swiftshader', '--enable-unsafe-swiftshader'] : ['--disable-webgl']));
  return puppeteer.launch({ ...common, browser: 'chrome', headless: true, args });
}

// A page with its console lines kept, warnings apart too.
async function newPage(browser) {
  const page = await browser.newPage();
  page.consoleLines = [];
  page.warnings = [];
  page.on('console', (m) => {
    page.consoleLines.push(m.text());
    if (m.type() === 'warn' || m.type() === 'warning')
      page.warnings.push(m.text());
  });
  page.on('pageerror', (e) => page.consoleLines.push('page error: ' + e.message));
  return page;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const status = (page) => page.$eval('#status', (e) => e.textContent);

// Waits until the page says the program ended, and gives the status it
// says, or null when it has not ended within `ms`.
async function endStatus(page, ms = 10000) {
  try {
    await page.waitForFunction(() => /ended with status/.test(document.getElementById('status').textContent),
      { timeout: ms, polling: 100 });
  } catch (e) {
    return null;
  }
  return Number((await status(page)).match(/status (\d+)/)[1]);
}

// Waits until the page has drawn `count` frames.
async function frames(page, count = 10, ms = 20000) {
  await page.waitForFunction((n) => (window.Module && Module.frames) >= n, { timeout: ms, polling: 50 }, count);
}

// A key held as a person holds it: the program reads its key table once a
// frame, so a press and release in the same frame would leave no trace.
// Keys are named by KeyboardEvent.key (' ', not 'Space'), as BiDi wants.
async function holdKey(page, key, ms = 200) {
  await page.keyboard.down(key);
  await sleep(ms);
  await page.keyboard.up(key);
}

// Shows the page as a device does (Chromium only): a phone is 390 x 844 at
// ratio 3 with touch. NOTE: puppeteer reloads the page when touch is turned
// on or off; any other change is made in the same document.
async function emulate(page, width, height, deviceScaleFactor, touch = false) {
  await page.setViewport({ width, height, deviceScaleFactor, isMobile: touch, hasTouch: touch });
  await frames(page, (await page.evaluate(() => (window.Module && Module.frames) || 0)) + 10);
}

// An element as the screen shows it, in device pixels, to `png`: a crop of
// the whole screen, as puppeteer rounds an element's shot to CSS pixels.
async function deviceShot(page, selector, png) {
  const [w, h, x, y] = await page.$eval(selector, (e) => {
    const r = e.getBoundingClientRect();
    return [r.width, r.height, r.left, r.top].map((n) => Math.round(n * devicePixelRatio));
  });
  const screen = png.replace(/\.png$/, '-screen.png');
  await page.screenshot({ path: screen });
  execFileSync('convert', [screen, '-crop', `${w}x${h}+${x}+${y}`, '+repage', png]);
  return png;
}

// Where touches reach `selector` (its own area, pseudo-elements included)
// within `reach` CSS pixels of the top right corner of `around`: the bounds
// [left, top, width, height], and whether every point inside them does.
const touchArea = (page, selector, around, reach = 80) =>
  page.evaluate((selector, around, reach) => {
    const target = document.querySelector(selector), r = document.querySelector(around).getBoundingClientRect();
    const xs = [], ys = [];
    for (let y = Math.max(0, Math.floor(r.top)); y < r.top + reach; ++y)
      for (let x = Math.max(0, Math.ceil(r.right) - reach); x < Math.min(r.right, innerWidth); ++x)
        if (target.contains(document.elementFromPoint(x + 0.5, y + 0.5)))
          xs.push(x), ys.push(y);
    const left = Math.min(...xs), top = Math.min(...ys), width = Math.max(...xs) - left + 1;
    const height = Math.max(...ys) - top + 1;
    return { bounds: [left, top, width, height], solid: xs.length === width * height };
  }, selector, around, reach);

module.exports = { root, pageDir, executables, serve, launch, newPage, sleep, status, endStatus, frames, holdKey,
  emulate, deviceShot, touchArea };
