// WebKit driven as the browser tests and the web benchmark drive the other
// engines: WebKitGTK's own WebDriver (WebKitWebDriver, which starts
// MiniBrowser --automation on the X display) over the classic W3C WebDriver
// protocol, with Node's fetch. It gives the driven page of browser.js: open
// a page, run a script, press and let go of a key, click, drag, tap, a shot
// of an element or of the viewport. The driver allows one session, each its
// own MiniBrowser: open() starts both for one page; start() starts them to
// be shared, and attach() gives each user a window of its own in that
// session, one user at a time.
// WebKit's driver gives no console, so `console` and `warnings` are null.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const driverPath = process.env.SINEBAND_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';

// W3C WebDriver's code points for the keys the cases name by KeyboardEvent.key.
const keyPoints = {
  Escape: '\uE00C', Tab: '\uE004', Backspace: '\uE003', Enter: '\uE006', Shift: '\uE008',
  Control: '\uE009', Alt: '\uE00A', ArrowLeft: '\uE012', ArrowUp: '\uE013', ArrowRight: '\uE014',
  ArrowDown: '\uE015', F1: '\uE031',
};
function keyPoint(key) {
  if (keyPoints[key])
    return keyPoints[key];
  if ([...key].length !== 1)
    throw new Error(`webdriver: no code point for the key '${key}'`);
  return key;
}

