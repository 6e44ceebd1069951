#!/usr/bin/env node
// Measures the reference bridge's own work: storing a report with a 3 MB screenshot once its body
// is parsed, listing 1,000 stored reports, starting again over 1,000 stored reports, an MCP agent's
// next_report from end to end, and where to look in a repository of 10,000 files. Prints each
// median with its target, and on Linux the CPU time the work took: wall clock on a shared machine
// says as much about the other programs as about the bridge.
//   node bench/bridge/reports.mjs
import { execFileSync, spawn } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const bridge = fileURLToPath(new URL('../../devbridge/', import.meta.url));
const cli = path.join(bridge, 'bin', 'tallyrig.mjs');
const { ReportStore } = await import(path.join(bridge, 'lib', 'store.mjs'));
const { validateReport } = await import(path.join(bridge, 'lib', 'validate.mjs'));
const { whereToLook } = await import(path.join(bridge, 'lib', 'places.mjs'));
const sdk = path.join(bridge, 'node_modules', '@modelcontextprotocol', 'sdk', 'dist', 'esm', 'client');
const { Client } = await import(path.join(sdk, 'index.js'));
const { StdioClientTransport } = await import(path.join(sdk, 'stdio.js'));

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tallyrig-bench-'));
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true, maxRetries: 5 }));
const PNG = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
const png = (size) => Buffer.concat([PNG, randomBytes(size - PNG.length)]);
const now = () => Number(process.hrtime.bigint()) / 1e6;
const middle = (samples) => [...samples].sort((a, b) => a - b)[Math.floor(samples.length / 2)];

// CPU milliseconds a process has used so far, all its threads, from the scheduler's nanoseconds;
// null where there is no /proc.
function cpuOf(pid) {
  try {
    let ns = 0;
    for (const task of fs.readdirSync(`/proc/${pid}/task`)) ns += Number(fs.readFileSync(`/proc/${pid}/task/${task}/schedstat`, 'utf8').split(' ')[0]);
    return ns / 1e6;
  } catch {
    return null;
  }
}

// CPU milliseconds of a process's finished children (git), in clock ticks of 10 ms.
function childrenCpuOf(pid) {
  try {
    const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
    return (Number(fields[13]) + Number(fields[14])) * 10;
  } catch {
    return null;
  }
}

function show(name, target, samples, cpu = []) {
  const sorted = [...samples].sort((a, b) => a - b);
  const verdict = target === null ? 'no target' : `target < ${target} ms, ${middle(samples) < target ? 'meets' : 'MISSES'}`;
  let line = `${name}: median ${middle(samples).toFixed(1)} ms, ${verdict} (min ${sorted[0].toFixed(1)}, max ${sorted.at(-1).toFixed(1)}, n=${sorted.length})`;
  const known = cpu.filter(([, values]) => values.length && values.every((v) => v !== null));
  if (known.length) line += `\n    CPU: ${known.map(([what, values]) => `${what} ${middle(values).toFixed(1)} ms`).join(', ')}`;
  console.log(line);
}

function body(comment, screenshot) {
  return {
    comment,
    platform: 'ios',
    screen: 'Settings',
    touch: { x: 100, y: 200 },
    simulator: 'X',
    device: 'iPhone 15',
    viewport: '393x852',
    element: { name: 'saveButton', type: 'Button', resolution: 'accessibility', identifier: 'saveButton', accessibilityLabel: 'Save', frame: { x: 1, y: 2, width: 3, height: 4 } },
    screenshotPNG: screenshot.toString('base64'),
  };
}

// Without gc.auto=0, committing 10,000 new files starts a repack in the background that would run
// through the measurements.
function commitAll(folder) {
  execFileSync('git', ['add', '-A'], { cwd: folder });
  execFileSync('git', ['-c', 'user.name=b', '-c', 'user.email=b@b', '-c', 'gc.auto=0', 'commit', '-qm', 'start'], { cwd: folder });
}

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function get(port, pathname) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port, path: pathname, agent: false }, (res) => {
      res.resume();
      res.on('end', () => resolve(res.statusCode));
    }).on('error', reject);
  });
}

