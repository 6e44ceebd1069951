#!/usr/bin/env node
// Measures the app as a user runs it: time from process start to its first probe on the wire,
// then CPU and resident memory while idle, disconnected and then connected to the reference bridge
// with the dashboard shown. Linux only (reads /proc). Run under a display, e.g.
//   xvfb-run -a node bench/app/startup-and-idle.mjs [seconds per phase, default 60]
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, readFileSync, readdirSync, mkdirSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const app = join(root, 'build', 'Tallyrig.app', 'Contents', 'MacOS', 'Tallyrig');
const cli = join(root, 'devbridge', 'bin', 'tallyrig.mjs');
const seconds = Number(process.argv[2] ?? 60);
const ticks = Number(execFileSync('getconf', ['CLK_TCK']).toString().trim());

const freePort = () => new Promise((resolve) => {
  const server = createServer().listen(0, '127.0.0.1', () => {
    const { port } = server.address();
    server.close(() => resolve(port));
  });
});

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

function usage(pid) {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    const cpu = (Number(fields[11]) + Number(fields[12])) / ticks;
    const rss = Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'))?.[1] ?? 0);
    const name = readFileSync(`/proc/${pid}/comm`, 'utf8').trim();
    return { cpu, rss, name };
  } catch { return { cpu: 0, rss: 0, name: '?' }; }
}

async function phase(label, pid) {
  const sample = () => new Map(family(pid).map((p) => [p, usage(p)]));
  const before = sample();
  await new Promise((r) => setTimeout(r, seconds * 1000));
  const after = sample();
  let appCpu = 0, engineCpu = 0, appRss = 0, engineRss = 0;
  for (const [p, u] of after) {
    const cpu = u.cpu - (before.get(p)?.cpu ?? 0);
    if (p === pid) { appCpu += cpu; appRss += u.rss; } else { engineCpu += cpu; engineRss += u.rss; }
  }
  const pct = (cpu) => (100 * cpu / seconds).toFixed(2);
  console.log(`${label}: app ${pct(appCpu)}% CPU, ${(appRss / 1024).toFixed(1)} MiB RSS; ` +
              `web engine processes (${after.size - 1}) ${pct(engineCpu)}% CPU, ${(engineRss / 1024).toFixed(1)} MiB RSS`);
}

const port = await freePort();
const config = mkdtempSync(join(tmpdir(), 'tallyrig-bench-'));
mkdirSync(join(config, 'Tallyrig'));
writeFileSync(join(config, 'Tallyrig', 'settings.json'), JSON.stringify({ bridgePort: port }));

// Something on the port that only notes when the first probe arrives.
let firstProbe;
const listener = createServer((socket) => {
  firstProbe ??= process.hrtime.bigint();
  socket.destroy();
}).listen(port, '127.0.0.1');
await new Promise((r) => listener.once('listening', r));

const started = process.hrtime.bigint();
const child = spawn(app, [], {
  env: { ...process.env, XDG_CONFIG_HOME: config, QTWEBENGINE_DISABLE_SANDBOX: '1' },
  stdio: 'ignore',
});
while (!firstProbe) await new Promise((r) => setTimeout(r, 5));
console.log(`process start to first probe: ${(Number(firstProbe - started) / 1e6).toFixed(0)} ms`);
listener.close();

await new Promise((r) => setTimeout(r, 3000)); // let start-up settle
await phase(`idle ${seconds}s, disconnected`, child.pid);

const project = mkdtempSync(join(tmpdir(), 'tallyrig-bench-project-'));
writeFileSync(join(project, 'tallyrig.config.json'), JSON.stringify({ port }));
const bridge = spawn(process.execPath, [cli, 'start', '--plain'], { cwd: project, stdio: 'ignore' });
await new Promise((r) => setTimeout(r, 8000)); // the next probe connects and the dashboard loads
await phase(`idle ${seconds}s, connected with the dashboard`, child.pid);

child.kill('SIGTERM');
bridge.kill('SIGTERM');
