import http from 'node:http';
import { McpServer } from '@modelcontextprotocol/sdk/server/mcp.js';
import { StdioServerTransport } from '@modelcontextprotocol/sdk/server/stdio.js';
import { z } from 'zod';
import { isUsablePort, locateProject } from './config.mjs';
import { VERSION } from './server.mjs';

// `tallyrig mcp`: the MCP tools an agent the developer already runs uses to take reports. It only
// talks to the bridge that serves the project, which stays the one writer of .tallyrig/.

class BridgeDown extends Error {}

// One connection to the bridge, kept open between requests: a call is two of them, and an agent
// makes one call after another.
const keepAlive = new http.Agent({ keepAlive: true, maxSockets: 2 });

function call(port, method, pathname, body, again = true) {
  return new Promise((resolve, reject) => {
    const data = body === undefined ? undefined : Buffer.from(JSON.stringify(body));
    const req = http.request(
      { host: '127.0.0.1', port, method, path: pathname, agent: keepAlive, timeout: 30000, headers: data ? { 'Content-Type': 'application/json' } : {} },
      (res) => {
        const chunks = [];
        res.on('data', (c) => chunks.push(c));
        res.on('error', (error) => reject(new BridgeDown(error.message)));
        res.on('end', () => resolve({ status: res.statusCode, type: res.headers['content-type'] ?? '', body: Buffer.concat(chunks) }));
      },
    );
    req.on('timeout', () => req.destroy(new Error('the bridge did not answer within 30 seconds')));
    req.on('error', (error) => {
      // The bridge closed the kept connection before it read this (it idled out, or the bridge
      // started again): once more on a new one.
      if (again && req.reusedSocket && error.code === 'ECONNRESET') resolve(call(port, method, pathname, body, false));
      else reject(new BridgeDown(error.message));
    });
    req.end(data);
  });
}

async function callJson(port, method, pathname, body) {
  const res = await call(port, method, pathname, body);
  let value;
  try {
    value = JSON.parse(res.body.toString('utf8'));
  } catch {
    throw new Error(`The program on port ${port} did not answer as a Tallyrig bridge does.`);
  }
  if (res.status < 200 || res.status > 299) throw new Error(value && typeof value.error === 'string' ? value.error : `The bridge answered ${res.status}.`);
  return value;
}

function text(value, isError = false) {
  return { content: [{ type: 'text', text: value }], ...(isError ? { isError: true } : {}) };
}

export function createMcpServer({ port, project }) {
  const server = new McpServer({ name: 'tallyrig', version: VERSION });

  // Every tool answers in words, also when the bridge is not there.
  const tool = (name, config, handler) =>
    server.registerTool(name, config, async (args) => {
      try {
        return await handler(args ?? {});
      } catch (error) {
        if (error instanceof BridgeDown) {
          return text(`No Tallyrig bridge answers on port ${port} for ${project}. Start it with “tallyrig start” in ${project} (or open the project in the Tallyrig app), then try again.`, true);
        }
        return text(error.message, true);
      }
    });

  async function withImage(answer) {
    const content = [{ type: 'text', text: answer.text }];
    const which = answer.annotated ? 'annotated-screenshot' : answer.screenshot ? 'screenshot' : null;
    if (which) {
      const res = await call(port, 'GET', `/api/reports/${encodeURIComponent(answer.report.id)}/${which}`);
      if (res.status === 200 && res.type.startsWith('image/png')) content.push({ type: 'image', data: res.body.toString('base64'), mimeType: 'image/png' });
    }
    return { content };
  }

  const id = z.string().min(1).describe('The report’s id');
  tool(
    'next_report',
    { title: 'Take the next report', description: 'Takes the oldest report waiting for an agent, marks it "fixing" and returns the request, its pins, where to look in the repository, and the annotated screenshot.' },
    async () => {
      const answer = await callJson(port, 'POST', '/api/agent/next', {});
      if (!answer.report) return text('No report is waiting for an agent. Send one from the Tallyrig panel or dispatch one in the dashboard.');
      return withImage(answer);
    },
  );
  tool('get_report', { title: 'Read a report', description: 'Returns one report with its pins, where to look, and its annotated screenshot.', inputSchema: { id } }, async (args) =>
    withImage(await callJson(port, 'GET', `/api/reports/${encodeURIComponent(args.id)}/handoff`)),
  );
  tool('list_reports', { title: 'List the reports', description: 'Lists every report, newest first, with its id and status.' }, async () => {
    const list = await callJson(port, 'GET', '/api/reports');
    if (!Array.isArray(list) || list.length === 0) return text('There are no reports yet.');
    return text(list.map((r) => `${r.id}  ${r.status}  ${r.createdAt}  ${String(r.comment ?? '').split('\n')[0]}`).join('\n'));
  });
  tool(
    'update_report',
    { title: 'Say what the agent is doing', description: 'Moves a report you took to "fixing" or "checking".', inputSchema: { id, status: z.enum(['fixing', 'checking']) } },
    async (args) => {
      const answer = await callJson(port, 'POST', `/api/reports/${encodeURIComponent(args.id)}/progress`, { status: args.status });
      return text(`Report ${answer.id} is now "${answer.status}".`);
    },
  );
  tool(
    'finish_report',
    { title: 'Hand a report back for review', description: 'Ends your work on a report: it goes to "review" with the files changed since you took it.', inputSchema: { id, summary: z.string().describe('What you changed, in a sentence or two') } },
    async (args) => {
      const answer = await callJson(port, 'POST', `/api/reports/${encodeURIComponent(args.id)}/finish`, { summary: args.summary });
      const files = answer.changes.length ? answer.changes.map((c) => `${c.path} (${c.kind})`).join(', ') : 'none';
      return text(`Report ${answer.id} is ready to review. Files changed: ${files}.`);
    },
  );
  return server;
}

export async function serveMcp(env, err) {
  let place;
  try {
    place = locateProject(env);
  } catch (error) {
    err(`Cannot read the working folder: ${error.message}`);
    return 1;
  }
  if (!isUsablePort(place.port)) {
    err(`Port ${place.port} is out of range (1-65535).`);
    return 1;
  }
  const server = createMcpServer({ port: place.port, project: place.project });
  const transport = new StdioServerTransport();
  const closed = new Promise((resolve) => {
    transport.onclose = resolve;
    process.stdin.on('end', resolve);
  });
  await server.connect(transport);
  await closed;
  keepAlive.destroy();
  return 0;
}
