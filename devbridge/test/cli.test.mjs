import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import path from 'node:path';
import { describe, test } from 'node:test';
import { DEFAULT_PORT, findConfigFile, locateProject, readPort } from '../lib/config.mjs';
import { BIN, gitRepo, reportBody, request, runCli, startBridge, tempDir, waitFor, writeConfig } from './helpers.mjs';

const CONFIG = 'tallyrig.config.json';

describe('init', () => {
  test('writes the configuration with the default or given port', async (t) => {
    const dir = tempDir(t);
    const res = await runCli(['init', '--yes'], { cwd: dir });
    assert.equal(res.code, 0, res.stderr);
    assert.deepEqual(JSON.parse(fs.readFileSync(path.join(dir, CONFIG), 'utf8')), { port: 4747 });

    const other = tempDir(t);
    assert.equal((await runCli(['init', '--yes', '--port', '5123'], { cwd: other })).code, 0);
    assert.equal(readPort(path.join(other, CONFIG)), 5123);
  });

  test('leaves an existing file untouched', async (t) => {
    const dir = tempDir(t);
    writeConfig(dir, '{"port": 6000, "mine": true}');
    const res = await runCli(['init', '--yes'], { cwd: dir });
    assert.equal(res.code, 0);
    assert.match(res.stdout, /already exists/);
    assert.equal(fs.readFileSync(path.join(dir, CONFIG), 'utf8'), '{"port": 6000, "mine": true}');
  });

  test('refuses without --yes and fails clearly when the folder cannot be written', async (t) => {
    const dir = tempDir(t);
    const res = await runCli(['init'], { cwd: dir });
    assert.notEqual(res.code, 0);
    assert.match(res.stderr, /tallyrig init --yes/);
    assert.equal(fs.existsSync(path.join(dir, CONFIG)), false);

    // Root ignores permission bits, so write into a folder that no longer exists.
    const gone = path.join(dir, 'gone');
    fs.mkdirSync(gone);
    const child = spawn('sh', ['-c', 'cd "$1" && rmdir "$1" && exec "$2" "$3" init --yes', 'sh', gone, process.execPath, BIN]);
    let stderr = '';
    child.stderr.on('data', (d) => (stderr += d));
    const code = await new Promise((resolve) => child.on('close', resolve));
    assert.equal(code, 1);
    assert.equal(stderr.trim().split('\n').length, 1, stderr);
    assert.match(stderr, /Cannot write/);
  });
});

