// One browser of an engine shared by the browser tests, each of which gets a
// browsing context of its own in it (browser.js's open({ shared })): CTest
// starts it as a fixture and ends it after the last test that needs it.
//   node shared.js start chromium|firefox|webkit STATE
//                  starts the browser (Firefox and WebKit on an Xvfb of
//                  their own) in a process that outlives this one, and ends
//                  once STATE says how to reach it
//   node shared.js end STATE
//                  ends that browser, its display and its process
// The browser also ends when the process that ran `start` (CTest) has gone.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const web = require('./browser.js');

const alive = (pid) => {
  try {
    process.kill(pid, 0);
    return true;
  } catch (e) {
    return false;
  }
};
const read = (state) => {
  try {
    return JSON.parse(fs.readFileSync(state, 'utf8'));
  } catch (e) {
    return null;
  }
};

// Ends the process a STATE names, if it still runs (and is still that
// process, not another one given its pid since), and waits for it.
async function end(state) {
  const held = read(state);
  let ours = false;
  try {
    ours = held && fs.readFileSync(`/proc/${held.pid}/cmdline`, 'utf8').includes(__filename);
  } catch (e) {
    // gone
  }
  if (ours) {
    process.kill(held.pid, 'SIGTERM');
    for (let i = 0; i < 200 && alive(held.pid); ++i)
      await web.sleep(50);
    if (alive(held.pid))
      process.kill(held.pid, 'SIGKILL');
  }
  fs.rmSync(state, { force: true });
}

async function start(browser, state) {
  if (!web.executables[browser])
    throw new Error(`unknown browser '${browser}' (chromium, firefox or webkit)`);
  await end(state);
  // NOTE: the process keeps none of CTest's pipes, or CTest would wait for it.
  const log = fs.openSync(`${state}.log`, 'w');
  const args = [__filename, 'serve', browser, state, String(process.ppid)];
  const command = browser === 'chromium' ? [process.execPath, ...args] :
    [path.join(web.root, 'tools/with-xvfb.sh'), process.execPath, ...args];
  const server = spawn(command[0], command.slice(1), { detached: true, stdio: ['ignore', log, log] });
  server.unref();
  let ended = false;
  server.once('exit', () => { ended = true; });
  for (const limit = Date.now() + 60000; !read(state); await web.sleep(100)) {
    if (ended || Date.now() > limit) {
      try {
        process.kill(-server.pid, 'SIGKILL');
      } catch (e) {
        // ended already: its log says why
      }
      throw new Error(`${browser} did not start:\n${fs.readFileSync(`${state}.log`, 'utf8')}`);
    }
  }
  console.log(`${browser} is shared: ${fs.readFileSync(state, 'utf8')}`);
}

// The process that holds the browser until told to end, or until `watched`
// has gone.
async function serve(browser, state, watched) {
  let shared = await web.share(browser);
  let ending = false;
  const stop = async () => {
    if (ending)
      return;
    ending = true;
    await shared.close();
    fs.rmSync(state, { force: true });
    process.exit(0);
  };
  // Written whole, then renamed: a reader sees all of it or nothing.
  const write = () => {
    fs.writeFileSync(`${state}.new`, JSON.stringify({ browser, pid: process.pid, ...shared.state }));
    fs.renameSync(`${state}.new`, state);
  };
  for (const signal of ['SIGTERM', 'SIGINT', 'SIGHUP'])
    process.on(signal, stop);
  // A user that finds the browser taken for good (Firefox's one session, by
  // a page that was killed) has it started again.
  let restarting = false;
  process.on('SIGUSR1', async () => {
    if (ending || restarting)
      return;
    restarting = true;
    await shared.close().catch(() => {});
    try {
      shared = await web.share(browser);
    } catch (e) {
      // The user waiting for it reads this log.
      console.error(`${browser} did not start again:`, e);
      fs.rmSync(state, { force: true });
      process.exit(1);
    }
    write();
    restarting = false;
  });
  setInterval(() => alive(Number(watched)) || stop(), 1000);
  write();
}

const modes = { start, end, serve };
if (!modes[process.argv[2]]) {
  console.error('usage: shared.js start chromium|firefox|webkit STATE | end STATE');
  process.exit(2);
}
modes[process.argv[2]](...process.argv.slice(3)).catch((e) => {
  console.error(e);
  process.exit(1);
});
