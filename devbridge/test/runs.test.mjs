import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { PNG_BASE64, SCRIPT_AGENT, alive, gitRepo, reportBody, request, startBridge, tempDir, waitFor } from './helpers.mjs';

const FILES = { 'src/View.swift': 'struct View {}\n', 'src/Old.swift': 'struct Old {}\n', 'Notes.md': 'notes\n' };
const node = (code, ...args) => ({ command: process.execPath, args: ['-e', code, ...args] });
const exit = (status) => node(`process.exit(${status})`);

// A repository where the user has already changed Notes.md, left scratch.txt untracked and staged
// Staged.md, and a bridge whose headless agent is the script agent.
async function road(t, { mode = 'ok', check, relaunch, settings = {}, port } = {}) {
  const repo = gitRepo(t, { files: FILES, dirty: { 'Notes.md': 'notes, edited by hand\n', 'scratch.txt': 'mine\n', 'Staged.md': 'staged\n' } });
  repo.git('add', 'Staged.md');
  const side = tempDir(t);
  fs.writeFileSync(path.join(side, 'agent.mjs'), SCRIPT_AGENT);
  const env = { SEEN_PROMPT: path.join(side, 'prompt.md'), AGENT_PID: path.join(side, 'pid') };
  const config = { agent: { name: 'script', command: process.execPath, args: [path.join(side, 'agent.mjs'), mode, '{promptFile}'] } };
  if (check) config.check = check;
  if (relaunch) config.relaunch = relaunch;
  const bridge = await startBridge(t, { dir: repo.dir, env, config, port });
  const call = (method, p, options) => request(bridge.port, method, p, options);
  for (const [key, value] of Object.entries(settings)) await call('POST', '/api/settings', { body: { [key]: value } });
  const send = async (comment = 'Make the title bigger\nIt is too small on the iPhone SE') => {
    const res = await call('POST', '/report', { body: reportBody({ comment, annotatedScreenshotPNG: PNG_BASE64 }) });
    assert.equal(res.status, 201, res.text);
    return res.json.id;
  };
  const detail = async (id) => (await call('GET', `/api/reports/${id}`)).json;
  const until = (id, status) => waitFor(async () => (await detail(id)).status === status, { what: status, timeout: 15000 });
  const read = (name) => (fs.existsSync(path.join(repo.dir, name)) ? fs.readFileSync(path.join(repo.dir, name), 'utf8') : null);
  return { repo, side, bridge, call, send, detail, until, read, env, config };
}

const AGENT_CHANGES = [
  { path: 'src/New/Badge.swift', kind: 'added' },
  { path: 'src/Old.swift', kind: 'deleted' },
  { path: 'src/View.swift', kind: 'changed' },
];

