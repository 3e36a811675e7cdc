// What make web, the browser tests and the web benchmark share: a folder
// served over http on 127.0.0.1, and a browser driving the page: through
// puppeteer-core, Debian's Chromium headless (WebGL in SwiftShader) or its
// Firefox ESR headed on the X display (WebGL through Mesa) over WebDriver
// BiDi; through webdriver.js, WebKitGTK's MiniBrowser on the X display
// (WebGL through Mesa) over classic WebDriver. open() gives either as the
// same driven page, in a browser of its own or in a browsing context of its
// own in a browser that share() started (for tools/web/shared.js).
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const http = require('http');
const path = require('path');
const puppeteer = require('puppeteer-core');
const webdriver = require('./webdriver.js');

const root = path.resolve(__dirname, '../..');
const pageDir = process.env.SINEBAND_WEB_DIR || path.join(root, 'build/web');
const executables = {
  chromium: process.env.SINEBAND_CHROMIUM || '/usr/bin/chromium',
  firefox: process.env.SINEBAND_FIREFOX || '/usr/bin/firefox-esr',
  webkit: webdriver.driverPath,
};

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.png': 'image/png',
  '.txt': 'text/plain; charset=utf-8',
};

// Serves dir on 127.0.0.1 at a free port (or `port`), as a visitor gets the
// page. `bytes` counts the bodies sent, `asked` the paths asked for.
function serve(dir = pageDir, port = 0) {
  dir = path.resolve(dir);
  const served = { bytes: 0, asked: [] };
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    served.asked.push(name);
    const file = path.join(dir, name.endsWith('/') ? name + 'index.html' : name);
    if (!file.startsWith(dir + path.sep)) {
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
const defaultViewport = { width: 800, height: 600, deviceScaleFactor: 1 };
async function launch({ browser = 'chromium', webgl = true } = {}) {
  const common = { executablePath: executables[browser], defaultViewport };
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

// A page of a browser or of a browsing context, with its console lines kept,
// warnings apart too.
async function newPage(browser, options) {
  const page = await browser.newPage(options);
  page.consoleLines = [];
  page.warnings = [];
  page.errors = [];
  page.on('console', (m) => {
    page.consoleLines.push(m.text());
    if (m.type() === 'warn' || m.type() === 'warning')
      page.warnings.push(m.text());
    if (m.type() === 'error')
      page.errors.push(m.text());
  });
  page.on('pageerror', (e) => page.consoleLines.push('page error: ' + e.message));
  return page;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The page in `browser`, driven through what the tests and the bench need:
//   goto(url)                 opens a page
//   evaluate(fn, ...args)     runs fn in the page, gives its result
//   hold(key, ms, modifier)   a key held as a person holds it on X (past the
//                             auto-repeat delay of 660 ms it repeats 25 times
//                             a second), with `modifier` held around it
//   down(key), up(key)        a key pressed or let go
//   press(key)                a key tapped; keys are named by KeyboardEvent.key
//                             (' ', not 'Space'); NOTE: the program reads its
//                             key table once a frame, so a tap in one frame
//                             leaves no trace: hold keys as a person does
//   click(selector)           a click in the middle of an element
//   drag([[x, y], ...])       the mouse pressed at the first point, moved
//                             through the others, let go
//   shot(selector, png)       a PNG of an element as it is on screen
//   screen(png)               a PNG of the whole screen, in device pixels
//   emulate(w, h, ratio, touch)  (puppeteer's Chromium; Firefox's without
//                             touch) the page shown as a device shows it
//   tap(x, y)                 (with touch emulated) a finger's tap
//   console, warnings, errors  the console's lines, its warnings and errors so
//                             far, or null where the engine gives no console (WebKit)
//   installability()          (Chromium) DevTools' installability errors
//   close()                   ends the browser and all its processes, or
//                             a shared browser's browsing context
// `shared` is the file tools/web/shared.js wrote for a running browser of
// this engine; the page then gets a browsing context of its own there.
async function open({ browser = 'chromium', webgl = true, shared = null } = {}) {
  const state = shared && JSON.parse(fs.readFileSync(shared, 'utf8'));
  if (state && (state.browser !== browser || !webgl))
    throw new Error(`${shared} holds ${state.browser}, with WebGL; asked for ${browser}${webgl ? '' : ' without'}`);
  let page;
  if (browser === 'webkit')
    page = state ? await webdriver.attach(state) : await webdriver.open({ webgl });
  else
    page = await puppeteerPage(browser, webgl, state).catch(async (e) => {
      // NOTE: a Firefox page killed before it could end its session leaves
      // the browser's one session taken: it is started again.
      if (!state || !/Maximum number of active sessions/.test(e.message))
        throw e;
      process.kill(state.pid, 'SIGUSR1');
      const again = () => {
        if (!fs.existsSync(shared))
          throw new Error(`${browser} was not started again (${shared}.log says why)`);
        return JSON.parse(fs.readFileSync(shared, 'utf8'));
      };
      for (const end = Date.now() + 60000; again().endpoint === state.endpoint && Date.now() < end;)
        await sleep(100);
      return puppeteerPage(browser, webgl, again());
    });
  page.hold = async (key, ms = 200, modifier = null) => {
    if (modifier) {
      await page.down(modifier);
      await sleep(100);
    }
    // The repeats and the end at their times from the press, once the page
    // has it, however long each call takes.
    await page.down(key);
    const start = Date.now(), until = (t) => sleep(start + t - Date.now());
    for (let held = 660; held < ms; held += 40) {
      await until(held);
      await page.down(key);
    }
    await until(ms);
    await page.up(key);
    if (modifier) {
      await sleep(100);
      await page.up(modifier);
    }
  };
  return page;
}

// NOTE: a shared browser's page is in a window of its own, as
// requestAnimationFrame stalls in a hidden tab; Firefox allows one WebDriver
// BiDi session at a time, each connection one, so its pages take turns.
async function puppeteerPage(browser, webgl, shared) {
  const b = shared ? await puppeteer.connect({ browserWSEndpoint: shared.endpoint, defaultViewport,
    protocol: browser === 'firefox' ? 'webDriverBiDi' : 'cdp' }) : await launch({ browser, webgl });
  let context = null;
  const close = async () => {
    if (!shared)
      return b.close();
    await (context && context.close().catch(() => {}));
    await b.disconnect();
  };
  try {
    context = shared ? await b.createBrowserContext() : null;
    const page = await (context ? newPage(context, { type: 'window' }) : newPage(b));
    return {
      console: page.consoleLines,
      warnings: page.warnings,
      errors: page.errors,
      // (Chromium) what keeps the page from being installed, as DevTools says.
      // NOTE: a shared browser's own context for the page is an incognito
      // one, where nothing can be installed: that is the test's, not the page's.
      installability: browser === 'chromium' ? async () => (await (await page.createCDPSession())
        .send('Page.getInstallabilityErrors')).installabilityErrors.map((e) => e.errorId)
        .filter((id) => !(context && id === 'in-incognito')) : null,
      goto: (url) => page.goto(url),
      evaluate: (fn, ...args) => page.evaluate(fn, ...args),
      down: (key) => page.keyboard.down(key),
      up: (key) => page.keyboard.up(key),
      press: (key) => page.keyboard.press(key),
      click: async (selector) => (await page.$(selector)).click(),
      async drag(points, steps = 5) {
        await page.mouse.move(...points[0]);
        await page.mouse.down();
        for (const [x, y] of points.slice(1))
          await page.mouse.move(x, y, { steps });
        await page.mouse.up();
      },
      shot: async (selector, png) => (await page.$(selector)).screenshot({ path: png }),
      screen: (png) => page.screenshot({ path: png }),
      // NOTE: puppeteer reloads the page when touch is turned on or off.
      emulate: (width, height, deviceScaleFactor, touch = false) =>
        page.setViewport({ width, height, deviceScaleFactor, isMobile: touch, hasTouch: touch }),
      tap: (x, y) => page.touchscreen.tap(x, y),
      close,
    };
  } catch (e) {
    await close();
    throw e;
  }
}

// A browser for pages to share, as open({ shared }) reaches it: what it
// needs to (plain data), and close().
async function share(browser) {
  if (browser === 'webkit') {
    const { base, session, home, close } = await webdriver.start();
    return { state: { base, session, home }, close };
  }
  const b = await launch({ browser });
  const endpoint = b.wsEndpoint();
  if (browser === 'chromium')
    return { state: { endpoint }, close: () => b.close() };
  // Firefox: this connection's session ends so that a page's can begin.
  const firefox = b.process();
  await b.disconnect();
  return {
    state: { endpoint },
    close: () => new Promise((resolve) => {
      if (firefox.exitCode !== null || firefox.signalCode !== null)
        return resolve();
      firefox.once('exit', resolve);
      firefox.kill();
    }),
  };
}

// Waits until fn(arg) in the page is true; false when it is not within `ms`.
async function waitFor(page, fn, arg, ms = 10000) {
  for (const end = Date.now() + ms; ; await sleep(50)) {
    if (await page.evaluate(fn, arg))
      return true;
    if (Date.now() > end)
      return false;
  }
}

const status = (page) => page.evaluate(() => document.getElementById('status').textContent);

// Waits until the page says the program ended, and gives the status it
// says, or null when it has not ended within `ms`.
async function endStatus(page, ms = 10000) {
  if (!await waitFor(page, () => /ended with status/.test(document.getElementById('status').textContent), null, ms))
    return null;
  return Number((await status(page)).match(/status (\d+)/)[1]);
}

// Waits until the page has drawn `count` frames.
async function frames(page, count = 10, ms = 20000) {
  if (!await waitFor(page, (n) => (window.Module && Module.frames) >= n, count, ms))
    throw new Error(`the page drew fewer than ${count} frames in ${ms} ms`);
}

// Shows the page as a device does (a phone is 390 x 844 at ratio 3, with
// touch) and waits for ten frames drawn so.
async function emulate(page, width, height, ratio, touch = false) {
  await page.emulate(width, height, ratio, touch);
  await frames(page, (await page.evaluate(() => (window.Module && Module.frames) || 0)) + 10);
}

// An element as the screen shows it, in device pixels, to `png`: a crop of
// the whole screen, as an element's shot is rounded to CSS pixels.
async function deviceShot(page, selector, png) {
  const [w, h, x, y] = await page.evaluate((s) => {
    const r = document.querySelector(s).getBoundingClientRect();
    return [r.width, r.height, r.left, r.top].map((n) => Math.round(n * devicePixelRatio));
  }, selector);
  const screen = png.replace(/\.png$/, '-screen.png');
  await page.screen(screen);
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

module.exports = { root, pageDir, executables, serve, open, share, sleep, waitFor, status, endStatus,
  frames, emulate, deviceShot, touchArea };