// The address a process listens on, read from /proc: the driver takes a
// free port when asked for port 0, but does not say which, and may listen
// on IPv6 alone. Gives a base URL, or null.
function listeningAddress(pid) {
  let sockets;
  try {
    sockets = new Set(fs.readdirSync(`/proc/${pid}/fd`).map((fd) => {
      try {
        return (fs.readlinkSync(`/proc/${pid}/fd/${fd}`).match(/^socket:\[(\d+)\]$/) || [])[1];
      } catch (e) {
        return undefined;
      }
    }).filter(Boolean));
  } catch (e) {
    return null;
  }
  for (const table of ['tcp', 'tcp6']) {
    const lines = fs.existsSync(`/proc/net/${table}`) ? fs.readFileSync(`/proc/net/${table}`, 'utf8') : '';
    for (const line of lines.split('\n').slice(1)) {
      const f = line.trim().split(/\s+/);
      // f[1] is address:port in hex, f[3] the state (0A: listening), f[9] the inode.
      if (f[3] !== '0A' || !sockets.has(f[9]))
        continue;
      const [address, port] = f[1].split(':');
      // An IPv4 address is one little-endian word; any address is reached on
      // loopback, and the driver listens on IPv6 on loopback or any.
      let host = table === 'tcp6' ? '[::1]' : Buffer.from(address, 'hex').reverse().join('.');
      if (host === '0.0.0.0')
        host = '127.0.0.1';
      return `http://${host}:${parseInt(port, 16)}`;
    }
  }
  return null;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A call of the driver at `base`; gives the answer's value.
async function call(base, method, what, body, ms = 30000) {
  const r = await fetch(`${base}${what}`, {
    method, signal: AbortSignal.timeout(ms),
    headers: body ? { 'Content-Type': 'application/json' } : {},
    body: body ? JSON.stringify(body) : undefined,
  });
  const text = await r.text();
  let answer = null;
  try {
    answer = JSON.parse(text);
  } catch (e) {
    // an answer that is not JSON: an error from below the driver
  }
  if (!r.ok || !answer)
    throw new Error(`webdriver ${method} ${what}: ${r.status} ` +
      (answer && answer.value ? `${answer.value.error}: ${answer.value.message}` : text.slice(0, 200)));
  return answer.value;
}

// Starts the driver in a process group of its own (so that MiniBrowser and
// its web processes can all be ended together), with its data in a fresh
// folder, and opens a session: MiniBrowser with WebGL or without. Gives
// { base, session, home } (home: the session's first window) and close().
async function start({ webgl = true } = {}) {
  // NOTE: with no display the session request hangs with no error.
  if (!process.env.DISPLAY)
    throw new Error('WebKit needs an X display here (tools/with-xvfb.sh)');
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'sineband-webkit-'));
  const env = { ...process.env, HOME: home, XDG_CACHE_HOME: path.join(home, 'cache'),
    XDG_CONFIG_HOME: path.join(home, 'config'), XDG_DATA_HOME: path.join(home, 'data') };
  // NOTE: a shell in the driver's group ends the group, and removes the data,
  // when its standard input closes, as it does however this process ends
  // (SIGKILL too): the driver, which needs no display, would live on. The
  // pipe carries the driver's pid alone: the driver and MiniBrowser write
  // elsewhere.
  const group = spawn('/bin/sh', ['-c', '"$0" --port=0 >/dev/null 2>&1 & echo $!; read -r _; rm -rf "$1"; kill -KILL 0',
    driverPath, home],
    { env, detached: true, stdio: ['pipe', 'pipe', 'ignore'] });
  const driverPid = new Promise((resolve, reject) => {
    let out = '';
    group.once('error', reject);
    group.stdout.on('data', (chunk) => {
      out += chunk;
      if (out.includes('\n'))
        resolve(Number(out.split('\n')[0]));
    });
    group.stdout.once('end', () => reject(new Error(`${driverPath} did not start`)));
  });
  const shared = { base: null, session: null, home: null };

  // Ends everything: the session first (or MiniBrowser lives on), then the
  // driver's whole process group, then the data folder.
  let closed = false;
  const close = async () => {
    if (closed)
      return;
    closed = true;
    if (shared.session)
      await call(shared.base, 'DELETE', `/session/${shared.session}`, undefined, 5000).catch(() => {});
    kill();
    process.removeListener('exit', kill);
    for (const signal of signals)
      process.removeListener(signal, onSignal);
  };
  const kill = () => {
    try {
      process.kill(-group.pid, 'SIGKILL');
    } catch (e) {
      // already gone
    }
    fs.rmSync(home, { recursive: true, force: true });
  };
  // NOTE: on any end of this process, the browser must not outlive it.
  const signals = ['SIGINT', 'SIGTERM', 'SIGHUP'];
  const onSignal = (signal) => process.exit(128 + os.constants.signals[signal]);
  process.once('exit', kill);
  for (const signal of signals)
    process.once(signal, onSignal);

  try {
    const pid = await driverPid;
    for (let i = 0; i < 100 && !shared.base; ++i) {
      await sleep(50);
      shared.base = listeningAddress(pid);
    }
    if (!shared.base)
      throw new Error(`${driverPath} listens on no port`);
    const args = ['--automation', ...(webgl ? [] : ['--enable-webgl=false'])];
    shared.session = (await call(shared.base, 'POST', '/session', {
      capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { args } } },
    }, 30000)).sessionId;
    shared.home = await call(shared.base, 'GET', `/session/${shared.session}/window`);
  } catch (e) {
    await close();
    throw e;
  }
  return { ...shared, close };
}

// Calls of the driver within a session.
const inSession = ({ base, session }) => (method, what, body, ms) =>
  call(base, method, `/session/${session}${what}`, body, ms);

