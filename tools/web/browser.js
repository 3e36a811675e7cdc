// What make web, the browser tests and the web benchmark share: the built
// page served over http on 127.0.0.1, and Debian's Chromium, headless,
// driving it.
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');
const { chromium } = require('playwright-core');

const root = path.resolve(__dirname, '../..');
const pageDir = process.env.SINEBAND_WEB_DIR || path.join(root, 'build/web');
const chromiumPath = process.env.SINEBAND_CHROMIUM || '/usr/bin/chromium';

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.txt': 'text/plain; charset=utf-8',
};

// Serves dir on 127.0.0.1 at a free port (or `port`); a page cannot load
// its .wasm from a file: address.
function serve(dir = pageDir, port = 0) {
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
      res.end(data);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => {
      resolve({ url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() });
    });
  });
}

// Headless Chromium with WebGL in software (SwiftShader), or with no WebGL
// at all. NOTE: with no network here, the browser's own background traffic
// only fails, so it is turned off.
async function launch({ webgl = true } = {}) {
  const args = [
    '--no-sandbox',
    '--disable-background-networking',
    '--disable-component-update',
    '--disable-sync',
    '--no-first-run',
    '--disable-features=Translate,MediaRouter',
  ];
  args.push(...(webgl ? ['--use-angle=swiftshader', '--enable-unsafe-swiftshader'] : ['--disable-webgl']));
  return chromium.launch({ executablePath: chromiumPath, headless: true, args });
}

// A page 800 x 600 at one pixel per CSS pixel, its console lines kept.
async function newPage(browser) {
  const page = await browser.newPage({ viewport: { width: 800, height: 600 }, deviceScaleFactor: 1 });
  page.consoleLines = [];
  page.on('console', (m) => page.consoleLines.push(m.text()));
  page.on('pageerror', (e) => page.consoleLines.push('page error: ' + e.message));
  return page;
}

const status = (page) => page.locator('#status').textContent();

// Waits until the page says the program ended, and gives the status it
// says, or null when it has not ended within `ms`.
async function endStatus(page, ms = 10000) {
  try {
    await page.waitForFunction(() => /ended with status/.test(document.getElementById('status').textContent),
      null, { timeout: ms });
  } catch (e) {
    return null;
  }
  return Number((await status(page)).match(/status (\d+)/)[1]);
}

// Waits until the program has drawn `count` frames.
async function frames(page, count = 10, ms = 20000) {
  await page.waitForFunction((n) => (window.Module && Module.frames) >= n, count, { timeout: ms });
}

// A key held as a person holds it: the program reads its key table once a
// frame, so a press and release in the same frame would leave no trace.
async function holdKey(page, key, ms = 200) {
  await page.keyboard.down(key);
  await page.waitForTimeout(ms);
  await page.keyboard.up(key);
}

module.exports = { root, pageDir, serve, launch, newPage, status, endStatus, frames, holdKey };
