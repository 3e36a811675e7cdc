// The web page (build/web) in headless Chromium, in Firefox or in WebKit,
// driven and looked at as a person would: its picture against the Linux
// build's at the same client size, keys, Escape, the close button, a resize,
// a lost and restored WebGL context, no WebGL, pixel ratios, a phone. One case a
// run, the same in every engine (tools/web/browser.js drives each):
//   node web_test.js CASE chromium|firefox|webkit [LINUX_PROGRAM]
// Firefox and WebKit need an X display (tools/with-xvfb.sh), but in the
// running browser SINEBAND_WEB_SHARED names (tools/web/shared.js), where all
// cases but no-webgl run; the Linux pictures are SINEBAND_WEB_PICTURES's if
// there. Screenshots go to a folder of the case's own,
// SINEBAND_SHOTS/BROWSER/CASE (./web-shots), so that cases can run side by side.
'use strict';

const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const url = require('url');
const web = require('../../tools/web/browser.js');

const [which, browserName, linuxProgram] = process.argv.slice(2);
const shots = path.join(process.env.SINEBAND_SHOTS || path.resolve('web-shots'), browserName || '', which || '');

let failures = 0;
const check = (ok, what) => {
  console.log(`${ok ? 'ok' : 'FAIL'}: ${what}`);
  if (!ok)
    failures++;
  return ok;
};
// NOTE: WebKit's driver gives no console, so what only the console shows is
// checked in Chromium and Firefox alone.
const checkConsole = (page, ok, what) =>
  (page.console ? check(ok(), what) : console.log(`not seen in this engine (no console): ${what}`));

// A command that fails, or ends with another status than `statuses`, throws.
function run(command, args, statuses = [0], env = {}) {
  const r = spawnSync(command, args, { encoding: 'utf8', env: { ...process.env, ...env } });
  if (r.error || !statuses.includes(r.status))
    throw r.error || new Error(`${command} ${args.join(' ')}: status ${r.status}: ${r.stderr}`);
  return r;
}

// Pixels that differ between two pictures of the same size, counted by the
// scripts' own helper (tools/x11.sh).
const x11 = path.join(__dirname, '../../tools/x11.sh');
function differing(a, b) {
  const r = run('bash', ['-c', '. "$0"; differing_pixels "$1" "$2"', x11, a, b], [0, 1]);
  const n = Number(r.stdout.trim().split(/\s/)[0]);
  if (Number.isNaN(n))
    throw new Error(`differing_pixels ${a} ${b}: ${r.stdout}${r.stderr}`);
  return n;
}

// The share of a picture's pixels that are white: a band, not a blank.
const whiteShare = (png) =>
  Number(run('convert', [png, '-fill', 'black', '+opaque', 'white', '-format', '%[fx:mean]', 'info:']).stdout);

// Made by web_pictures, or on an X display of its own with room for the
// window at any size.
function linuxPicture(width, height) {
  const name = `linux-${width}x${height}.png`, made = process.env.SINEBAND_WEB_PICTURES;
  if (made && fs.existsSync(path.join(made, name)))
    return path.join(made, name);
  run(path.join(__dirname, '../../tools/with-xvfb.sh'),
    [path.join(__dirname, 'linux_picture.sh'), linuxProgram, shots, `${width}x${height}`], [0],
    { SINEBAND_XVFB_SCREEN: `${Math.max(width, 600) + 100}x${Math.max(height, 450) + 100}x24` });
  return path.join(shots, name);
}

// The canvas's drawing buffer, its size on the page, and the window's.
const geometry = (page) =>
  page.evaluate(() => {
    const canvas = document.querySelector('.window canvas');
    const c = canvas.getBoundingClientRect(), w = document.querySelector('.window').getBoundingClientRect();
    return { buffer: [canvas.width, canvas.height], client: [c.width, c.height], outer: [w.width, w.height] };
  });

async function canvasShot(page, name) {
  const png = path.join(shots, `${name}.png`);
  await page.shot('.window canvas', png);
  return png;
}