// The driven page of browser.js in the session's current window, sized so
// that its viewport is width x height; close() is the page's.
async function driven(shared, width, height, close) {
  const on = inSession(shared);
  // NOTE: the window holds a toolbar above the page; size it so that the
  // page's viewport comes out as asked.
  const size = async (w, h) => {
    const outer = await on('GET', '/window/rect');
    const [iw, ih] = await on('POST', '/execute/sync', { script: 'return [innerWidth, innerHeight]', args: [] });
    await on('POST', '/window/rect', { width: w + outer.width - iw, height: h + outer.height - ih });
  };
  await size(width, height);
  const element = async (selector) =>
    Object.values(await on('POST', '/element', { using: 'css selector', value: selector }))[0];
  const actions = (type, steps, pointerType = 'mouse') => on('POST', '/actions', { actions: [{ type, id: type,
    ...(type === 'pointer' ? { parameters: { pointerType } } : {}), actions: steps }] });
  const png = async (file, what) => fs.writeFileSync(file, Buffer.from(await on('GET', what), 'base64'));

  return {
    console: null,
    warnings: null,
    goto: (url) => on('POST', '/url', { url }),
    // NOTE: the driver waits for a promise the script gives, as puppeteer does.
    evaluate: (fn, ...args) =>
      on('POST', '/execute/sync', { script: `return (${fn}).apply(null, arguments)`, args }),
    // NOTE: a key's pressed state lasts from one call to the next, and a
    // key pressed again is sent as a repeat.
    down: (key) => actions('key', [{ type: 'keyDown', value: keyPoint(key) }]),
    up: (key) => actions('key', [{ type: 'keyUp', value: keyPoint(key) }]),
    press: (key) => actions('key', [{ type: 'keyDown', value: keyPoint(key) },
      { type: 'keyUp', value: keyPoint(key) }]),
    click: async (selector) => on('POST', `/element/${await element(selector)}/click`, {}),
    // Presses the mouse at the first point and moves it through the others,
    // each move in `steps`, then lets go.
    drag: (points, steps = 5) => {
      const moves = [];
      for (let i = 1; i < points.length; ++i)
        for (let s = 1; s <= steps; ++s)
          moves.push({ type: 'pointerMove', origin: 'viewport', duration: 0,
            x: Math.round(points[i - 1][0] + ((points[i][0] - points[i - 1][0]) * s) / steps),
            y: Math.round(points[i - 1][1] + ((points[i][1] - points[i - 1][1]) * s) / steps) });
      const [x, y] = points[0].map(Math.round);
      return actions('pointer', [{ type: 'pointerMove', origin: 'viewport', duration: 0, x, y },
        { type: 'pointerDown', button: 0 }, ...moves, { type: 'pointerUp', button: 0 }]);
    },
    // NOTE: WebKitGTK gives a touch pointer's tap to the page as a click.
    tap: (x, y) => actions('pointer', [{ type: 'pointerMove', origin: 'viewport', duration: 0,
      x: Math.round(x), y: Math.round(y) }, { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }], 'touch'),
    shot: async (selector, file) => png(file, `/element/${await element(selector)}/screenshot`),
    screen: (file) => png(file, '/screenshot'),
    // The driver can size the window, but not change its pixel ratio nor
    // give it touch.
    emulate: async (width, height, ratio, touch = false) => {
      if (ratio !== 1 || touch)
        throw new Error('webdriver: WebKit\'s driver cannot emulate a pixel ratio or touch');
      await size(width, height);
    },
    close,
  };
}

// A browser of its own for one page.
async function open({ webgl = true, width = 800, height = 600 } = {}) {
  const browser = await start({ webgl });
  try {
    return await driven(browser, width, height, browser.close);
  } catch (e) {
    await browser.close();
    throw e;
  }
}

// A window of its own in a session start() opened (its { base, session,
// home }), for one page; close() closes the window and leaves the session.
async function attach(shared, { width = 800, height = 600 } = {}) {
  const on = inSession(shared);
  // NOTE: a new window needs a current one, and keys left down by an
  // earlier user stay down in the session.
  await on('POST', '/window', { handle: shared.home });
  await on('DELETE', '/actions');
  const { handle } = await on('POST', '/window/new', { type: 'window' });
  await on('POST', '/window', { handle });
  // NOTE: DELETE /window closes whichever window is current: only ours, and
  // once, or a second close would take the session's home window with it.
  let closed = false;
  const close = async () => {
    if (closed)
      return;
    closed = true;
    await on('DELETE', '/actions').catch(() => {});
    if (await on('POST', '/window', { handle }).then(() => true, () => false))
      await on('DELETE', '/window').catch(() => {});
    await on('POST', '/window', { handle: shared.home }).catch(() => {});
  };
  try {
    return await driven(shared, width, height, close);
  } catch (e) {
    await close();
    throw e;
  }
}

module.exports = { open, start, attach, driverPath };
