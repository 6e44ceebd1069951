#!/usr/bin/env node
// Measures the app as a user runs it, each phase side by side with a plain Qt app in the same run:
//   1. process start to its first probe on the wire, for Tallyrig and for a minimal Qt Widgets +
//      Network app (bench/app/minimal) launched alternately; goal: Tallyrig's median at most half
//      the minimal app's. The same app with --bare (the GET as soon as the application object
//      exists, no window) shows what no Qt Widgets app can beat;
//   2. resident memory while disconnected, goal: under 50 MiB; and CPU while idle on the connect
//      screen as it opens;
//   3. CPU while waiting with the status line on screen ("Waiting for a bridge on port …" and its
//      spinner, shown by expanding the command-line steps through the accessibility bus), alone
//      and beside a still stand-in simulator (its panel shown); goal: at most 0.3 % of a core;
//   4. CPU and resident memory while idle and connected to the reference bridge with its dashboard
//      shown, beside the still stand-in, the app and the web engine's processes apart; goal: at
//      most 0.5 % of a core for both together.
// CPU is the time the app and every process below it consumed, read from /proc, over each phase.
// Linux only. Build first (scripts/build.sh builds the apps), then run on a desktop with the
// accessibility bus, e.g. the private test desktop:
//   scripts/with-desktop.sh node bench/app/startup-and-idle.mjs [seconds per idle phase, default 30] [launches, default 15]
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, readFileSync, readdirSync, mkdirSync, existsSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = join(here, '..', '..');
const app = join(root, 'build', 'Tallyrig.app', 'Contents', 'MacOS', 'Tallyrig');
const minimal = join(root, 'build', 'bench', 'app', 'bench_minimal_qt');
const cli = join(root, 'devbridge', 'bin', 'tallyrig.mjs');
const standin = join(root, 'tools', 'standin-simulator', 'standin-simulator');
const accessible = join(here, 'accessible.py');
const seconds = Number(process.argv[2] ?? 30);
const launches = Number(process.argv[3] ?? 15);
const ticks = Number(execFileSync('getconf', ['CLK_TCK']).toString().trim());
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

for (const program of [app, minimal]) {
  if (!existsSync(program)) {
    console.error(`${program} is missing: build first`);
    process.exit(1);
  }
}

const freePort = () => new Promise((resolve) => {
  const server = createServer().listen(0, '127.0.0.1', () => {
    const { port } = server.address();
    server.close(() => resolve(port));
  });
});

// A fresh settings folder whose stored port is `port`, as on a first launch.
function settingsFor(port) {
  const config = mkdtempSync(join(tmpdir(), 'tallyrig-bench-'));
  mkdirSync(join(config, 'Tallyrig'));
  writeFileSync(join(config, 'Tallyrig', 'settings.json'), JSON.stringify({ bridgePort: port }));
  return config;
}

const environment = (config) => ({ ...process.env, XDG_CONFIG_HOME: config, QTWEBENGINE_DISABLE_SANDBOX: '1', TALLYRIG_AGENT: 'simulate' });

// Milliseconds from spawning the program to the first connection on the port.
async function firstProbe(program, args, env, port) {
  let probed;
  const listener = createServer((socket) => {
    probed ??= process.hrtime.bigint();
    socket.destroy();
  }).listen(port, '127.0.0.1');
  await new Promise((r) => listener.once('listening', r));
  const started = process.hrtime.bigint();
  const child = spawn(program, args, { env, stdio: 'ignore' });
  const deadline = Date.now() + 20000;
  while (!probed && Date.now() < deadline) await sleep(2);
  listener.close();
  const ended = new Promise((r) => child.once('exit', r));
  child.kill('SIGTERM');
  await ended;
  if (!probed) throw new Error(`${program} sent no probe within 20 s`);
  return Number(probed - started) / 1e6;
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const spread = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  return `${sorted[Math.floor(sorted.length / 4)].toFixed(0)}–${sorted[Math.floor(3 * sorted.length / 4)].toFixed(0)}`;
};

// The app and every process below it (the web engine's helpers).
function family(pid) {
  const children = new Map();
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = readFileSync(`/proc/${entry}/stat`, 'utf8');
      const ppid = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(ppid)) children.set(ppid, []);
      children.get(ppid).push(Number(entry));
    } catch { /* gone */ }
  }
  const all = [pid];
  for (let i = 0; i < all.length; i++) all.push(...(children.get(all[i]) ?? []));
  return all;
}

// CPU seconds of a process, its threads and its children that ended, and its resident memory.
function usage(pid) {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    const cpu = (Number(fields[11]) + Number(fields[12]) + Number(fields[13]) + Number(fields[14])) / ticks;
    const rss = Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'))?.[1] ?? 0);
    return { cpu, rss };
  } catch { return { cpu: 0, rss: 0 }; }
}

