import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { agentEntry, agentsOnPath } from './agents.mjs';
import { CONFIG_NAME, DEFAULT_PORT, isUsablePort, locateProject, pidFilePath, servesFolder } from './config.mjs';
import { excludeFolder } from './git.mjs';
import { VERSION, createBridge } from './server.mjs';

export const DEFAULT_STEP_MS = 1500;

export const USAGE = `Usage: tallyrig <command> [options]

Commands:
  init --yes [--port N]          write ${CONFIG_NAME} in this folder (port ${DEFAULT_PORT} unless given,
                                 and the first coding agent found on PATH); keep .tallyrig/ out of git
  start [--plain] [--step-ms N]  serve the dashboard and API on 127.0.0.1
  stop                           stop the bridge that serves this project
  doctor                         check Node.js, the configuration, the port and the coding agents
  mcp                            serve the Model Context Protocol over stdio for this project

Environment:
  TALLYRIG_AGENT=simulate        walk reports through their statuses with a timer instead of an agent
  TALLYRIG_AGENT_STEP_MS         milliseconds between the simulated agent's steps (default ${DEFAULT_STEP_MS})`;

class UsageError extends Error {}

const FLAGS = {
  init: { yes: 'boolean', port: 'integer' },
  start: { plain: 'boolean', 'step-ms': 'integer' },
  stop: { plain: 'boolean' },
  doctor: { plain: 'boolean' },
  mcp: {},
};

function parseFlags(command, args) {
  const known = FLAGS[command];
  const flags = {};
  for (let i = 0; i < args.length; i++) {
    const match = /^--([a-z-]+)(?:=(.*))?$/s.exec(args[i]);
    if (!match || !Object.hasOwn(known, match[1])) throw new UsageError(`Unknown option for ${command}: ${args[i]}`);
    const [, name, inline] = match;
    if (known[name] === 'boolean') {
      if (inline !== undefined) throw new UsageError(`--${name} takes no value`);
      flags[name] = true;
      continue;
    }
    const text = inline ?? args[++i];
    if (text === undefined || !/^[0-9]+$/.test(text)) throw new UsageError(`--${name} needs a whole number`);
    flags[name] = Number(text);
  }
  return flags;
}

function stepInterval(flags, env, err) {
  if (flags['step-ms'] !== undefined) return flags['step-ms'];
  const text = env.TALLYRIG_AGENT_STEP_MS;
  if (text === undefined || text === '') return DEFAULT_STEP_MS;
  if (/^[0-9]+$/.test(text.trim())) return Number(text.trim());
  err(`Ignoring TALLYRIG_AGENT_STEP_MS=${text}: not a whole number of milliseconds.`);
  return DEFAULT_STEP_MS;
}

function where(env, err) {
  try {
    return locateProject(env);
  } catch (error) {
    err(`Cannot read the working folder: ${error.message}`);
    return null;
  }
}

async function init(flags, env, out, err) {
  if (!flags.yes) {
    err('Nothing was written. Run tallyrig init --yes to create tallyrig.config.json here.');
    return 1;
  }
  const port = flags.port ?? DEFAULT_PORT;
  if (!isUsablePort(port)) {
    err(`Port ${port} is out of range (1-65535).`);
    return 2;
  }
  let file;
  const config = { port };
  const found = agentsOnPath(env).find((a) => a.agent.auto);
  if (found) config.agent = agentEntry(found);
  try {
    file = path.join(process.cwd(), CONFIG_NAME);
    fs.writeFileSync(file, `${JSON.stringify(config, null, 2)}\n`, { flag: 'wx' });
  } catch (error) {
    if (error.code === 'EEXIST') {
      out(`${file} already exists; it was left as it is.`);
      await excludeFolder(process.cwd(), '.tallyrig/');
      return 0;
    }
    err(`Cannot write ${file ?? CONFIG_NAME}: ${error.message}`);
    return 1;
  }
  await excludeFolder(process.cwd(), '.tallyrig/');
  out(`Wrote ${file} (port ${port}).`);
  out(found ? `Reports go to ${found.agent.name} (${found.file}); tallyrig doctor tells how to pick another.` : 'No coding agent was found on PATH; tallyrig doctor tells how to connect one.');
  out('Next: tallyrig start');
  return 0;
}