async function startBridge(folder, env = {}) {
  const port = JSON.parse(fs.readFileSync(path.join(folder, 'tallyrig.config.json'), 'utf8')).port;
  const start = now();
  const child = spawn(process.execPath, [cli, 'start', '--plain'], { cwd: folder, env: { ...process.env, PWD: folder, ...env }, stdio: 'ignore' });
  for (;;) {
    try {
      if ((await get(port, '/api/bootstrap')) === 200) break;
    } catch {
      await new Promise((r) => setTimeout(r, 2));
    }
  }
  const ready = now() - start;
  const cpu = cpuOf(child.pid);
  return { child, port, ready, cpu, stop: () => new Promise((r) => { child.once('exit', r); child.kill('SIGTERM'); }) };
}

// 1. A 3 MB screenshot: from the parsed body to the report stored, pictures on disk.
{
  const folder = fs.mkdtempSync(path.join(work, 'store-'));
  const store = new ReportStore({ project: folder });
  store.load();
  const samples = [];
  const cpu = [];
  for (let i = 0; i < 15; i++) {
    const parsed = JSON.parse(JSON.stringify(body(`report ${i}`, png(3 * 1024 * 1024))));
    const start = now();
    const before = process.cpuUsage();
    const { report, screenshot } = validateReport(parsed, { submission: true });
    await store.add(report, screenshot, null);
    samples.push(now() - start);
    const used = process.cpuUsage(before);
    cpu.push((used.user + used.system) / 1000);
  }
  store.close();
  show('store a report with a 3 MB screenshot, from the parsed body', 20, samples, [['this process', cpu]]);
}

// 2 and 3. 1,000 stored reports: the list, and a bridge starting over them.
{
  const folder = fs.mkdtempSync(path.join(work, 'many-'));
  fs.mkdirSync(path.join(folder, '.git'));
  fs.writeFileSync(path.join(folder, 'tallyrig.config.json'), JSON.stringify({ port: await freePort() }));
  const store = new ReportStore({ project: folder });
  store.load();
  const small = png(20000);
  for (let i = 0; i < 1000; i++) {
    const { report, screenshot } = validateReport(body(`report ${i}: make it bigger`, small), { submission: true });
    await store.add(report, screenshot, null);
  }
  // As a bridge leaves them when it stops.
  store.close();
  const starts = [];
  const startCpu = [];
  const list = [];
  const listCpu = [];
  for (let round = 0; round < 7; round++) {
    const running = await startBridge(folder, { TALLYRIG_AGENT: 'simulate' });
    starts.push(running.ready);
    startCpu.push(running.cpu);
    if (round === 0) {
      for (let i = 0; i < 60; i++) {
        const start = now();
        const before = cpuOf(running.child.pid);
        await get(running.port, '/api/reports');
        list.push(now() - start);
        listCpu.push(before === null ? null : cpuOf(running.child.pid) - before);
      }
    }
    await running.stop();
  }
  // A bridge killed between a change and rewriting its index leaves none: the next start reads
  // every folder.
  const scans = [];
  const scanCpu = [];
  for (let round = 0; round < 5; round++) {
    fs.rmSync(path.join(folder, '.tallyrig', 'reports', 'index.json'), { force: true });
    const running = await startBridge(folder, { TALLYRIG_AGENT: 'simulate' });
    scans.push(running.ready);
    scanCpu.push(running.cpu);
    running.child.kill('SIGKILL');
    await new Promise((r) => running.child.once('exit', r));
  }
  // Node.js itself, for scale: starting and ending with nothing to do.
  const bare = [];
  for (let i = 0; i < 7; i++) {
    const start = now();
    execFileSync(process.execPath, ['-e', '0']);
    bare.push(now() - start);
  }
  show('/api/reports with 1,000 stored reports', 30, list, [['bridge', listCpu]]);
  show('restart with 1,000 stored reports, until /api/bootstrap answers', 300, starts, [['bridge', startCpu]]);
  show('    the same without the index, as after a kill', null, scans, [['bridge', scanCpu]]);
  console.log(`    node -e 0 alone, for scale: median ${middle(bare).toFixed(1)} ms`);
}

