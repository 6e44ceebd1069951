import fs from 'node:fs';
import path from 'node:path';
import { ensureDir, fileState, readJson, writeAtomic, writeJson } from './files.mjs';
import { git, gitProblem, topLevel, worktree } from './git.mjs';
import { StoreError } from './store.mjs';

// What one run keeps in copies: every file outside git, or the files with uncommitted changes.
const PLAIN_COPY_LIMIT = 64 * 1024 * 1024;

// What the working tree held before an agent ran, what it changed, and putting it back or
// committing exactly that.
export class Review {
  constructor({ store, project }) {
    this.store = store;
    this.project = project;
  }

  skip(root, relative) {
    const own = path.relative(root, this.store.root);
    return relative === own || relative.startsWith(`${own}/`) || relative === '.git' || relative.startsWith('.git/');
  }

  // Each file's hash, and a copy of every file that already differed from what git holds.
  async snapshot(report) {
    const files = this.store.paths(report.id);
    fs.rmSync(files.baseline, { recursive: true, force: true });
    const root = await topLevel(this.project);
    const snap = root ? await this.gitSnapshot(root, files.baseline) : this.plainSnapshot(files.baseline);
    writeJson(files.snapshot, snap);
    return snap;
  }

  async gitSnapshot(root, baseline) {
    const tree = await worktree(root);
    const entries = tree.entries;
    const dirty = tree.dirty.filter((p) => !this.skip(root, p));
    const state = {};
    for (const [p, { blob, mode }] of entries) state[p] = { hash: blob, mode, blob };
    let n = 0;
    let copied = 0;
    for (const p of dirty) {
      const now = fileState(path.join(root, p));
      if (!now) {
        state[p] = null;
        continue;
      }
      // A huge untracked file is hashed but not copied: reverting it then says so.
      const size = now.link ? 0 : fs.statSync(path.join(root, p)).size;
      if (copied + size > PLAIN_COPY_LIMIT) {
        state[p] = { ...now };
        continue;
      }
      copied += size;
      const copy = String(++n);
      ensureDir(baseline);
      if (now.link) writeAtomic(path.join(baseline, copy), fs.readlinkSync(path.join(root, p)));
      else fs.copyFileSync(path.join(root, p), path.join(baseline, copy));
      state[p] = { ...now, copy };
    }
    return { git: true, root, dirty, files: state };
  }

  plainSnapshot(baseline) {
    const root = this.project;
    const state = {};
    let copied = 0;
    let n = 0;
    for (const p of this.walk(root)) {
      const full = path.join(root, p);
      const now = fileState(full);
      if (!now) continue;
      const entry = { ...now };
      const size = now.link ? 0 : fs.statSync(full).size;
      if (copied + size <= PLAIN_COPY_LIMIT) {
        entry.copy = String(++n);
        ensureDir(baseline);
        if (now.link) writeAtomic(path.join(baseline, entry.copy), fs.readlinkSync(full));
        else fs.copyFileSync(full, path.join(baseline, entry.copy));
        copied += size;
      }
      state[p] = entry;
    }
    return { git: false, root, dirty: [], files: state };
  }

  *walk(root, relative = '') {
    let items;
    try {
      items = fs.readdirSync(path.join(root, relative), { withFileTypes: true });
    } catch {
      return;
    }
    for (const item of items) {
      const p = relative ? `${relative}/${item.name}` : item.name;
      if (this.skip(root, p)) continue;
      if (item.isDirectory()) yield* this.walk(root, p);
      else yield p;
    }
  }

  // The files the agent added, changed or deleted since the snapshot; written beside the report.
  async record(report) {
    const files = this.store.paths(report.id);
    const snap = readJson(files.snapshot);
    if (!snap) return [];
    let candidates;
    if (snap.git) {
      const { entries: now, dirty } = await worktree(snap.root).catch(() => ({ entries: new Map(), dirty: [] }));
      candidates = new Set([...snap.dirty, ...dirty]);
      for (const [p, entry] of now) if (!snap.files[p] || snap.files[p].blob !== entry.blob) candidates.add(p);
      for (const p of Object.keys(snap.files)) if (snap.files[p] && snap.files[p].blob && !now.has(p)) candidates.add(p);
    } else {
      candidates = new Set([...Object.keys(snap.files), ...this.walk(snap.root)]);
    }
    const changes = [];
    for (const p of [...candidates].sort()) {
      if (this.skip(snap.root, p)) continue;
      const before = Object.hasOwn(snap.files, p) ? snap.files[p] : null;
      const after = fileState(path.join(snap.root, p));
      if ((before && before.hash) === (after && after.hash)) continue;
      changes.push({ path: p, kind: !before ? 'added' : !after ? 'deleted' : 'changed', before, after });
    }
    writeJson(files.changes, { git: snap.git, root: snap.root, changes });
    report.changes = changes.map(({ path: p, kind }) => ({ path: p, kind }));
    this.store.save(report);
    return report.changes;
  }

  readRecord(report) {
    const record = readJson(this.store.paths(report.id).changes);
    return record && Array.isArray(record.changes) ? record : { git: false, root: this.project, changes: [] };
  }