// Who answers on a port: { kind: 'free' | 'foreign' | 'bridge', project, pid }.
export function probe(port, timeoutMs = 1500) {
  return new Promise((resolve) => {
    const req = http.get({ host: '127.0.0.1', port, path: '/api/bootstrap', agent: false, timeout: timeoutMs }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('error', () => resolve({ kind: 'free' }));
      res.on('end', () => {
        try {
          const body = JSON.parse(Buffer.concat(chunks).toString('utf8'));
          if (body && body.service === 'tallyrig') {
            resolve({ kind: 'bridge', project: typeof body.project === 'string' ? body.project : 'another project', pid: body.pid });
            return;
          }
        } catch {
          // not JSON: someone else
        }
        resolve({ kind: 'foreign' });
      });
    });
    req.on('timeout', () => req.destroy(new Error('timeout')));
    req.on('error', () => resolve({ kind: 'free' }));
  });
}

function writePidFile(port, project, err) {
  const file = pidFilePath(port);
  const temp = `${file}.${process.pid}.tmp`;
  try {
    // Exclusive create, then rename: never write through a planted link in a shared temp folder.
    fs.writeFileSync(temp, JSON.stringify({ pid: process.pid, port, project }), { flag: 'wx', mode: 0o644 });
    fs.renameSync(temp, file);
  } catch (error) {
    fs.rmSync(temp, { force: true });
    err(`Warning: cannot write ${file} (${error.message}); tallyrig stop will not find this bridge.`);
  }
}

function readPidFile(port) {
  try {
    return JSON.parse(fs.readFileSync(pidFilePath(port), 'utf8'));
  } catch {
    return null;
  }
}

function removePidFile(port) {
  const record = readPidFile(port);
  if (record && record.pid === process.pid) fs.rmSync(pidFilePath(port), { force: true });
}

function start(flags, env, out, err) {
  const stepMs = stepInterval(flags, env, err);
  const place = where(env, err);
  if (!place) return 1;
  const { port, project, configFile } = place;
  if (!isUsablePort(port)) {
    err(`Port ${port} is out of range (1-65535). Change port in ${CONFIG_NAME}.`);
    return 1;
  }
  const agent = env.TALLYRIG_AGENT ?? '';
  if (agent !== '' && agent !== 'simulate') err(`Ignoring TALLYRIG_AGENT=${agent}: only "simulate" is known.`);
  let bridge;
  try {
    bridge = createBridge({ project, configFile, stepMs, simulate: agent === 'simulate', log: out });
  } catch (error) {
    err(`Cannot read the reports in ${path.join(project, '.tallyrig')}: ${error.message}`);
    return 1;
  }
  const { server, shutdown } = bridge;
  return new Promise((resolve) => {
    let stopping = false;
    const stop = (signal) => {
      if (stopping) return;
      stopping = true;
      removePidFile(port);
      shutdown(() => {
        out(`Tallyrig bridge stopped (${signal}).`);
        resolve(0);
      });
      setTimeout(() => resolve(0), 2000).unref();
    };
    // Before the ready line: whoever reads it may signal at once.
    process.on('SIGTERM', () => stop('SIGTERM'));
    process.on('SIGINT', () => stop('SIGINT'));
    const failed = (error) => {
      if (error.code === 'EADDRINUSE') err(`Port ${port} is already in use. Change port in ${CONFIG_NAME}.`);
      else if (error.code === 'EACCES') err(`Port ${port} cannot be used without more privileges. Change port in ${CONFIG_NAME}.`);
      else err(`Cannot listen on 127.0.0.1:${port}: ${error.message}`);
      resolve(1);
    };
    server.once('error', failed);
    // Reports an earlier bridge left with an agent are settled before anyone can ask for them.
    bridge.ready.then(() => server.listen(port, '127.0.0.1', () => {
      server.off('error', failed);
      server.on('error', (error) => err(`Server error: ${error.message}`));
      if (stopping) return;
      writePidFile(port, project, err);
      out(`Tallyrig bridge ready for ${project} on http://127.0.0.1:${port}`);
      // After listening: starting git takes the bridge's main thread for a while.
      excludeFolder(project, '.tallyrig/').catch(() => {});
    }));
  });
}