// The page's picture at its client size against the Linux build's.
async function samePicture(page, name) {
  const { buffer } = await geometry(page);
  const png = await canvasShot(page, name);
  const white = whiteShare(png);
  check(white > 0.05 && white < 0.5, `${name}: the band covers ${(white * 100).toFixed(1)} % of the picture`);
  const n = differing(png, linuxPicture(buffer[0], buffer[1]));
  const allowed = Math.floor((buffer[0] * buffer[1]) / 1000);
  check(n <= allowed, `${name}: ${n} of ${buffer[0] * buffer[1]} pixels differ from the Linux build's (at most ${allowed})`);
  return png;
}

const text = (page, selector) => page.evaluate((s) => document.querySelector(s).textContent, selector);

const colours = (png) => new Set(run('convert', [png, '-unique-colors', 'txt:-']).stdout.match(/#[0-9A-F]{6}/g));

// The canvas as the screen shows it, in device pixels: white and black
// alone (a canvas stretched, or off the device-pixel grid, shows greys or
// the frame), and at most 0.01 % of its pixels off the Linux build's picture
// at that size (a stretched or shifted one is off on every edge).
async function sharp(page, name) {
  const shot = await web.deviceShot(page, '.window canvas', path.join(shots, `web-${name}.png`));
  const extra = [...colours(shot)].filter((c) => c !== '#000000' && c !== '#FFFFFF');
  check(extra.length === 0, `${name}: no colour but the band's white and the black (${extra.join(' ')})`);
  const [width, height] = run('identify', ['-format', '%w %h', shot]).stdout.split(' ').map(Number);
  const n = differing(shot, linuxPicture(width, height)), all = width * height;
  check(n <= all / 10000, `${name}: ${n} of ${all} pixels differ from the Linux build's at ${width}x${height}`);
}

const cases = {
  // Served alone, with no icons beside it: still nothing asked, and installable.
  async picture(page, server) {
    checkConsole(page, () => page.warnings.length + page.errors.length === 0,
      `no warning or error on the console at load (${page.warnings && page.warnings.concat(page.errors)})`);
    const asked = await page.evaluate(() => performance.getEntriesByType('resource').map((e) => e.name));
    check(asked.length === 0 && server.asked.join() === '/',
      `the page asks for nothing once it is read (${asked.join(' ')}; the server saw ${server.asked.join(' ')})`);
    if (page.installability) {
      const errors = await page.installability();
      check(errors.length === 0, `Chromium finds it installable (${errors})`);
    }
    const g = await geometry(page);
    console.log(`window ${g.outer.join('x')}, client ${g.client.join('x')}, drawing buffer ${g.buffer.join('x')}`);
    check(g.outer.join('x') === '600x450', 'the window is 600 x 450 outside, as the program asks');
    check(g.buffer.join('x') === g.client.join('x'), 'the drawing buffer is the client size in pixels');
    check(await text(page, '.window .title') === 'OpenGL', 'the caption reads OpenGL');
    await samePicture(page, 'web');
  },

  // Keys the program takes but does nothing with, the browser's own among
  // them: the picture stays, the canvas keeps the keyboard, the page stays.
  async keys(page) {
    const before = await canvasShot(page, 'web-before-keys');
    for (const key of ['a', ' ', 'Tab', 'Backspace', 'F1', 'ArrowLeft', 'ArrowDown', 'Enter', 'Shift', 'z', 'Alt'])
      await page.hold(key, 100);
    await web.sleep(300);
    const after = await canvasShot(page, 'web-after-keys');
    const n = differing(before, after);
    check(n === 0, `other keys change nothing on screen (${n} pixels changed)`);
    check(await page.evaluate(() => document.activeElement === document.querySelector('.window canvas')),
      'the canvas still has the keyboard (Tab did not move it)');
    check(await web.status(page) === 'sineband is running', 'the program runs on');
    await cases.close(page);
  },

  // The canvas has the keyboard from the start: no click first. This case
  // opens the page from its file, as the web archive's readme says it can.
  async escape(page) {
    await page.hold('Escape');
    const status = await web.endStatus(page);
    check(status === 1, `Escape ends the program with status ${status}`);
    check(await page.evaluate(() => document.querySelector('.window') === null), 'the window is gone with the program');
  },

  async close(page) {
    await page.click('.window .close');
    const status = await web.endStatus(page);
    check(status === 1, `the close button ends the program with status ${status}`);
  },

  // Dragging the corner: the new size reaches Resize through WM_SIZE.
  async resize(page) {
    const [x, y] = await page.evaluate(() => {
      const r = document.querySelector('.window .grip').getBoundingClientRect();
      return [r.x + r.width / 2, r.y + r.height / 2];
    });
    await page.drag([[x, y], [x - 100, y - 60], [x - 192, y - 123]]);
    await web.frames(page, (await page.evaluate(() => Module.frames)) + 10);
    const g = await geometry(page);
    check(g.buffer.join('x') === '400x300' && g.client.join('x') === '400x300',
      `the client area and its drawing buffer follow the drag (${g.client.join('x')}, ${g.buffer.join('x')})`);
    await samePicture(page, 'web-400x300');
  },

  // Lost from the page, as a GPU process that restarts loses it: the
  // program runs on, and once restored draws the same picture again.
  async 'lost-context'(page) {
    const before = await canvasShot(page, 'web-before-loss');
    const [lost, drawn] = await page.evaluate(() => {
      const gl = document.querySelector('.window canvas').getContext('webgl');
      window.loseContext = gl.getExtension('WEBGL_lose_context');
      window.loseContext.loseContext();
      return [gl.isContextLost(), Module.frames];
    });
    check(lost, 'the context is lost');
    check(await web.frames(page, drawn + 10).then(() => true, () => false), 'the program goes on while it is lost');
    checkConsole(page, () => !page.console.some((l) => l.startsWith('page error')), 'no page error while it is lost');
    await page.evaluate(() => window.loseContext.restoreContext());
    check(await web.waitFor(page, () => !document.querySelector('.window canvas').getContext('webgl').isContextLost(),
      null, 5000), 'the context is restored');
    await web.frames(page, (await page.evaluate(() => Module.frames)) + 10);
    const n = differing(before, await samePicture(page, 'web-after-loss'));
    check(n === 0, `the picture is the one before the loss (${n} pixels differ)`);
  },

  async 'no-webgl'(page) {
    if (!check(await web.waitFor(page, () => document.querySelector('.box') !== null), 'a message box shows'))
      return;
    const caption = await text(page, '.box .caption'), message = await text(page, '.box .text');
    const icon = await page.evaluate(() => (document.querySelector('.box .icon') || {}).dataset?.icon);
    check(caption === 'Error' && message === "Can't find suitable PixelFormat" && icon === 'error',
      `the box says ${caption}: ${message}, with the ${icon} icon`);
    checkConsole(page, () => page.console.includes("Error: Can't find suitable PixelFormat"),
      'its line is on the console');
    for (let i = 0; i < 3; ++i)
      await page.press('Tab');
    check(await page.evaluate(() => document.querySelector('.box').contains(document.activeElement)),
      'Tab keeps the keyboard in the box');
    await web.sleep(500);
    check(await web.status(page) === 'sineband is running', 'the program waits for OK');
    await page.click('.box .ok');
    const status = await web.endStatus(page);
    check(status === 0, `after OK the program ends with status ${status}`);
  },

  // A phone and a tablet, upright and turned, in one document: the whole window
  // above the taskbar, nothing to scroll, a close button a finger can hit, the
  // picture only scaled; a tap on the touch area's far corner ends the program.
  async phones(page) {
    let area;
    for (const [name, width, height, ratio] of [['phone', 390, 844, 3], ['phone-turned', 844, 390, 3],
      ['tablet', 820, 1180, 2], ['tablet-turned', 1180, 820, 2]]) {
      await web.emulate(page, width, height, ratio, true);
      const [left, top, right, bottom, taskbar, zoom, scrolls] = await page.evaluate(() => {
        const w = document.querySelector('.window').getBoundingClientRect(), root = document.scrollingElement;
        return [...[w.left, w.top, w.right, w.bottom].map(Math.round), document.getElementById('taskbar')
          .getBoundingClientRect().top, visualViewport.scale, root.scrollWidth > innerWidth || root.scrollHeight > innerHeight];
      });
      area = await web.touchArea(page, '.window .close', '.window');
      const [, , w, h] = area.bounds;
      check(!scrolls && zoom === 1, `${name}: laid out at the device's width, nothing to scroll`);
      check(left >= 0 && top >= 0 && right <= width && bottom <= taskbar,
        `${name}: the whole window (${[left, top, right, bottom]}) shows above the taskbar`);
      check(area.solid && w >= 44 && h >= 44, `${name}: the close button takes touches over ${w} x ${h}`);
      await sharp(page, name);
    }
    await page.tap(area.bounds[0] + 1, area.bounds[1] + area.bounds[3] - 2);
    const status = await web.endStatus(page);
    check(status === 1, `a tap on the close button's touch area ends the program with status ${status}`);
  },

  // Ratio 2, then 3, in the same document: as sharp as the screen. Then
  // the probe's page, which logs its messages: a new ratio clears the
  // canvas, so it must be followed by WM_PAINT.
  async ratios(page) {
    await page.evaluate(() => { window.sameDocument = true; });
    for (const ratio of [2, 3]) {
      await web.emulate(page, 800, 600, ratio);
      await sharp(page, `ratio-${ratio}`);
    }
    check(await page.evaluate(() => window.sameDocument), 'the ratio was followed without a reload');
    await page.goto(await page.evaluate(() => new URL('probe.html', location.href).href));
    await web.frames(page, 10);
    const paints = () => page.console.filter((l) => l.startsWith('dispatched 000f ')).length, before = paints();
    await web.emulate(page, 800, 600, 2);
    checkConsole(page, () => paints() > before, `a new ratio is followed by WM_PAINT (${paints() - before})`);
  },
};

(async () => {
  if (!cases[which] || !web.executables[browserName]) {
    console.error(`usage: web_test.js ${Object.keys(cases).join('|')} chromium|firefox|webkit [LINUX_PROGRAM]`);
    process.exit(2);
  }
  if (!fs.existsSync(path.join(web.pageDir, 'index.html')))
    throw new Error(`${web.pageDir}/index.html is missing (make build builds the web preset)`);
  // NOTE: a case that hangs ends here, before ctest's timeout, through
  // process.exit, which ends the browser's processes too (browser.js), or
  // first its browsing context in a shared browser.
  let page = null;
  setTimeout(() => {
    console.error('web_test: no end within 150 s');
    Promise.race([page && page.close(), web.sleep(5000)]).finally(() => process.exit(1));
  }, 150000).unref();
  fs.rmSync(shots, { recursive: true, force: true });
  fs.mkdirSync(shots, { recursive: true });
  let served = web.pageDir;
  if (which === 'picture') {
    served = path.join(shots, 'alone');
    fs.mkdirSync(served);
    fs.copyFileSync(path.join(web.pageDir, 'index.html'), path.join(served, 'index.html'));
  }
  const server = await web.serve(served);
  const webgl = which !== 'no-webgl';
  page = await web.open({ browser: browserName, webgl, shared: webgl ? process.env.SINEBAND_WEB_SHARED : null });
  try {
    await page.goto(which === 'escape' ? url.pathToFileURL(path.resolve(web.pageDir, 'index.html')).href : server.url);
    if (webgl)
      await web.frames(page, 10);
    await cases[which](page, server);
    checkConsole(page, () => !page.console.some((l) => l.startsWith('page error')), 'no page error, at load or since');
    const stopped = await page.evaluate(() => Module.violations);
    check(stopped.length === 0, `the page's security policy stopped nothing, at load or since (${stopped})`);
    if (failures && page.console)
      console.log('console:\n  ' + page.console.join('\n  '));
  } finally {
    await page.close();
    server.close();
  }
  console.log(failures ? `${failures} check(s) failed` : 'all checks passed');
  process.exit(failures ? 1 : 0);
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