async function phase(label, pid) {
  const sample = () => new Map(family(pid).map((p) => [p, usage(p)]));
  const before = sample();
  await sleep(seconds * 1000);
  const after = sample();
  let appCpu = 0, engineCpu = 0, appRss = 0, engineRss = 0;
  for (const [p, u] of after) {
    const cpu = u.cpu - (before.get(p)?.cpu ?? 0);
    if (p === pid) { appCpu += cpu; appRss += u.rss; } else { engineCpu += cpu; engineRss += u.rss; }
  }
  const pct = (cpu) => (100 * cpu / seconds).toFixed(2);
  console.log(`${label}: app ${pct(appCpu)}% CPU, ${(appRss / 1024).toFixed(1)} MiB RSS; ` +
              `processes below it (${after.size - 1}) ${pct(engineCpu)}% CPU, ${(engineRss / 1024).toFixed(1)} MiB RSS`);
  return { appRss: appRss / 1024, appCpu: 100 * appCpu / seconds, allCpu: 100 * (appCpu + engineCpu) / seconds };
}

// The stand-in simulator, until its window is on screen.
async function startStandin() {
  const child = spawn(standin, ['--position', '100,60'], { stdio: ['ignore', 'pipe', 'ignore'] });
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('the stand-in simulator showed no window')), 20000);
    child.stdout.on('data', (data) => {
      if (String(data).includes('"udid"')) { clearTimeout(timer); resolve(); }
    });
  });
  return child;
}

// Presses (or only finds) the element of the app with that accessible name.
function accessibly(pid, name, ...options) {
  execFileSync('/usr/bin/python3', [accessible, String(pid), name, ...options], { stdio: 'inherit' });
}

// 1. Start-up, alternating so that all three see the same machine.
const times = { tallyrig: [], minimal: [], bare: [] };
for (let i = 0; i < launches; i++) {
  const port = await freePort();
  times.minimal.push(await firstProbe(minimal, [String(port)], environment(settingsFor(port)), port));
  times.bare.push(await firstProbe(minimal, [String(port), '--bare'], environment(settingsFor(port)), port));
  times.tallyrig.push(await firstProbe(app, [], environment(settingsFor(port)), port));
}
const ratio = median(times.tallyrig) / median(times.minimal);
console.log(`process start to first probe, median (quartiles) of ${launches}: Tallyrig ${median(times.tallyrig).toFixed(0)} ms ` +
            `(${spread(times.tallyrig)}), minimal Qt app ${median(times.minimal).toFixed(0)} ms (${spread(times.minimal)}), ` +
            `ratio ${ratio.toFixed(2)} (goal: at most 0.50); a bare application object and its GET, no window: ` +
            `${median(times.bare).toFixed(0)} ms (${spread(times.bare)}), ratio ${(median(times.bare) / median(times.minimal)).toFixed(2)}`);

// 2 to 4. The minimal app idle, then one long-running Tallyrig.
const port = await freePort();
const yardstick = spawn(minimal, [String(port)], { env: environment(settingsFor(port)), stdio: 'ignore' });
await sleep(3000);
const still = await phase(`minimal Qt app, idle ${seconds}s`, yardstick.pid);
yardstick.kill('SIGTERM');

const child = spawn(app, [], { env: environment(settingsFor(port)), stdio: 'ignore' });
await sleep(3000); // let start-up settle
const disconnected = await phase(`idle ${seconds}s, disconnected, the connect screen as it opens`, child.pid);
console.log(`resident memory while disconnected: ${disconnected.appRss.toFixed(1)} MiB (goal: under 50 MiB)`);

accessibly(child.pid, 'Use the command line instead');
accessibly(child.pid, `Waiting for a bridge on port ${port}\u2026`, '--find');
await sleep(1000);
const waiting = await phase(`idle ${seconds}s, waiting with the status line and its spinner on screen`, child.pid);

const simulator = await startStandin();
await sleep(3000); // the panel shows beside it
const beside = await phase(`idle ${seconds}s, waiting on screen, beside a still simulator`, child.pid);
console.log(`idle disconnected: ${disconnected.allCpu.toFixed(2)} %; waiting on screen ${waiting.allCpu.toFixed(2)} %, ` +
            `beside a still simulator ${beside.allCpu.toFixed(2)} % (minimal Qt app ${still.allCpu.toFixed(2)} %; goal: at most 0.30 %)`);

const project = mkdtempSync(join(tmpdir(), 'tallyrig-bench-project-'));
writeFileSync(join(project, 'tallyrig.config.json'), JSON.stringify({ port }));
const bridge = spawn(process.execPath, [cli, 'start', '--plain'], { cwd: project, stdio: 'ignore' });
await sleep(8000); // the next probe connects and the dashboard loads
const connected = await phase(`idle ${seconds}s, connected with the dashboard, beside a still simulator`, child.pid);
console.log(`idle connected beside a still simulator: ${connected.allCpu.toFixed(2)} % for the app and its web engine ` +
            `(goal: at most 0.50 %)`);

child.kill('SIGTERM');
bridge.kill('SIGTERM');
simulator.kill('SIGTERM');