  // Stages exactly the agent's files and commits them; everything else stays as it is.
  async commit(report) {
    const record = this.readRecord(report);
    if (record.changes.length === 0) return null;
    if (!record.git || !(await topLevel(record.root))) {
      throw new StoreError(409, 'This folder is not a git repository, so nothing can be committed. Commit the change yourself, or choose “I’ll commit”.');
    }
    const root = record.root;
    const paths = record.changes.map((c) => c.path);
    try {
      const present = paths.filter((p) => fs.existsSync(path.join(root, p)) || isLink(path.join(root, p)));
      if (present.length) await git(root, ['add', '--', ...present]);
      const known = new Set([
        ...(await git(root, ['ls-files', '-z', '--', ...paths])).toString('utf8').split('\0'),
        ...(await git(root, ['ls-tree', '-r', '-z', '--name-only', 'HEAD', '--', ...paths]).catch(() => Buffer.alloc(0)))
          .toString('utf8')
          .split('\0'),
      ]);
      const chosen = paths.filter((p) => known.has(p));
      if (chosen.length === 0) return null;
      const subject = report.comment.trim().split('\n')[0].trim() || 'Tallyrig change';
      await git(root, ['commit', '--only', '-m', subject, '-m', `Tallyrig report ${report.id}`, '--', ...chosen]);
      return (await git(root, ['rev-parse', 'HEAD'])).toString('utf8').trim();
    } catch (error) {
      if (error instanceof StoreError) throw error;
      throw new StoreError(409, gitProblem(error, 'Commit'));
    }
  }

  // Puts back exactly the agent's files; refuses when the user changed one since.
  async revert(report) {
    const record = this.readRecord(report);
    const root = record.root;
    for (const change of record.changes) {
      const now = fileState(path.join(root, change.path));
      if ((now && now.hash) !== (change.after && change.after.hash)) {
        throw new StoreError(409, `${change.path} was changed after the agent finished; nothing was reverted. Put it back by hand, or commit it.`);
      }
    }
    const baseline = this.store.paths(report.id).baseline;
    const contents = [];
    for (const change of record.changes) {
      const before = change.before;
      if (!before) contents.push(null);
      else if (before.copy) contents.push(fs.readFileSync(path.join(baseline, before.copy)));
      else if (before.blob) contents.push(await git(root, ['cat-file', 'blob', before.blob]));
      else throw new StoreError(409, `${change.path} was too large to keep a copy of; nothing was reverted.`);
    }
    record.changes.forEach((change, i) => {
      const file = path.join(root, change.path);
      const before = change.before;
      fs.rmSync(file, { force: true });
      if (!before) return;
      ensureDir(path.dirname(file));
      if (before.mode === 0o120000) fs.symlinkSync(contents[i].toString('utf8'), file);
      else writeAtomic(file, contents[i], before.mode & 0o111 ? 0o755 : 0o644);
    });
    return record.changes.length;
  }
}

function isLink(file) {
  try {
    return fs.lstatSync(file).isSymbolicLink();
  } catch {
    return false;
  }
}

const DIFF_LIMIT = 512 * 1024;

// The agent's change as a unified diff: the recorded content against the file as it is now.
Review.prototype.diff = async function diff(report) {
  const record = this.readRecord(report);
  const baseline = this.store.paths(report.id).baseline;
  const scratch = fs.mkdtempSync(path.join(this.store.root, 'diff-'));
  const parts = [];
  try {
    for (const change of record.changes) {
      const before = path.join(scratch, 'before');
      const after = path.join(scratch, 'after');
      let old = Buffer.alloc(0);
      if (change.before && change.before.copy) old = fs.readFileSync(path.join(baseline, change.before.copy));
      else if (change.before && change.before.blob) old = await git(record.root, ['cat-file', 'blob', change.before.blob]).catch(() => Buffer.alloc(0));
      fs.writeFileSync(before, old);
      let now = Buffer.alloc(0);
      try {
        now = fs.readFileSync(path.join(record.root, change.path));
      } catch {
        // deleted
      }
      fs.writeFileSync(after, now);
      const out = await gitDiff(scratch);
      const body = out.slice(out.indexOf('\n@@') + 1);
      const header = `--- ${change.kind === 'added' ? '/dev/null' : `a/${change.path}`}\n+++ ${change.kind === 'deleted' ? '/dev/null' : `b/${change.path}`}\n`;
      parts.push(out.includes('Binary files') ? `${header}Binary file ${change.kind}\n` : header + (out.includes('\n@@') || out.startsWith('@@') ? body : ''));
      if (parts.join('').length > DIFF_LIMIT) {
        parts.push('… (the rest of the diff is too long to show)\n');
        break;
      }
    }
  } finally {
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  return parts.join('');
};

function gitDiff(folder) {
  return git(folder, ['diff', '--no-index', '--no-color', '--no-ext-diff', '--', 'before', 'after'])
    .then((out) => out.toString('utf8'))
    .catch((error) => (error.stdout ? error.stdout.toString('utf8') : ''));
}
