import { randomUUID } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { ensureDir, readJson, writeAtomicAsync, writeJson } from './files.mjs';

export const REVIEW_ACTIONS = { commit: 'committed', verify: 'verified', revert: 'reverted' };
// Statuses in which an agent process or an MCP client holds the report.
export const WITH_AGENT = new Set(['fixing', 'checking', 'rebuilding']);

const ID = /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/;

export class StoreError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

// Each report is a folder under .tallyrig/reports; the whole set of records stays in memory
// (a few kilobytes each) and the pictures stay on disk.
export class ReportStore {
  constructor({ project, log = () => {} }) {
    this.project = project;
    this.log = log;
    this.root = path.join(project, '.tallyrig');
    this.folder = path.join(this.root, 'reports');
    this.reports = new Map();
    this.sequence = 0;
    this.listCache = null;
    this.settings = { autoDispatch: true, autoRelaunch: true };
    this.interrupted = [];
  }

  // Reads what an earlier bridge left; a report it left with an agent is "interrupted".
  load() {
    ensureDir(this.folder);
    const saved = readJson(path.join(this.root, 'settings.json'));
    for (const key of Object.keys(this.settings)) {
      if (saved && typeof saved[key] === 'boolean') this.settings[key] = saved[key];
    }
    const found = [];
    for (const name of fs.readdirSync(this.folder)) {
      if (!ID.test(name)) continue;
      const report = readJson(path.join(this.folder, name, 'report.json'));
      if (!report || report.id !== name || typeof report.status !== 'string' || typeof report.createdAt !== 'string') {
        this.log(`Skipping ${path.join(this.folder, name)}: its report.json is unreadable`);
        continue;
      }
      found.push(report);
    }
    found.sort((a, b) => (a.createdAt < b.createdAt ? -1 : a.createdAt > b.createdAt ? 1 : 0));
    for (const report of found) {
      this.track(report);
      if (WITH_AGENT.has(report.status)) {
        this.setStatus(report, 'interrupted');
        this.interrupted.push(report);
      }
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

  // Pictures are written while the event loop goes on; the answer waits for them.
  async add(fields, screenshot, annotated = null) {
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
    ensureDir(files.dir);
    await Promise.all([
      screenshot && writeAtomicAsync(files.screenshot, screenshot),
      annotated && writeAtomicAsync(files.annotated, annotated),
    ]);
    this.save(report);
    this.track(report);
    this.log(`Report ${report.id} received: ${oneLine(report.comment)}`);
    return report;
  }

  save(report) {
    writeJson(this.paths(report.id).record, report);
    this.listCache = null;
  }

  get(id) {
    return this.reports.get(id);
  }

  require(id) {
    const report = this.reports.get(id);
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
        .map((r) => ({
          id: r.id,
          status: r.status,
          createdAt: r.createdAt,
          updatedAt: r.updatedAt,
          comment: r.comment,
          screen: r.screen,
          device: r.device,
          category: r.category ?? null,
          elementName: r.element ? r.element.name : null,
        }));
      this.listCache = JSON.stringify(list);
    }
    return this.listCache;
  }

  // The oldest dispatched report that waits for an agent.
  nextQueued() {
    let next = null;
    for (const report of this.reports.values()) {
      if (report.status !== 'queued' || !report.dispatched) continue;
      if (!next || report.sequence < next.sequence) next = report;
    }
    return next;
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

export function truncate(text, max = 80) {
  return text.length > max ? `${text.slice(0, max)}…` : text;
}

function oneLine(text) {
  return truncate(text.replace(/\s+/g, ' ').trim());
}