describe('configuration search', () => {
  function layout(t, entries) {
    const root = tempDir(t);
    for (const [name, content] of Object.entries(entries)) {
      const file = path.join(root, name);
      fs.mkdirSync(name.endsWith('/') ? file : path.dirname(file), { recursive: true });
      if (!name.endsWith('/')) fs.writeFileSync(file, content);
    }
    return root;
  }

  test('the nearest file wins, and the search stops at a .git folder or file', (t) => {
    const root = layout(t, {
      'r/.git/': '',
      'r/tallyrig.config.json': '{"port": 5001}',
      'r/app/tallyrig.config.json': '{"port": 5002}',
      'r/app/ios/': '',
      'w/tallyrig.config.json': '{"port": 5003}',
      'w/repo/.git': 'gitdir: elsewhere',
      'w/repo/ios/': '',
      'x/.git/': '',
      'x/tallyrig.config.json': '{}',
    });
    assert.equal(findConfigFile(path.join(root, 'r/app/ios')), path.join(root, 'r/app', CONFIG));
    assert.equal(findConfigFile(path.join(root, 'r/other/../app/ios')), path.join(root, 'r/app', CONFIG));
    assert.equal(findConfigFile(path.join(root, 'w/repo/ios')), null);
    assert.equal(findConfigFile(path.join(root, 'x')), path.join(root, 'x', CONFIG));
  });

  test('only a JSON number with an integer value is a port', (t) => {
    const cases = [
      ['{"port": 5000}', 5000],
      ['{"port": 5000.0}', 5000],
      ['{"port": 5e3}', 5000],
      ['{"port": 0}', 0],
      ['{"port": 70000}', 70000],
      ['{"port": -3}', -3],
      ['{"port": "5000"}', DEFAULT_PORT],
      ['{"port": 5000.5}', DEFAULT_PORT],
      ['{"port": null}', DEFAULT_PORT],
      ['{"port": 1e30}', DEFAULT_PORT],
      ['{"other": 1}', DEFAULT_PORT],
      ['[5000]', DEFAULT_PORT],
      ['5000', DEFAULT_PORT],
      ['', DEFAULT_PORT],
      ['{"port": 5000', DEFAULT_PORT],
    ];
    const dir = tempDir(t);
    for (const [text, port] of cases) {
      writeConfig(dir, text);
      assert.equal(readPort(path.join(dir, CONFIG)), port, text);
    }
    assert.equal(readPort(null), DEFAULT_PORT);
    fs.rmSync(path.join(dir, CONFIG));
    fs.mkdirSync(path.join(dir, CONFIG));
    assert.equal(readPort(path.join(dir, CONFIG)), DEFAULT_PORT);
  });

  test('a linked folder is searched upward along the path it was opened by, like the app does', (t) => {
    const root = layout(t, {
      'repo/.git/': '',
      'repo/tallyrig.config.json': '{"port": 5100}',
      'repo/app/': '',
      'outside/tallyrig.config.json': '{"port": 5200}',
    });
    fs.symlinkSync(path.join(root, 'repo/app'), path.join(root, 'outside/link'));
    const cwd = process.cwd();
    process.chdir(path.join(root, 'outside/link'));
    try {
      const opened = locateProject({ PWD: path.join(root, 'outside/link') });
      assert.equal(opened.port, 5200);
      assert.equal(opened.project, path.join(root, 'outside'));
      // A $PWD that names another folder is ignored: the real working folder is searched.
      const stale = locateProject({ PWD: root });
      assert.equal(stale.port, 5100);
      assert.equal(stale.project, path.join(root, 'repo'));
    } finally {
      process.chdir(cwd);
    }
  });
});

