// make bench-web: the built page against two hand-written WebGL pages
// (tools/web/peers/peer.html): the same band from one static buffer in one
// draw a frame, and a page that only clears, both paced by
// requestAnimationFrame; in Chromium, Firefox and WebKit.
// In each of ROUNDS rounds every contestant runs once in each browser, a
// fresh browser a run, the order turned round by round so that a busy moment
// of the machine falls on all alike. A run gives the time from navigation to
// the first frame, then, after ten frames and half a second more, frames per
// second and CPU per frame (utime + stime of every process under this one:
// all of the browser's) over SECONDS, that CPU as a share of one core, and
// the bytes served. Prints a row per
// run, then per browser the medians and the targets the page is held to.
//   node tools/web/bench.js [ROUNDS] [SECONDS] [chromium,firefox,webkit]
// Firefox runs headed and WebKit has no headless mode, so with either and no
// DISPLAY the bench runs on an Xvfb of its own.
'use strict';

const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const web = require('./browser.js');

const rounds = Number(process.argv[2] || 5);
const seconds = Number(process.argv[3] || 3);
const browsers = (process.argv[4] || 'chromium,firefox,webkit').split(',').filter((b) => fs.existsSync(web.executables[b]));
const ticks = 100;   // clock ticks per second of /proc/PID/stat (USER_HZ)

if ((browsers.includes('firefox') || browsers.includes('webkit')) && !process.env.DISPLAY) {
  const r = spawnSync(path.join(web.root, 'tools/with-xvfb.sh'), [process.execPath, ...process.argv.slice(1)],
    { stdio: 'inherit' });
  process.exit(r.status === null ? 1 : r.status);
}

// CPU seconds so far of every process under this one.
function browserCpu() {
  const all = new Map();
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      all.set(Number(pid), { parent: Number(fields[1]), cpu: Number(fields[11]) + Number(fields[12]) });
    } catch (e) {
      // gone meanwhile
    }
  }
  const ours = (pid) => {
    for (let p = all.get(pid).parent; p > 1; p = all.get(p) ? all.get(p).parent : 0)
      if (p === process.pid)
        return true;
    return false;
  };
  let cpu = 0;
  for (const [pid, p] of all)
    if (ours(pid))
      cpu += p.cpu / ticks;
  return cpu;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const spread = (xs, digits) => (xs.length === 0 ? 'no run' :
  `${median(xs).toFixed(digits)} (${Math.min(...xs).toFixed(digits)}-${Math.max(...xs).toFixed(digits)})`);

async function measure(browserName, contestant) {
  const page = await web.open({ browser: browserName });
  try {
    contestant.server.bytes = 0;
    await page.goto(contestant.server.url + contestant.file);
    await web.frames(page, 10);
    const firstFrame = await page.evaluate(() => Module.firstFrame);
    const bytes = contestant.server.bytes;
    await web.sleep(500);
    const sample = async () => [...await page.evaluate(() => [Module.frames, performance.now()]), browserCpu()];
    const before = await sample();
    await web.sleep(seconds * 1000);
    const after = await sample();
    const frames = after[0] - before[0];
    if (contestant.name === 'the page') {
      await page.hold('Escape');
      const status = await web.endStatus(page);
      if (status !== 1)
        console.log(`${browserName}: the page ended with status ${status}, not 1`);
    }
    const elapsed = (after[1] - before[1]) / 1000, cpu = after[2] - before[2];
    return { firstFrame, fps: frames / elapsed, cpu: (cpu * 1000) / frames, core: (cpu * 100) / elapsed, bytes };
  } finally {
    await page.close();
  }
}

