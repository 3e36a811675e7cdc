// WebKit driven as the browser tests and the web benchmark drive the other
// engines: WebKitGTK's own WebDriver (WebKitWebDriver, which starts
// MiniBrowser --automation on the X display) over the classic W3C WebDriver
// protocol, with Node's fetch. It gives the driven page of browser.js: open
// a page, run a script, press and let go of a key, click, drag, a shot of
// an element.
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

// The TCP port a process listens on, read from /proc: the driver takes a
// free one when asked for port 0, but does not say which.
function listeningPort(pid) {
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
  for (const line of fs.readFileSync('/proc/net/tcp', 'utf8').split('\n').slice(1)) {
    const f = line.trim().split(/\s+/);
    // f[1] is address:port in hex, f[3] the state (0A: listening), f[9] the inode.
    if (f[3] === '0A' && sockets.has(f[9]))
      return parseInt(f[1].split(':')[1], 16);
  }
  return null;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Starts the driver in a process group of its own (so that MiniBrowser and
// its web processes can all be ended together), with its data in a fresh
// folder, and opens a session: MiniBrowser with WebGL or without.
async function open({ webgl = true, width = 800, height = 600 } = {}) {
  // NOTE: with no display the session request hangs with no error.
  if (!process.env.DISPLAY)
    throw new Error('WebKit needs an X display here (tools/with-xvfb.sh)');
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'sineband-webkit-'));
  const env = { ...process.env, HOME: home, XDG_CACHE_HOME: path.join(home, 'cache'),
    XDG_CONFIG_HOME: path.join(home, 'config'), XDG_DATA_HOME: path.join(home, 'data') };
  // NOTE: a shell in the driver's group ends the group, and removes the data,
  // when its standard input closes, as it does however this process ends
  // (SIGKILL too): the driver, which needs no display, would live on.
  const group = spawn('/bin/sh', ['-c', '"$0" --port=0 & echo $!; read -r _; rm -rf "$1"; kill -KILL 0',
    driverPath, home],
    { env, detached: true, stdio: ['pipe', 'pipe', 'ignore'] });
  const driverPid = new Promise((resolve, reject) => {
    group.once('error', reject);
    group.stdout.once('data', (pid) => resolve(Number(String(pid).trim())));
  });
  let base = null, session = null;

  // Ends everything: the session first (or MiniBrowser lives on), then the
  // driver's whole process group, then the data folder.
  let closed = false;
  const close = async () => {
    if (closed)
      return;
    closed = true;
    if (session)
      await call('DELETE', `/session/${session}`, undefined, 5000).catch(() => {});
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

  async function call(method, what, body, ms = 30000) {
    const r = await fetch(`${base}${what}`, {
      method, signal: AbortSignal.timeout(ms),
      headers: body ? { 'Content-Type': 'application/json' } : {},
      body: body ? JSON.stringify(body) : undefined,
    });
    const answer = await r.json();
    if (!r.ok)
      throw new Error(`webdriver ${method} ${what}: ${answer.value.error}: ${answer.value.message}`);
    return answer.value;
  }
  const on = (method, what, body, ms) => call(method, `/session/${session}${what}`, body, ms);

  try {
    const pid = await driverPid;
    let port = null;
    for (let i = 0; i < 100 && !port; ++i) {
      await sleep(50);
      port = listeningPort(pid);
    }
    if (!port)
      throw new Error(`${driverPath} listens on no port`);
    base = `http://127.0.0.1:${port}`;
    const args = ['--automation', ...(webgl ? [] : ['--enable-webgl=false'])];
    session = (await call('POST', '/session', {
      capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { args } } },
    }, 30000)).sessionId;
    // NOTE: the window holds a toolbar above the page; size it so that the
    // page's viewport comes out as asked.
    const outer = await on('GET', '/window/rect');
    const [w, h] = await on('POST', '/execute/sync', { script: 'return [innerWidth, innerHeight]', args: [] });
    await on('POST', '/window/rect', { width: width + outer.width - w, height: height + outer.height - h });
  } catch (e) {
    await close();
    throw e;
  }

  const element = async (selector) =>
    Object.values(await on('POST', '/element', { using: 'css selector', value: selector }))[0];
  const actions = (type, steps) => on('POST', '/actions', { actions: [{ type, id: type, ...(type === 'pointer' ?
    { parameters: { pointerType: 'mouse' } } : {}), actions: steps }] });

  return {
    console: null,
    warnings: null,
    goto: (url) => on('POST', '/url', { url }),
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
    shot: async (selector, png) =>
      fs.writeFileSync(png, Buffer.from(await on('GET', `/element/${await element(selector)}/screenshot`), 'base64')),
    close,
  };
}

module.exports = { open, driverPath };
