// An MCP agent for the app's own tests: in the project folder given, it takes the next report
// through `tallyrig mcp` with the SDK's client, checks that the annotated screenshot came with it,
// edits a file and finishes the report. Exits 0 when every step worked, else says which failed.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';

const project = process.argv[2];
const cli = fileURLToPath(new URL('../bin/tallyrig.mjs', import.meta.url));
const client = new Client({ name: 'tallyrig-test-agent', version: '1.0.0' });
await client.connect(new StdioClientTransport({ command: process.execPath, args: [cli, 'mcp'], cwd: project, env: { ...process.env, PWD: project } }));
const taken = await client.callTool({ name: 'next_report', arguments: {} });
const text = taken.content.find((c) => c.type === 'text')?.text ?? '';
const id = /^Report (\S+)/.exec(text)?.[1];
if (!id || !taken.content.some((c) => c.type === 'image' && c.mimeType === 'image/png')) {
  console.error(`next_report gave no report with its image:\n${text}`);
  process.exit(1);
}
fs.appendFileSync(path.join(project, 'Sources', 'Title.swift'), '// larger\n');
const finished = await client.callTool({ name: 'finish_report', arguments: { id, summary: 'Made the title larger' } });
await client.close();
if (finished.isError) {
  console.error(finished.content[0].text);
  process.exit(1);
}
console.log(finished.content[0].text);