(async () => {
  if (!fs.existsSync(path.join(web.pageDir, 'index.html')))
    throw new Error(`${web.pageDir}/index.html is missing (make web-page builds it)`);
  const page = await web.serve(), peers = await web.serve(path.join(__dirname, 'peers'));
  const contestants = [
    { name: 'the page', server: page, file: '' },
    { name: 'hand-written band', server: peers, file: 'peer.html?band' },
    { name: 'clear only', server: peers, file: 'peer.html?clear' },
  ];
  const runs = [];
  let failed = 0;
  console.log(`load average at the start: ${fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ')}`);
  console.log('| round | browser | contestant | first frame ms | frames/s | CPU ms/frame | CPU % of a core | bytes |');
  console.log('|---|---|---|---|---|---|---|---|');
  for (let round = 1; round <= rounds; ++round) {
    for (const browserName of browsers) {
      for (let i = 0; i < contestants.length; ++i) {
        const c = contestants[(i + round) % contestants.length];
        // NOTE: on a busy machine a run can time out; the others still count.
        const r = await measure(browserName, c).catch((e) => ({ error: e.message.split('\n')[0] }));
        if (r.error) {
          failed++;
          console.log(`| ${round} | ${browserName} | ${c.name} | failed: ${r.error} | | | | |`);
          continue;
        }
        runs.push({ browser: browserName, name: c.name, ...r });
        console.log(`| ${round} | ${browserName} | ${c.name} | ${r.firstFrame.toFixed(0)} | ${r.fps.toFixed(0)} | ` +
          `${r.cpu.toFixed(2)} | ${r.core.toFixed(0)} | ${r.bytes} |`);
      }
    }
  }
  console.log(`load average at the end: ${fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ')}`);
  page.close();
  peers.close();

  console.log('\nmedians (min-max)\n');
  console.log('| browser | contestant | CPU ms/frame | first frame ms | frames/s | CPU % of a core | bytes |');
  console.log('|---|---|---|---|---|---|---|');
  const of = (b, name, k) => runs.filter((r) => r.browser === b && r.name === name).map((r) => r[k]);
  for (const b of browsers)
    for (const c of contestants)
      console.log(`| ${b} | ${c.name} | ${spread(of(b, c.name, 'cpu'), 2)} | ${spread(of(b, c.name, 'firstFrame'), 0)} | ` +
        `${spread(of(b, c.name, 'fps'), 0)} | ${spread(of(b, c.name, 'core'), 0)} | ${median(of(b, c.name, 'bytes')) ?? 'no run'} |`);

  // The page's targets: CPU per frame at most 1.5 times the hand-written
  // band's, first frame at most 1.5 times the clear-only page's, and at most
  // 120,000 bytes.
  console.log('');
  const verdict = (ok) => (ok ? 'met' : 'NOT met');
  for (const b of browsers) {
    const cpu = median(of(b, 'the page', 'cpu')) / median(of(b, 'hand-written band', 'cpu'));
    const first = median(of(b, 'the page', 'firstFrame')) / median(of(b, 'clear only', 'firstFrame'));
    console.log(`${b}: CPU per frame ${cpu.toFixed(2)}x the hand-written band's (at most 1.5x: ${verdict(cpu <= 1.5)}); ` +
      `first frame ${first.toFixed(2)}x the clear-only page's (at most 1.5x: ${verdict(first <= 1.5)})`);
  }
  // NOTE: the browser shows one frame a refresh; a page that draws more
  // spreads the cost of showing it over frames never seen.
  for (const b of browsers) {
    const fps = median(of(b, 'the page', 'fps')), peer = median(of(b, 'hand-written band', 'fps'));
    if (fps > peer * 1.2)
      console.log(`${b}: the page draws ${fps.toFixed(0)} frames/s against the peer's ${peer.toFixed(0)}: ` +
        'its CPU per frame is not comparable; compare CPU % of a core');
  }
  const bytes = median(runs.filter((r) => r.name === 'the page').map((r) => r.bytes));
  console.log(`the page loads ${bytes} bytes (at most 120,000: ${verdict(bytes <= 120000)})`);
  if (failed) {
    console.log(`${failed} run(s) failed`);
    process.exitCode = 1;
  }
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