describe('the headless agent', () => {
  test('runs, checks and relaunches, then the commit holds exactly its files', async (t) => {
    const marker = path.join(tempDir(t), 'relaunched');
    const r = await road(t, { check: exit(0), relaunch: node("require('fs').writeFileSync(process.argv[1], 'x')", marker) });
    const id = await r.send();
    await r.until(id, 'review');
    const report = await r.detail(id);
    assert.deepEqual(report.history.map((h) => h.status), ['sent', 'queued', 'fixing', 'checking', 'rebuilding', 'review']);
    assert.deepEqual(report.changes, AGENT_CHANGES);
    assert.ok(fs.existsSync(marker));
    // The agent was given the panel's prompt, the pictures on disk and where to look.
    const prompt = fs.readFileSync(r.env.SEEN_PROMPT, 'utf8');
    assert.match(prompt, /^## Request\n\nMake the title bigger\nIt is too small on the iPhone SE\n\n## Where\n\n- App: iOS, in the Simulator\n/);
    assert.ok(prompt.includes(path.join(r.repo.dir, '.tallyrig', 'reports', id, 'annotated.png')));
    assert.ok(fs.existsSync(path.join(r.repo.dir, '.tallyrig', 'reports', id, 'screenshot.png')));
    assert.match((await r.call('GET', `/api/reports/${id}/diff`)).json.diff, /\+\+\+ b\/src\/View\.swift\n@@[^\n]*\n struct View \{\}\n\+\/\/ bigger/);

    const res = await r.call('POST', `/api/reports/${id}/commit`, { body: {} });
    assert.equal(res.status, 200, res.text);
    assert.equal(res.json.status, 'committed');
    assert.match(res.json.commit, /^[0-9a-f]{40}$/);
    assert.equal(r.repo.git('rev-parse', 'HEAD').trim(), res.json.commit);
    assert.equal(r.repo.git('log', '-1', '--format=%s%n%b').trim(), `Make the title bigger\nTallyrig report ${id}`);
    assert.deepEqual(r.repo.git('show', '--name-status', '--format=', 'HEAD').trim().split('\n').sort(), [
      'A\tsrc/New/Badge.swift',
      'D\tsrc/Old.swift',
      'M\tsrc/View.swift',
    ]);
    // What the user had changed stays theirs, uncommitted.
    assert.deepEqual(r.repo.git('status', '--porcelain').replace(/\n$/, '').split('\n').sort(), [' M Notes.md', '?? scratch.txt', '?? tallyrig.config.json', 'A  Staged.md']);
  });

  test('revert puts back exactly its files, refuses over a later change, and verify changes nothing', async (t) => {
    const r = await road(t, { settings: { autoRelaunch: false } });
    const id = await r.send();
    await r.until(id, 'review');
    const agentView = r.read('src/View.swift');
    fs.writeFileSync(path.join(r.repo.dir, 'src/View.swift'), 'changed by hand\n');
    const refused = await r.call('POST', `/api/reports/${id}/revert`, { body: {} });
    assert.equal(refused.status, 409);
    assert.match(refused.json.error, /src\/View\.swift/);
    assert.equal(r.read('src/New/Badge.swift'), 'struct Badge {}\n', 'nothing was reverted');

    fs.writeFileSync(path.join(r.repo.dir, 'src/View.swift'), agentView);
    const reverted = await r.call('POST', `/api/reports/${id}/revert`, { body: {} });
    assert.deepEqual(reverted.json, { id, status: 'reverted' });
    assert.equal(r.read('src/View.swift'), FILES['src/View.swift']);
    assert.equal(r.read('src/Old.swift'), FILES['src/Old.swift']);
    assert.equal(r.read('src/New/Badge.swift'), null);
    assert.equal(r.read('Notes.md'), 'notes, edited by hand\n');
    assert.equal(r.read('scratch.txt'), 'mine\n');
    assert.equal(r.read('Staged.md'), 'staged\n');

    const second = await r.send('Again');
    await r.until(second, 'review');
    assert.equal((await r.call('POST', `/api/reports/${second}/verify`, { body: {} })).json.status, 'verified');
    assert.equal(r.read('src/Old.swift'), null);
    assert.equal(r.read('src/View.swift'), agentView);
    assert.equal(r.repo.git('rev-list', '--count', 'HEAD').trim(), '1');
  });

  test('a failing agent, check or relaunch fails the report with its last lines', async (t) => {
    const rows = [
      ['agent', { mode: 'fail' }, /error: the agent gave up/, 'The agent exited with status 3'],
      ['check', { check: node("console.error('2 tests failed'); process.exit(4)") }, /2 tests failed/, 'The check exited with status 4'],
      ['relaunch', { relaunch: node("console.log('no simulator'); process.exit(5)") }, /no simulator/, 'The relaunch exited with status 5'],
      ['missing agent command', { command: 'tallyrig-no-such-agent' }, /tallyrig-no-such-agent was not found/, 'The agent exited with status -1'],
    ];
    for (const [name, options, lines, message] of rows) {
      const r = await road(t, options);
      if (options.command) {
        r.config.agent.command = options.command;
        fs.writeFileSync(path.join(r.repo.dir, 'tallyrig.config.json'), JSON.stringify({ port: r.bridge.port, ...r.config }));
      }
      const id = await r.send();
      await r.until(id, 'failed');
      const { failure, changes } = await r.detail(id);
      assert.equal(failure.message, message, name);
      assert.match(failure.lines, lines, name);
      if (!options.command) assert.deepEqual(changes, AGENT_CHANGES, name);
    }
  });

  test('stop ends the whole process group; the next queued report then runs', async (t) => {
    const r = await road(t, { mode: 'hang' });
    const first = await r.send('First');
    const second = await r.send('Second');
    const pid = Number(await waitFor(() => fs.existsSync(r.env.AGENT_PID) && fs.readFileSync(r.env.AGENT_PID, 'utf8'), { what: 'agent pid' }));
    assert.equal((await r.detail(second)).status, 'queued');
    fs.rmSync(r.env.AGENT_PID);
    const stopped = await r.call('POST', `/api/reports/${first}/stop`, { body: {} });
    assert.deepEqual(stopped.json, { id: first, status: 'stopped' });
    assert.equal(alive(pid), false);
    assert.equal((await r.detail(first)).changes.length, 3);
    // Stopped, its changes can still be put back, while the second report runs.
    await r.until(second, 'fixing');
    const next = Number(await waitFor(() => fs.existsSync(r.env.AGENT_PID) && fs.readFileSync(r.env.AGENT_PID, 'utf8'), { what: 'agent pid' }));
    assert.equal((await r.call('POST', `/api/reports/${second}/stop`, { body: {} })).json.status, 'stopped');
    assert.equal(alive(next), false);
  });

  test('a bridge killed mid-run comes back with the report interrupted and revertable', async (t) => {
    const r = await road(t, { mode: 'hang' });
    const id = await r.send();
    const pid = Number(await waitFor(() => fs.existsSync(r.env.AGENT_PID) && fs.readFileSync(r.env.AGENT_PID, 'utf8'), { what: 'agent pid' }));
    r.bridge.child.kill('SIGKILL');
    await r.bridge.child.exited;
    process.kill(-pid, 'SIGKILL');
    const again = await startBridge(t, { dir: r.repo.dir, env: r.env, config: r.config, port: r.bridge.port });
    const call = (method, p, options) => request(again.port, method, p, options);
    const report = (await call('GET', `/api/reports/${id}`)).json;
    assert.equal(report.status, 'interrupted');
    assert.deepEqual(report.changes, AGENT_CHANGES);
    assert.equal((await call('POST', `/api/reports/${id}/revert`, { body: {} })).json.status, 'reverted');
    assert.equal(r.read('src/Old.swift'), FILES['src/Old.swift']);
    assert.equal(r.read('src/New/Badge.swift'), null);
  });

  test('outside git, commit says why in words and revert still works', async (t) => {
    const dir = tempDir(t);
    fs.mkdirSync(path.join(dir, 'src'));
    for (const [name, content] of Object.entries(FILES)) fs.writeFileSync(path.join(dir, name), content);
    const side = tempDir(t);
    fs.writeFileSync(path.join(side, 'agent.mjs'), SCRIPT_AGENT);
    const env = { SEEN_PROMPT: path.join(side, 'prompt.md') };
    const config = { agent: { command: process.execPath, args: [path.join(side, 'agent.mjs'), 'ok', '{promptFile}'] } };
    const bridge = await startBridge(t, { dir, env, config });
    const call = (method, p, options) => request(bridge.port, method, p, options);
    await call('POST', '/api/settings', { body: { autoRelaunch: false } });
    const { id } = (await call('POST', '/report', { body: reportBody() })).json;
    await waitFor(async () => (await call('GET', `/status?id=${id}`)).json.status === 'review', { what: 'review', timeout: 15000 });
    const commit = await call('POST', `/api/reports/${id}/commit`, { body: {} });
    assert.equal(commit.status, 409);
    assert.match(commit.json.error, /not a git repository/);
    assert.equal((await call('POST', `/api/reports/${id}/revert`, { body: {} })).json.status, 'reverted');
    assert.equal(fs.readFileSync(path.join(dir, 'src/Old.swift'), 'utf8'), FILES['src/Old.swift']);
    assert.equal(fs.existsSync(path.join(dir, 'src/New/Badge.swift')), false);
  });
});
