import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { BIN, PNG_BASE64, freePort, gitRepo, reportBody, request, startBridge, writeConfig } from './helpers.mjs';

// The SDK's own client, talking to `tallyrig mcp` over stdio as an agent would.
async function connect(t, cwd) {
  const client = new Client({ name: 'test-agent', version: '1.0.0' });
  const transport = new StdioClientTransport({ command: process.execPath, args: [BIN, 'mcp'], cwd, env: { ...process.env, PWD: cwd }, stderr: 'pipe' });
  await client.connect(transport);
  t.after(() => client.close());
  return client;
}

const textOf = (result) => result.content.filter((c) => c.type === 'text').map((c) => c.text).join('\n');

describe('tallyrig mcp', () => {
  test('an agent lists the tools, takes a report with its image, and finishes it', async (t) => {
    const repo = gitRepo(t, { files: { 'Sources/Settings.swift': 'Button("Save").accessibilityIdentifier("saveButton")\n' } });
    const bridge = await startBridge(t, { dir: repo.dir, env: {} });
    const client = await connect(t, repo.dir);
    const { tools } = await client.listTools();
    assert.deepEqual(tools.map((tool) => tool.name).sort(), ['finish_report', 'get_report', 'list_reports', 'next_report', 'update_report']);

    assert.match(textOf(await client.callTool({ name: 'next_report', arguments: {} })), /No report is waiting/);
    const sent = await request(bridge.port, 'POST', '/report', { body: reportBody({ annotatedScreenshotPNG: PNG_BASE64 }) });
    const id = sent.json.id;
    const taken = await client.callTool({ name: 'next_report', arguments: {} });
    assert.equal(taken.structuredContent, undefined);
    const text = textOf(taken);
    assert.match(text, /Make the Save button bigger/);
    assert.match(text, /1\. saveButton, role AXButton\n {3}identifier: saveButton\n {3}label: Save\n {3}frame: x 15, y 15, width 150, height 66\n {3}touch x 168\.5, y 270\.1/);
    assert.match(text, /look at Sources\/Settings\.swift:1: Button\("Save"\)/);
    assert.ok(text.includes(path.join(repo.dir, '.tallyrig', 'reports', id, 'annotated.png')));
    const image = taken.content.find((c) => c.type === 'image');
    assert.equal(image.mimeType, 'image/png');
    assert.deepEqual(Buffer.from(image.data, 'base64'), Buffer.from(PNG_BASE64, 'base64'));
    assert.equal((await request(bridge.port, 'GET', `/status?id=${id}`)).json.status, 'fixing');

    assert.match(textOf(await client.callTool({ name: 'update_report', arguments: { id, status: 'checking' } })), /"checking"/);
    assert.match(textOf(await client.callTool({ name: 'list_reports', arguments: {} })), new RegExp(`${id}  checking`));
    fs.writeFileSync(path.join(repo.dir, 'Sources/Settings.swift'), 'Button("Save").font(.title)\n');
    const finished = await client.callTool({ name: 'finish_report', arguments: { id, summary: 'Larger font' } });
    assert.match(textOf(finished), /ready to review\. Files changed: Sources\/Settings\.swift \(changed\)/);
    const report = (await request(bridge.port, 'GET', `/api/reports/${id}`)).json;
    assert.equal(report.status, 'review');
    assert.equal(report.summary, 'Larger font');
    // It was given away once: finishing again is refused in words.
    const again = await client.callTool({ name: 'finish_report', arguments: { id, summary: 'x' } });
    assert.equal(again.isError, true);
    assert.match(textOf(again), /not with an MCP agent/);
    // The connection kept to the bridge that stopped is not the new bridge's.
    bridge.child.kill('SIGTERM');
    await bridge.child.exited;
    await startBridge(t, { dir: repo.dir, env: {}, port: bridge.port });
    assert.match(textOf(await client.callTool({ name: 'list_reports', arguments: {} })), new RegExp(`${id}  review`));
  });

  test('without a bridge every tool says so and names the command that starts it', async (t) => {
    const repo = gitRepo(t);
    writeConfig(repo.dir, { port: await freePort() });
    const client = await connect(t, repo.dir);
    for (const [name, args] of [['next_report', {}], ['get_report', { id: 'x' }], ['list_reports', {}], ['finish_report', { id: 'x', summary: 's' }]]) {
      const result = await client.callTool({ name, arguments: args });
      assert.equal(result.isError, true, name);
      assert.match(textOf(result), /No Tallyrig bridge answers on port \d+ .*tallyrig start/, name);
    }
  });
});
