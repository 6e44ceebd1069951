import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const BIN = fileURLToPath(new URL('../bin/tallyrig.mjs', import.meta.url));

// A 1×1 PNG.
export const PNG_BASE64 =
  'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==';

// node:test runs after-hooks in the order they were added; these run last added first, so a
// bridge stops before its folder goes (it writes there until it stops).
const stacks = new WeakMap();
function later(t, fn) {
  let stack = stacks.get(t);
  if (!stack) {
    stack = [];
    stacks.set(t, stack);
    t.after(async () => {
      while (stack.length) await stack.pop()();
    });
  }
  stack.push(fn);
}

export function tempDir(t) {
  const dir = fs.realpathSync(fs.mkdtempSync(path.join(os.tmpdir(), 'tallyrig-test-')));
  later(t, () => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

export async function waitFor(check, { timeout = 5000, interval = 10, what = 'condition' } = {}) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`Timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, interval));
  }
}

// A child running the CLI, with its output collected as it comes.
export function spawnCli(args, { cwd, env = {} } = {}) {
  // Which agent runs is each test's choice, never the caller's environment's.
  const inherited = { ...process.env };
  delete inherited.TALLYRIG_AGENT;
  const child = spawn(process.execPath, [BIN, ...args], {
    cwd,
    env: { ...inherited, PWD: cwd, ...env },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  child.out = '';
  child.err = '';
  child.stdout.on('data', (d) => (child.out += d));
  child.stderr.on('data', (d) => (child.err += d));
  child.exited = new Promise((resolve) => child.on('close', (code, signal) => resolve({ code, signal })));
  return child;
}

export async function runCli(args, options) {
  const child = spawnCli(args, options);
  const timer = setTimeout(() => child.kill('SIGKILL'), 15000);
  const { code } = await child.exited;
  clearTimeout(timer);
  return { code, stdout: child.out, stderr: child.err };
}

export function writeConfig(dir, value) {
  fs.writeFileSync(path.join(dir, 'tallyrig.config.json'), typeof value === 'string' ? value : JSON.stringify(value));
}

// Starts a bridge in its own repository on a free port and stops it after the test.
// The simulated agent unless `env` says otherwise; `config` adds members to tallyrig.config.json.
export async function startBridge(t, { stepMs = 20, flags = ['--step-ms', String(stepMs)], dir, cwd, env = { TALLYRIG_AGENT: 'simulate' }, config = {}, port: fixed } = {}) {
  const root = dir ?? tempDir(t);
  if (!fs.existsSync(path.join(root, '.git'))) fs.mkdirSync(path.join(root, '.git'), { recursive: true });
  for (let attempt = 0; ; attempt++) {
    const port = fixed ?? (await freePort());
    writeConfig(root, { port, ...config });
    const child = spawnCli(['start', '--plain', ...flags], { cwd: cwd ?? root, env });
    const outcome = await Promise.race([
      waitFor(() => child.out.includes('ready for'), { timeout: 10000, what: 'ready line' }).then(() => 'ready'),
      child.exited.then(() => 'exited'),
    ]);
    if (outcome === 'ready') {
      later(t, async () => {
        if (child.exitCode !== null || child.signalCode !== null) return;
        // SIGTERM lets the bridge remove its pid file; SIGKILL only if it hangs.
        child.kill('SIGTERM');
        const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
        await child.exited;
        clearTimeout(timer);
      });
      return { child, port, project: root };
    }
    // Another process may have taken the port between probing and binding.
    if (attempt < 3 && child.err.includes('already in use')) continue;
    throw new Error(`Bridge did not start: ${child.err}`);
  }
}

export function request(port, method, pathname, { body, headers = {}, host = '127.0.0.1' } = {}) {
  return new Promise((resolve, reject) => {
    const data = body === undefined ? undefined : Buffer.from(typeof body === 'string' ? body : JSON.stringify(body));
    const req = http.request(
      { host, port, method, path: pathname, agent: false, headers: { ...(data ? { 'Content-Type': 'application/json' } : {}), ...headers } },
      (res) => {
        const chunks = [];
        res.on('data', (c) => chunks.push(c));
        res.on('end', () => {
          const raw = Buffer.concat(chunks);
          const text = raw.toString('utf8');
          let json;
          try {
            json = JSON.parse(text);
          } catch {
            json = undefined;
          }
          resolve({ status: res.statusCode, headers: res.headers, raw, text, json });
        });
      },
    );
    req.on('error', reject);
    req.end(data);
  });
}

export function reportBody(overrides = {}) {
  return {
    comment: 'Make the Save button bigger',
    platform: 'ios',
    screen: 'Settings',
    touch: { x: 168.5, y: 270.1 },
    simulator: '5A1B2C3D-0000-4000-8000-000000000001',
    device: 'iPhone 15',
    viewport: '393x852',
    category: 'Layout',
    element: {
      name: 'saveButton',
      type: 'AXButton',
      resolution: 'accessibility',
      frame: { x: 15, y: 15, width: 150, height: 66 },
      identifier: 'saveButton',
      accessibilityLabel: 'Save',
    },
    screenshotPNG: PNG_BASE64,
    ...overrides,
  };
}

// Stands in for a test context in suite-level hooks: collects cleanups to run later.
export function scope() {
  const cleanups = [];
  return {
    after: (fn) => cleanups.push(fn),
    run: async () => {
      for (const fn of cleanups.reverse()) await fn();
    },
  };
}

// A git repository with a few files and one commit; `dirty` files are changed after it.
export function gitRepo(t, { files = {}, dirty = {} } = {}) {
  const dir = tempDir(t);
  const git = (...args) => execFileSync('git', args, { cwd: dir, encoding: 'utf8' });
  git('init', '-q', '-b', 'main');
  git('config', 'user.name', 'Test');
  git('config', 'user.email', 'test@example.com');
  git('config', 'commit.gpgsign', 'false');
  for (const [name, content] of Object.entries(files)) {
    fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
    fs.writeFileSync(path.join(dir, name), content);
  }
  git('add', '-A');
  git('commit', '-q', '--allow-empty', '-m', 'start');
  for (const [name, content] of Object.entries(dirty)) fs.writeFileSync(path.join(dir, name), content);
  return { dir, git };
}

// A script agent: edits, adds and deletes files, then does what `mode` says.
export const SCRIPT_AGENT = `
import fs from 'node:fs';
const [mode, promptFile] = process.argv.slice(2);
fs.copyFileSync(promptFile, process.env.SEEN_PROMPT);
fs.appendFileSync('src/View.swift', '// bigger\\n');
fs.mkdirSync('src/New', { recursive: true });
fs.writeFileSync('src/New/Badge.swift', 'struct Badge {}\\n');
fs.rmSync('src/Old.swift', { force: true });
console.log('edited three files');
if (mode === 'fail') { console.error('error: the agent gave up'); process.exit(3); }
if (mode === 'hang') { fs.writeFileSync(process.env.AGENT_PID, String(process.pid)); setInterval(() => {}, 1000); }
`;

export function alive(pid) {
  try {
    process.kill(pid, 0);
    return true;
  } catch {
    return false;
  }
}