// 4. next_report through tallyrig mcp and the SDK's client, request to answer.
{
  const folder = fs.mkdtempSync(path.join(work, 'mcp-'));
  execFileSync('git', ['init', '-q'], { cwd: folder });
  fs.mkdirSync(path.join(folder, 'Sources'));
  for (let i = 0; i < 200; i++) fs.writeFileSync(path.join(folder, 'Sources', `View${i}.swift`), `Button("Save \${i}")\n`);
  commitAll(folder);
  fs.writeFileSync(path.join(folder, 'tallyrig.config.json'), JSON.stringify({ port: await freePort() }));
  const running = await startBridge(folder, { TALLYRIG_AGENT: '' });
  const client = new Client({ name: 'bench', version: '1' });
  const transport = new StdioClientTransport({ command: process.execPath, args: [cli, 'mcp'], cwd: folder, env: { ...process.env, PWD: folder } });
  await client.connect(transport);
  const samples = [];
  const bridgeCpu = [];
  const serverCpu = [];
  const gitBefore = childrenCpuOf(running.child.pid);
  for (let i = 0; i < 20; i++) {
    await new Promise((resolve) => {
      const data = Buffer.from(JSON.stringify({ ...body(`next ${i}`, png(300000)), annotatedScreenshotPNG: png(300000).toString('base64') }));
      const req = http.request({ host: '127.0.0.1', port: running.port, method: 'POST', path: '/report', agent: false, headers: { 'Content-Type': 'application/json' } }, (res) => res.resume().on('end', resolve));
      req.end(data);
    });
    const start = now();
    const [bridge, server] = [cpuOf(running.child.pid), cpuOf(transport.pid)];
    const result = await client.callTool({ name: 'next_report', arguments: {} });
    samples.push(now() - start);
    bridgeCpu.push(bridge === null ? null : cpuOf(running.child.pid) - bridge);
    serverCpu.push(server === null ? null : cpuOf(transport.pid) - server);
    if (!result.content.some((c) => c.type === 'image')) throw new Error('next_report came without its image');
  }
  const gitAfter = childrenCpuOf(running.child.pid);
  await client.close();
  await running.stop();
  const git = gitBefore === null ? [] : [(gitAfter - gitBefore) / samples.length];
  show('next_report end to end (MCP client, 300 kB pictures, 200-file repository)', 50, samples, [['bridge', bridgeCpu], ['tallyrig mcp', serverCpu], ['git (mean)', git]]);
}

// 5. Where to look, three pins, in a git repository of 10,000 files.
{
  const folder = fs.mkdtempSync(path.join(work, 'repo-'));
  execFileSync('git', ['init', '-q'], { cwd: folder });
  for (let d = 0; d < 100; d++) {
    const dir = path.join(folder, `Module${d}`);
    fs.mkdirSync(dir);
    for (let f = 0; f < 100; f++) {
      const lines = Array.from({ length: 30 }, (_, l) => `    let value${l} = Text("Row ${d}.${f}.${l}").padding(${l})`);
      if (d === 42 && f === 7) lines[12] = '    Button("Save") { save() }.accessibilityIdentifier("saveButton")';
      fs.writeFileSync(path.join(dir, `View${f}.swift`), `struct View${f}: View {\n${lines.join('\n')}\n}\n`);
    }
  }
  commitAll(folder);
  const pins = [
    { identifier: 'saveButton', accessibilityLabel: 'Save' },
    { accessibilityLabel: 'Row 3.4.5' },
    { identifier: 'nowhere', accessibilityLabel: 'Nothing like it' },
  ];
  const samples = [];
  const cpu = [];
  const gitBefore = childrenCpuOf(process.pid);
  for (let i = 0; i < 15; i++) {
    const start = now();
    const before = process.cpuUsage();
    const found = await whereToLook(folder, pins);
    samples.push(now() - start);
    const used = process.cpuUsage(before);
    cpu.push((used.user + used.system) / 1000);
    if (!found[0].length) throw new Error('where to look found nothing');
  }
  const git = gitBefore === null ? [] : [(childrenCpuOf(process.pid) - gitBefore) / samples.length];
  show('where to look, 3 pins, 10,000 files under git', 100, samples, [['this process', cpu], ['git (mean)', git]]);
}