async function waitUntilFree(port, timeoutMs) {
  const deadline = Date.now() + timeoutMs;
  while (Date.now() < deadline) {
    if ((await probe(port, 500)).kind === 'free') return true;
    await new Promise((r) => setTimeout(r, 100));
  }
  return false;
}

async function stop(env, out, err) {
  const place = where(env, err);
  if (!place) return 1;
  const { port, folder } = place;
  if (!isUsablePort(port)) {
    err(`Port ${port} is out of range (1-65535); no bridge can run there.`);
    return 1;
  }
  const found = await probe(port);
  if (found.kind === 'free') {
    err(`Nothing to stop: no Tallyrig bridge is running on port ${port}.`);
    return 1;
  }
  if (found.kind === 'foreign') {
    err(`Nothing to stop: port ${port} is used by another program, not a Tallyrig bridge.`);
    return 1;
  }
  if (!servesFolder(found.project, folder)) {
    err(`Port ${port} is used by the Tallyrig bridge for ${found.project}. Run tallyrig stop in that folder.`);
    return 1;
  }
  const record = readPidFile(port);
  if (!record || record.pid !== found.pid || !Number.isInteger(record.pid) || record.pid <= 0) {
    err(`Cannot tell which process serves port ${port}; stop it where it was started.`);
    return 1;
  }
  try {
    process.kill(record.pid, 'SIGTERM');
  } catch (error) {
    err(`Cannot stop process ${record.pid}: ${error.message}`);
    return 1;
  }
  if (!(await waitUntilFree(port, 5000))) {
    err(`The bridge on port ${port} (process ${record.pid}) did not stop.`);
    return 1;
  }
  out(`Stopped the Tallyrig bridge for ${found.project} on port ${port}.`);
  return 0;
}

async function doctor(env, out) {
  const major = Number(process.versions.node.split('.')[0]);
  out('Tallyrig doctor');
  out(`${major >= 18 ? '[ok]' : '[!!]'} Node.js ${process.version} (18 or later needed)`);
  const place = where(env, (line) => out(`[!!] ${line}`));
  if (!place) return 0;
  const { folder, configFile, port, project } = place;
  if (configFile) out(`[ok] Configuration ${configFile}: port ${port}`);
  else out(`[!!] No ${CONFIG_NAME} from ${folder} up to the repository root; run tallyrig init --yes. Port ${port} is used.`);
  out(`[ok] Project folder ${project}`);
  (await import('./doctor.mjs')).doctorAgents({ env, configFile, out });
  if (!isUsablePort(port)) {
    out(`[!!] Port ${port} is out of range (1-65535)`);
    return 0;
  }
  const found = await probe(port);
  if (found.kind === 'free') out(`[ok] Port ${port} is free`);
  else if (found.kind === 'foreign') out(`[!!] Port ${port} is used by another program`);
  else if (servesFolder(found.project, folder)) out(`[ok] Port ${port}: the Tallyrig bridge for this project is running`);
  else out(`[!!] Port ${port} is used by the Tallyrig bridge for ${found.project}`);
  return 0;
}

// Returns the exit status.
export async function main(argv, env = process.env) {
  const out = (line) => process.stdout.write(`${line}\n`);
  const err = (line) => process.stderr.write(`${line}\n`);
  const [command, ...args] = argv;
  if (command === '--help' || command === '-h' || command === 'help') {
    out(USAGE);
    return 0;
  }
  if (command === '--version') {
    out(VERSION);
    return 0;
  }
  if (!Object.hasOwn(FLAGS, command ?? '')) {
    if (command !== undefined) err(`Unknown command: ${command}`);
    err(USAGE);
    return 2;
  }
  let flags;
  try {
    flags = parseFlags(command, args);
  } catch (error) {
    if (!(error instanceof UsageError)) throw error;
    err(error.message);
    err(USAGE);
    return 2;
  }
  switch (command) {
    case 'init':
      return init(flags, env, out, err);
    case 'mcp':
      // The SDK is loaded only here: the bridge itself starts without it.
      return (await import('./mcp.mjs')).serveMcp(env, err);
    case 'start':
      return start(flags, env, out, err);
    case 'stop':
      return stop(env, out, err);
    default:
      return doctor(env, out);
  }
}
