import fs from 'node:fs';
import path from 'node:path';
import { ensureDir, jsonText, readJson, tempName, writeAtomic, writeFileAsync, writeJson } from './files.mjs';

export const REVIEW_ACTIONS = { commit: 'committed', verify: 'verified', revert: 'reverted' };
// Statuses in which an agent process or an MCP client holds the report.
export const WITH_AGENT = new Set(['fixing', 'checking', 'rebuilding']);

const ID = /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/;
// How long after a change the index is written again; changes meanwhile go with it.
const INDEX_DELAY_MS = 1000;

export class StoreError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

// Each report is a folder under .tallyrig/reports; its record stays in memory once read (a few
// kilobytes) and the pictures stay on disk.
//
// Beside the folders, index.json holds what the list and the queue need of each report, so a start
// reads one small file rather than every record; a record is read when its report is first asked
// for. The index is removed before any record on disk changes and written again from memory a
// moment later, so while it is there it is current; a start reads the folders instead when it is
// missing, unreadable, or does not list exactly the folders there are.
export class ReportStore {
  constructor({ project, log = () => {} }) {
    this.project = project;
    this.log = log;
    this.root = path.join(project, '.tallyrig');
    this.folder = path.join(this.root, 'reports');
    this.indexFile = path.join(this.folder, 'index.json');
    this.reports = new Map();
    // Reports known only from the index so far.
    this.briefs = new WeakSet();
    this.sequence = 0;
    this.listCache = null;
    this.settings = { autoDispatch: true, autoRelaunch: true };
    this.interrupted = [];
    // Folders whose report.json cannot be read; the index names them so they cost no full read.
    this.unreadable = [];
    // `indexed`: the index on disk holds what memory holds. `indexOnDisk`: there may be one at all.
    this.indexed = false;
    this.indexOnDisk = true;
    this.generation = 0;
    this.indexTimer = null;
    this.closed = false;
  }

  // Reads what an earlier bridge left; a report it left with an agent is "interrupted".
  load() {
    ensureDir(this.folder);
    const saved = readJson(path.join(this.root, 'settings.json'));
    for (const key of Object.keys(this.settings)) {
      if (saved && typeof saved[key] === 'boolean') this.settings[key] = saved[key];
    }
    const names = fs.readdirSync(this.folder).filter((name) => ID.test(name));
    const found = this.readIndex(names) ?? this.readFolders(names);
    for (const name of this.unreadable) this.log(`Skipping ${path.join(this.folder, name)}: its report.json is unreadable`);
    for (const report of found) this.track(report);
    for (const brief of found) {
      if (!WITH_AGENT.has(brief.status)) continue;
      const report = this.complete(brief);
      if (!report) continue;
      this.setStatus(report, 'interrupted');
      this.interrupted.push(report);
    }
    this.indexLater();
  }

  // The index's briefs in their order, or null when it does not account for exactly `names`.
  readIndex(names) {
    const index = readJson(this.indexFile);
    if (!index || !Array.isArray(index.reports) || !Array.isArray(index.unreadable)) return null;
    if (index.reports.length + index.unreadable.length !== names.length) return null;
    const left = new Set(names);
    for (const brief of index.reports) if (!isRecord(brief) || !left.delete(brief.id)) return null;
    for (const name of index.unreadable) if (!left.delete(name)) return null;
    for (const brief of index.reports) this.briefs.add(brief);
    this.unreadable = index.unreadable;
    this.indexed = true;
    return index.reports;
  }

  // The full record of a report known from the index, read once; null when it is gone, as a start
  // that read the folders would not have listed it.
  complete(report) {
    if (!report || !this.briefs.has(report)) return report;
    const full = readJson(this.paths(report.id).record);
    if (!isRecord(full) || full.id !== report.id) {
      this.log(`Skipping ${this.paths(report.id).dir}: its report.json is unreadable`);
      this.reports.delete(report.id);
      this.unreadable.push(report.id);
      this.indexed = false;
      this.changed();
      return null;
    }
    Object.defineProperty(full, 'sequence', { value: report.sequence, enumerable: false });
    this.reports.set(full.id, full);
    return full;
  }

  readFolders(names) {
    const found = [];
    for (const name of names) {
      const report = readJson(path.join(this.folder, name, 'report.json'));
      if (isRecord(report) && report.id === name) found.push(report);
      else this.unreadable.push(name);
    }
    return found.sort((a, b) => (a.createdAt < b.createdAt ? -1 : a.createdAt > b.createdAt ? 1 : 0));
  }

  // Before a record on disk changes, an index that may hold its old state goes.
  unindex() {
    this.indexed = false;
    if (!this.indexOnDisk) return;
    fs.rmSync(this.indexFile, { force: true });
    this.indexOnDisk = false;
  }

  changed() {
    this.listCache = null;
    this.generation++;
    this.indexLater();
  }

  indexLater() {
    if (this.indexed || this.indexTimer || this.closed) return;
    this.indexTimer = setTimeout(() => {
      this.indexTimer = null;
      this.writeIndex().catch((error) => this.log(`Cannot write ${this.indexFile}: ${error.message}`));
    }, INDEX_DELAY_MS);
    this.indexTimer.unref();
  }

  indexText() {
    const reports = [...this.reports.values()].map((r) => (this.briefs.has(r) ? r : briefOf(r)));
    return JSON.stringify({ reports, unreadable: this.unreadable });
  }

  async writeIndex() {
    if (this.indexed || this.closed) return;
    const generation = this.generation;
    const temp = tempName(this.indexFile);
    try {
      await writeFileAsync(temp, this.indexText());
    } catch (error) {
      await fs.promises.rm(temp, { force: true });
      throw error;
    }
    // A record written meanwhile is newer than this index; so is one written by close().
    if (generation !== this.generation || this.indexed || this.closed) {
      await fs.promises.rm(temp, { force: true });
      this.indexLater();
      return;
    }
    // In the same turn as the check: no record can change between them.
    fs.renameSync(temp, this.indexFile);
    this.indexed = true;
    this.indexOnDisk = true;
  }

