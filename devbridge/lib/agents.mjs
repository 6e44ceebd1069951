import fs from 'node:fs';
import path from 'node:path';

// Coding agents the bridge knows by name. `auto` is the headless entry `init --yes` writes; it
// is there only where the agent's own documentation gives a non-interactive mode we could read:
//
// - Claude Code: `claude -p` runs without the interactive UI (code.claude.com/docs/en/headless);
//   `--permission-mode acceptEdits` lets it edit files without asking
//   (code.claude.com/docs/en/permission-modes). It reads the pictures from the paths in the
//   prompt. MCP: `claude mcp add <name> -- <command> [args…]` (code.claude.com/docs/en/mcp).
// - Codex CLI: `codex exec` is its non-interactive mode, `--sandbox workspace-write` lets it edit
//   the workspace (developers.openai.com/codex/noninteractive). Its `--image` flag we saw only in
//   others' copies of its reference, so the pictures go by path in the prompt. MCP:
//   `codex mcp add <name> -- <command…>` (its `codex mcp` command group).
// - Gemini CLI: `-p`/`--prompt` runs headless (geminicli.com/docs/cli/headless);
//   `--approval-mode auto_edit` approves edits (its `--help`). MCP: no registering command found
//   in its documentation.
// - Cursor's agent, aider, opencode: no page of their own documentation on a non-interactive
//   mode was found, so they have no automatic entry; write one by hand. opencode registers MCP
//   servers in opencode.json under "mcp" (opencode.ai/docs/mcp-servers).
export const AGENTS = [
  {
    id: 'claude',
    name: 'Claude Code',
    commands: ['claude'],
    auto: { args: ['-p', '{prompt}', '--permission-mode', 'acceptEdits'] },
    register: 'claude mcp add tallyrig -- tallyrig mcp',
  },
  {
    id: 'codex',
    name: 'Codex CLI',
    commands: ['codex'],
    auto: { args: ['exec', '--sandbox', 'workspace-write', '{prompt}'] },
    register: 'codex mcp add tallyrig -- tallyrig mcp',
  },
  {
    id: 'gemini',
    name: 'Gemini CLI',
    commands: ['gemini'],
    auto: { args: ['--approval-mode', 'auto_edit', '-p', '{prompt}'] },
    register: null,
  },
  { id: 'cursor', name: 'Cursor agent', commands: ['cursor-agent'], auto: null, register: null },
  { id: 'aider', name: 'aider', commands: ['aider'], auto: null, register: null },
  {
    id: 'opencode',
    name: 'opencode',
    commands: ['opencode'],
    auto: null,
    register: 'add "tallyrig": {"type": "local", "command": ["tallyrig", "mcp"]} under "mcp" in opencode.json',
  },
];

export const PLACEHOLDERS = ['{prompt}', '{promptFile}', '{screenshot}', '{annotated}'];

export function findOnPath(command, env = process.env) {
  for (const dir of (env.PATH ?? '').split(path.delimiter)) {
    if (!dir) continue;
    const file = path.join(dir, command);
    try {
      fs.accessSync(file, fs.constants.X_OK);
      if (fs.statSync(file).isFile()) return file;
    } catch {
      // not here
    }
  }
  return null;
}

// Every known agent on PATH, in the order above: [{ agent, command, file }].
export function agentsOnPath(env = process.env) {
  const found = [];
  for (const agent of AGENTS) {
    for (const command of agent.commands) {
      const file = findOnPath(command, env);
      if (file) {
        found.push({ agent, command, file });
        break;
      }
    }
  }
  return found;
}

// The configuration's headless agent entry for a known agent.
export function agentEntry({ agent, command }) {
  return { name: agent.id, command, args: [...agent.auto.args] };
}

function commandSpec(value, label, { placeholders = false } = {}) {
  if (value === undefined || value === null) return null;
  if (typeof value !== 'object' || Array.isArray(value)) throw new Error(`${label} must be an object with "command" and "args"`);
  if (typeof value.command !== 'string' || value.command.trim() === '') throw new Error(`${label}.command must be a non-empty text`);
  const args = value.args ?? [];
  if (!Array.isArray(args) || args.some((a) => typeof a !== 'string')) throw new Error(`${label}.args must be a list of texts`);
  if (!placeholders && args.some((a) => PLACEHOLDERS.some((p) => a.includes(p)))) {
    throw new Error(`${label}.args cannot use the agent's placeholders`);
  }
  return { command: value.command, args: [...args], name: typeof value.name === 'string' ? value.name : value.command };
}

// { agent, check, relaunch } from tallyrig.config.json, each null when absent; `problem` when the
// file has an entry the bridge cannot use (it then runs no agent rather than a wrong one).
export function readAgentConfig(configFile) {
  const none = { agent: null, check: null, relaunch: null, problem: null };
  if (!configFile) return none;
  let value;
  try {
    if (!fs.statSync(configFile).isFile()) return none;
    value = JSON.parse(fs.readFileSync(configFile, 'utf8').replace(/^\uFEFF/, ''));
  } catch (error) {
    return { ...none, problem: error.code ? `Cannot read ${configFile}` : `${configFile} is not valid JSON` };
  }
  if (value === null || typeof value !== 'object' || Array.isArray(value)) return none;
  try {
    return {
      agent: commandSpec(value.agent, 'agent', { placeholders: true }),
      check: commandSpec(value.check, 'check'),
      relaunch: commandSpec(value.relaunch, 'relaunch'),
      problem: null,
    };
  } catch (error) {
    return { ...none, problem: `${path.basename(configFile)}: ${error.message}` };
  }
}

// The argument list with its placeholders filled in.
export function fillArgs(args, values) {
  return args.map((arg) => arg.replace(/\{(prompt|promptFile|screenshot|annotated)\}/g, (_, key) => values[key] ?? ''));
}
