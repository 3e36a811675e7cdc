// The web row of docs/performance.md: the built page in headless Chromium
// (WebGL in SwiftShader), ROUNDS runs of: time from navigation to the first
// frame, frames per second and CPU per frame (the renderer and GPU
// processes together) over SECONDS after a warm-up, and the bytes the page
// loads. Prints a table row per run and the medians.
//   node tools/web/bench.js [ROUNDS] [SECONDS]
'use strict';

const fs = require('fs');
const web = require('./browser.js');

const rounds = Number(process.argv[2] || 5);
const seconds = Number(process.argv[3] || 3);
const ticks = 100;   // clock ticks per second of /proc/PID/stat (USER_HZ)

// Every process under this one: pid -> [parent, command line].
function processes() {
  const all = new Map();
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      const cmdline = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').replace(/\0/g, ' ');
      all.set(Number(pid), { parent: Number(fields[1]), cpu: Number(fields[11]) + Number(fields[12]), cmdline });
    } catch (e) {
      // gone meanwhile
    }
  }
  return all;
}

// CPU seconds so far of the browser's renderer and of its GPU process.
function browserCpu() {
  const all = processes();
  const ours = (pid) => {
    for (let p = pid; p > 1; p = all.get(p) ? all.get(p).parent : 0)
      if (p === process.pid)
        return true;
    return false;
  };
  const cpu = { renderer: 0, gpu: 0 };
  for (const [pid, p] of all) {
    const type = (p.cmdline.match(/--type=(renderer|gpu-process)/) || [])[1];
    if (type && ours(pid))
      cpu[type === 'renderer' ? 'renderer' : 'gpu'] += p.cpu / ticks;
  }
  return cpu;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

(async () => {
  const server = await web.serve();
  const runs = [];
  console.log('| run | first frame ms | frames/s | CPU ms/frame (renderer + GPU) | bytes loaded |');
  console.log('|---|---|---|---|---|');
  for (let round = 1; round <= rounds; ++round) {
    const browser = await web.launch();
    const page = await web.newPage(browser);
    const loads = [];
    page.on('requestfinished', (r) => loads.push(r.sizes().then((s) => s.responseBodySize)));
    await page.goto(server.url);
    await web.frames(page, 10);
    const firstFrame = await page.evaluate(() => Module.firstFrame);
    await page.waitForTimeout(500);
    const before = [await page.evaluate(() => [Module.frames, performance.now()]), browserCpu()];
    await page.waitForTimeout(seconds * 1000);
    const after = [await page.evaluate(() => [Module.frames, performance.now()]), browserCpu()];
    const frames = after[0][0] - before[0][0];
    const fps = frames / ((after[0][1] - before[0][1]) / 1000);
    const perFrame = (k) => ((after[1][k] - before[1][k]) * 1000) / frames;
    const renderer = perFrame('renderer'), gpu = perFrame('gpu'), cpu = renderer + gpu;
    const bytes = (await Promise.all(loads)).reduce((a, b) => a + b, 0);
    await web.holdKey(page, 'Escape');
    const status = await web.endStatus(page);
    await browser.close();
    if (status !== 1)
      console.log(`run ${round}: the page ended with status ${status}, not 1`);
    runs.push({ firstFrame, fps, cpu, renderer, gpu, bytes });
    console.log(`| ${round} | ${firstFrame.toFixed(0)} | ${fps.toFixed(0)} | ${cpu.toFixed(2)} ` +
      `(${renderer.toFixed(2)} + ${gpu.toFixed(2)}) | ${bytes} |`);
  }
  server.close();
  const m = (k) => median(runs.map((r) => r[k]));
  console.log(`| median | ${m('firstFrame').toFixed(0)} | ${m('fps').toFixed(0)} | ${m('cpu').toFixed(2)} ` +
    `(${m('renderer').toFixed(2)} + ${m('gpu').toFixed(2)}) | ${m('bytes')} |`);
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