  // The bridge is going away: the index is brought up to date so the next start can use it.
  close() {
    this.closed = true;
    clearTimeout(this.indexTimer);
    this.indexTimer = null;
    if (this.indexed) return;
    try {
      writeAtomic(this.indexFile, this.indexText());
      this.indexed = true;
      this.indexOnDisk = true;
    } catch (error) {
      this.log(`Cannot write ${this.indexFile}: ${error.message}`);
    }
  }

  track(report) {
    Object.defineProperty(report, 'sequence', { value: ++this.sequence, enumerable: false });
    this.reports.set(report.id, report);
    this.listCache = null;
  }

  paths(id) {
    const dir = path.join(this.folder, id);
    return {
      dir,
      record: path.join(dir, 'report.json'),
      screenshot: path.join(dir, 'screenshot.png'),
      annotated: path.join(dir, 'annotated.png'),
      prompt: path.join(dir, 'prompt.md'),
      log: path.join(dir, 'agent.log'),
      snapshot: path.join(dir, 'snapshot.json'),
      changes: path.join(dir, 'changes.json'),
      baseline: path.join(dir, 'baseline'),
    };
  }

  setSetting(key, value) {
    this.settings[key] = value;
    writeJson(path.join(this.root, 'settings.json'), this.settings);
    return { ...this.settings };
  }

  // The report's folder is written under another name and renamed into place once whole, without
  // holding up the event loop: a start finds each report complete or not at all.
  async add(fields, screenshot, annotated = null) {
    const { randomUUID } = await import('node:crypto');
    const now = new Date().toISOString();
    const report = {
      id: randomUUID(),
      status: 'sent',
      createdAt: now,
      updatedAt: now,
      ...fields,
      hasScreenshot: Boolean(screenshot),
      hasAnnotatedScreenshot: Boolean(annotated),
      dispatched: Boolean(this.settings.autoDispatch),
      history: [{ status: 'sent', at: now }],
    };
    const files = this.paths(report.id);
    const temp = tempName(files.dir);
    const inside = (file) => path.join(temp, path.basename(file));
    try {
      await fs.promises.mkdir(temp, { recursive: true });
      await Promise.all([
        screenshot && writeFileAsync(inside(files.screenshot), screenshot),
        annotated && writeFileAsync(inside(files.annotated), annotated),
        writeFileAsync(inside(files.record), jsonText(report)),
      ]);
      await fs.promises.rename(temp, files.dir);
    } catch (error) {
      await fs.promises.rm(temp, { recursive: true, force: true });
      throw error;
    }
    // An index on disk may stay: it lacks this folder, and a start that finds a folder the index
    // does not name reads the folders.
    this.track(report);
    this.indexed = false;
    this.changed();
    this.log(`Report ${report.id} received: ${oneLine(report.comment)}`);
    return report;
  }

  save(report) {
    this.unindex();
    writeJson(this.paths(report.id).record, report);
    this.changed();
  }

  get(id) {
    return this.complete(this.reports.get(id));
  }

  require(id) {
    const report = this.get(id);
    if (!report) throw new StoreError(404, `No report with id ${JSON.stringify(truncate(id))}`);
    return report;
  }

  async picture(id, which) {
    const report = this.require(id);
    const has = which === 'screenshot' ? report.hasScreenshot : report.hasAnnotatedScreenshot;
    if (!has) return null;
    try {
      return await fs.promises.readFile(this.paths(id)[which]);
    } catch {
      return null;
    }
  }

  // The app polls this every few seconds: one text, made again only after a change.
  summariesText() {
    if (this.listCache === null) {
      const list = [...this.reports.values()]
        .sort((a, b) => (a.createdAt === b.createdAt ? b.sequence - a.sequence : a.createdAt < b.createdAt ? 1 : -1))
        .map((r) => {
          const { dispatched, ...summary } = this.briefs.has(r) ? r : briefOf(r);
          return summary;
        });
      this.listCache = JSON.stringify(list);
    }
    return this.listCache;
  }

  // The oldest dispatched report that waits for an agent.
  nextQueued() {
    for (;;) {
      let next = null;
      for (const report of this.reports.values()) {
        if (report.status !== 'queued' || !report.dispatched) continue;
        if (!next || report.sequence < next.sequence) next = report;
      }
      if (!next) return null;
      const report = this.complete(next);
      if (report) return report;
    }
  }

  setStatus(report, status, extra = {}) {
    const now = new Date().toISOString();
    Object.assign(report, extra);
    report.status = status;
    report.updatedAt = now;
    report.history.push({ status, at: now });
    this.save(report);
    this.log(`Report ${report.id} ${status}`);
  }
}

// What the list shows of a report, and whether it was dispatched: all the index holds of it.
function briefOf(r) {
  return {
    id: r.id,
    status: r.status,
    createdAt: r.createdAt,
    updatedAt: r.updatedAt,
    comment: r.comment,
    screen: r.screen,
    device: r.device,
    category: r.category ?? null,
    elementName: r.element ? r.element.name : null,
    dispatched: Boolean(r.dispatched),
  };
}

function isRecord(report) {
  return report !== null && typeof report === 'object' && typeof report.id === 'string' && typeof report.status === 'string' && typeof report.createdAt === 'string';
}

export function truncate(text, max = 80) {
  return text.length > max ? `${text.slice(0, max)}…` : text;
}

function oneLine(text) {
  return truncate(text.replace(/\s+/g, ' ').trim());
}