describe('start and stop', () => {
  test('serves the project found from a subfolder and ends on SIGTERM despite open connections', async (t) => {
    const root = tempDir(t);
    fs.mkdirSync(path.join(root, 'app/ios'), { recursive: true });
    const { child, port } = await startBridge(t, { dir: root, cwd: path.join(root, 'app/ios') });
    assert.match(child.out, new RegExp(`ready for ${root} on http://127\\.0\\.0\\.1:${port}`));
    assert.equal((await request(port, 'GET', '/api/bootstrap')).json.project, root);

    const agent = new http.Agent({ keepAlive: true });
    t.after(() => agent.destroy());
    await new Promise((resolve, reject) => {
      http.get({ host: '127.0.0.1', port, path: '/api/bootstrap', agent }, (res) => res.resume().on('end', resolve)).on('error', reject);
    });
    // A request whose body never comes holds its connection busy, not idle.
    const stuck = net.connect(port, '127.0.0.1');
    stuck.on('error', () => {});
    t.after(() => stuck.destroy());
    await new Promise((resolve) => stuck.on('connect', resolve));
    stuck.write('POST /report HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n{');
    await waitFor(() => request(port, 'GET', '/api/bootstrap').then(() => true), { what: 'bridge still answering' });

    const started = Date.now();
    child.kill('SIGTERM');
    const { code } = await child.exited;
    assert.equal(code, 0);
    assert.ok(Date.now() - started < 2500, `stopped promptly (${Date.now() - started} ms)`);
  });

  test('ends with 0 on SIGINT', async (t) => {
    const { child } = await startBridge(t);
    child.kill('SIGINT');
    assert.equal((await child.exited).code, 0);
  });

  test('a taken or unusable port ends with status 1 and a clear message', async (t) => {
    const blocker = net.createServer();
    await new Promise((resolve) => blocker.listen(0, '127.0.0.1', resolve));
    t.after(() => blocker.close());
    const taken = blocker.address().port;
    const dir = tempDir(t);
    writeConfig(dir, { port: taken });
    const busy = await runCli(['start', '--plain'], { cwd: dir });
    assert.equal(busy.code, 1);
    assert.match(busy.stderr, new RegExp(`Port ${taken} is already in use`));

    for (const port of [0, 70000]) {
      writeConfig(dir, { port });
      const res = await runCli(['start', '--plain'], { cwd: dir });
      assert.equal(res.code, 1);
      assert.match(res.stderr, new RegExp(`Port ${port} is out of range`));
    }
  });

  test('stop ends the bridge of this project only', async (t) => {
    const { child, port, project } = await startBridge(t);

    const stranger = tempDir(t);
    writeConfig(stranger, { port });
    const refused = await runCli(['stop'], { cwd: stranger });
    assert.equal(refused.code, 1);
    assert.match(refused.stderr, /used by the Tallyrig bridge for/);
    assert.equal((await request(port, 'GET', '/api/bootstrap')).status, 200);

    const doctor = await runCli(['doctor'], { cwd: path.join(project) });
    assert.equal(doctor.code, 0);
    assert.match(doctor.stdout, new RegExp(`Node\\.js ${process.version.replace(/\./g, '\\.')}`));
    assert.match(doctor.stdout, new RegExp(`port ${port}`));
    assert.match(doctor.stdout, /bridge for this project is running/);

    const stopped = await runCli(['stop'], { cwd: project });
    assert.equal(stopped.code, 0, stopped.stderr);
    assert.equal((await child.exited).code, 0);

    const nothing = await runCli(['stop'], { cwd: project });
    assert.equal(nothing.code, 1);
    assert.match(nothing.stderr, /Nothing to stop/);
  });

  test('doctor reports a missing configuration and a free default port', async (t) => {
    const dir = tempDir(t);
    fs.mkdirSync(path.join(dir, '.git'));
    const res = await runCli(['doctor'], { cwd: dir });
    assert.equal(res.code, 0);
    assert.match(res.stdout, /No tallyrig\.config\.json/);
    assert.match(res.stdout, /Port 4747/);
  });

  test('the agent pace can come from the environment', async (t) => {
    const { port } = await startBridge(t, { flags: [], env: { TALLYRIG_AGENT: 'simulate', TALLYRIG_AGENT_STEP_MS: '5' } });
    const { json } = await request(port, 'POST', '/report', { body: reportBody() });
    // At the default pace the four steps would take six seconds.
    await waitFor(async () => (await request(port, 'GET', `/status?id=${json.id}`)).json.status === 'review', {
      timeout: 3000,
      what: 'review',
    });
  });

  test('unknown commands and options print usage with status 2', async (t) => {
    const dir = tempDir(t);
    for (const args of [[], ['launch'], ['start', '--colour'], ['init', '--yes', '--port', 'abc']]) {
      const res = await runCli(args, { cwd: dir });
      assert.equal(res.code, 2, args.join(' '));
      assert.match(res.stderr, /Usage: tallyrig/);
    }
  });
});

describe('agents on PATH', () => {
  test('init --yes writes the first known agent with a headless entry, keeps .tallyrig/ out of git, and doctor lists them all', async (t) => {
    const { dir } = gitRepo(t);
    const bin = tempDir(t);
    for (const name of ['aider', 'codex', 'gemini']) {
      fs.writeFileSync(path.join(bin, name), '#!/bin/sh\n', { mode: 0o755 });
    }
    const env = { PATH: `${bin}:${path.dirname(process.execPath)}:/usr/bin:/bin` };
    const init = await runCli(['init', '--yes'], { cwd: dir, env });
    assert.equal(init.code, 0, init.stderr);
    const config = JSON.parse(fs.readFileSync(path.join(dir, CONFIG), 'utf8'));
    // aider comes later in the known list and has no headless entry; codex is the first with one.
    assert.deepEqual(config.agent, { name: 'codex', command: 'codex', args: ['exec', '--sandbox', 'workspace-write', '{prompt}'] });
    assert.match(fs.readFileSync(path.join(dir, '.git', 'info', 'exclude'), 'utf8'), /^\.tallyrig\/$/m);

    const doctor = await runCli(['doctor'], { cwd: dir, env });
    assert.match(doctor.stdout, /Reports go to the headless agent "codex"/);
    assert.match(doctor.stdout, /Codex CLI \(.*\/codex\)\n {4}connect over MCP: codex mcp add tallyrig -- tallyrig mcp/);
    assert.match(doctor.stdout, /Gemini CLI/);
    assert.match(doctor.stdout, /aider \(.*\/aider\)\n.*\n {4}headless entry: none known/);
    assert.doesNotMatch(doctor.stdout, /Claude Code/);
  });
});
