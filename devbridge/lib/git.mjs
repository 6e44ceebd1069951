import { createRequire } from 'node:module';

// child_process loads at the first git command, not before the bridge listens.
const require = createRequire(import.meta.url);

export class GitError extends Error {
  constructor(message, stderr = '') {
    super(message);
    this.stderr = stderr;
  }
}

const OUTPUT_LIMIT = 256 * 1024 * 1024;

// No shell, no pager, paths as they are: output is split on NUL, never parsed for quoting. Nothing
// goes to git's input, so it gets no pipe for it.
export function git(cwd, args, { env } = {}) {
  const { spawn } = require('node:child_process');
  return new Promise((resolve, reject) => {
    const child = spawn('git', ['-c', 'core.quotepath=off', '-c', 'color.ui=false', ...args], {
      cwd,
      env: { ...process.env, GIT_TERMINAL_PROMPT: '0', GIT_OPTIONAL_LOCKS: '0', LC_ALL: 'C', ...env },
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    const out = [];
    const err = [];
    let size = 0;
    let problem = null;
    let settled = false;
    const collect = (chunks) => (chunk) => {
      size += chunk.length;
      if (size <= OUTPUT_LIMIT) chunks.push(chunk);
      else if (!problem) {
        problem = `git ${args[0]} printed more than ${OUTPUT_LIMIT / 1024 / 1024} MB`;
        child.kill();
      }
    };
    child.stdout.on('data', collect(out));
    child.stderr.on('data', collect(err));
    const settle = (code, signal) => {
      if (settled) return;
      settled = true;
      const stdout = Buffer.concat(out);
      if (!problem && code === 0) {
        resolve(stdout);
        return;
      }
      const text = Buffer.concat(err).toString('utf8').trim();
      const failure = new GitError(problem ?? (text || `git ${args[0]} ended with ${signal ?? `status ${code}`}`), problem ? '' : text);
      failure.stdout = stdout;
      reject(failure);
    };
    child.once('error', (error) => {
      problem ??= error.code === 'ENOENT' ? 'git is not installed' : error.message;
      settle(null, null);
    });
    child.once('close', settle);
  });
}

export function nulList(buffer) {
  const text = buffer.toString('utf8');
  const items = text.split('\0');
  if (items[items.length - 1] === '') items.pop();
  return items;
}

// The repository's top folder, or null when `folder` is not in one. Asked at most every few
// seconds: a run asks several times within milliseconds.
const tops = new Map();
export function topLevel(folder) {
  const known = tops.get(folder);
  if (known && Date.now() - known.at < 5000) return known.answer;
  const answer = git(folder, ['rev-parse', '--show-toplevel'])
    .then((out) => out.toString('utf8').trim() || null)
    .catch(() => null);
  tops.set(folder, { at: Date.now(), answer });
  return answer;
}

// One git process for what a snapshot needs: `entries`, path → { blob, mode } for every index
// entry, and `dirty`, the paths whose file differs from its entry, is gone, is unmerged or is not
// tracked (ignored ones aren't). A change only staged is not dirty: its entry holds the file.
export async function worktree(root) {
  const entries = new Map();
  const dirty = new Set();
  const out = await git(root, ['ls-files', '-z', '-t', '-s', '-c', '-m', '-d', '-o', '--exclude-standard']);
  for (const item of nulList(out)) {
    // "? path" untracked; "C …\tpath" changed, "R …\tpath" removed; otherwise an entry, "M" unmerged.
    const tag = item[0];
    const rest = item.slice(2);
    if (tag === '?') {
      dirty.add(rest);
      continue;
    }
    const tab = rest.indexOf('\t');
    const file = rest.slice(tab + 1);
    if (tag === 'C' || tag === 'R') {
      dirty.add(file);
      continue;
    }
    const [mode, blob] = rest.slice(0, tab).split(' ');
    entries.set(file, { blob, mode: Number.parseInt(mode, 8) });
    if (tag === 'M') dirty.add(file);
  }
  return { entries, dirty: [...dirty] };
}

// The message of a failed git command, in one line a person can act on.
export function gitProblem(error, what) {
  const text = error instanceof GitError ? error.stderr || error.message : String(error && error.message);
  if (/Please tell me who you are|empty ident|unable to auto-detect email/.test(text)) {
    return `${what} failed: git does not know who you are. Set user.name and user.email with git config, then try again.`;
  }
  if (/not installed/.test(text)) return `${what} failed: git is not installed.`;
  const line = text
    .split('\n')
    .map((l) => l.replace(/^(fatal|error):\s*/, '').trim())
    .find((l) => l && !/^hint:/.test(l));
  return `${what} failed: ${line ?? 'git gave no reason'}.`.replace(/\.\.$/, '.');
}

// Keeps .tallyrig/ out of git without touching the user's .gitignore; false outside git.
export async function excludeFolder(folder, entry) {
  let file;
  try {
    file = (await git(folder, ['rev-parse', '--path-format=absolute', '--git-path', 'info/exclude'])).toString('utf8').trim();
  } catch {
    return false;
  }
  const fs = await import('node:fs');
  const path = await import('node:path');
  let text = '';
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch {
    // none yet
  }
  if (text.split('\n').some((line) => line.trim() === entry)) return true;
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.appendFileSync(file, `${text && !text.endsWith('\n') ? '\n' : ''}${entry}\n`);
  return true;
}
