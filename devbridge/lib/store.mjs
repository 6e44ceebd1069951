import { randomUUID } from 'node:crypto';

export const REVIEW_ACTIONS = { commit: 'committed', verify: 'verified', revert: 'reverted' };

export class StoreError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

// Reports live in memory for the life of the bridge; a simulated agent walks
// each dispatched report through its steps, one step per interval.
export class ReportStore {
  constructor({ stepMs, log = () => {} }) {
    this.stepMs = stepMs;
    this.log = log;
    this.settings = { autoDispatch: true, autoRelaunch: true };
    this.reports = new Map();
    this.screenshots = new Map();
    this.annotated = new Map();
    this.timers = new Map();
    this.sequence = 0;
  }

  setSetting(key, value) {
    this.settings[key] = value;
    return { ...this.settings };
  }

  add(fields, screenshot, annotated = null) {
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
    Object.defineProperty(report, 'sequence', { value: ++this.sequence });
    this.reports.set(report.id, report);
    if (screenshot) this.screenshots.set(report.id, screenshot);
    if (annotated) this.annotated.set(report.id, annotated);
    this.log(`Report ${report.id} received: ${oneLine(report.comment)}`);
    // Every report is queued a step later; only a dispatched one goes on from there.
    this.schedule(report);
    return report;
  }

  get(id) {
    return this.reports.get(id);
  }

  require(id) {
    const report = this.reports.get(id);
    if (!report) throw new StoreError(404, `No report with id ${JSON.stringify(truncate(id))}`);
    return report;
  }

  screenshot(id) {
    return this.screenshots.get(id);
  }

  annotatedScreenshot(id) {
    return this.annotated.get(id);
  }

  summaries() {
    return [...this.reports.values()]
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
  }

  dispatch(id) {
    const report = this.require(id);
    if (report.dispatched) throw new StoreError(409, 'This report is already with the agent');
    if (report.status !== 'sent' && report.status !== 'queued') {
      throw new StoreError(409, `A report in "${report.status}" cannot be dispatched`);
    }
    report.dispatched = true;
    // A report still in "sent" has its step to "queued" pending and goes on from there.
    if (!this.timers.has(report.id)) this.schedule(report);
    return report;
  }

  act(id, action) {
    const report = this.require(id);
    if (report.status !== 'review') {
      throw new StoreError(409, `Only a report in review can be changed; this one is "${report.status}"`);
    }
    this.setStatus(report, REVIEW_ACTIONS[action]);
    return report;
  }

  close() {
    for (const timer of this.timers.values()) clearTimeout(timer);
    this.timers.clear();
  }

  schedule(report) {
    const timer = setTimeout(() => {
      this.timers.delete(report.id);
      const next = this.nextStatus(report);
      if (!next) return;
      this.setStatus(report, next);
      if (next !== 'review') this.schedule(report);
    }, this.stepMs);
    this.timers.set(report.id, timer);
  }

  // autoRelaunch is read when the step is taken, so a change applies to reports in flight.
  nextStatus(report) {
    switch (report.status) {
      case 'sent':
        return 'queued';
      case 'queued':
        return report.dispatched ? 'fixing' : null;
      case 'fixing':
        return 'checking';
      case 'checking':
        return this.settings.autoRelaunch ? 'rebuilding' : 'review';
      case 'rebuilding':
        return 'review';
      default:
        return null;
    }
  }

  setStatus(report, status) {
    const now = new Date().toISOString();
    report.status = status;
    report.updatedAt = now;
    report.history.push({ status, at: now });
    this.log(`Report ${report.id} ${status}`);
  }
}

function truncate(text, max = 80) {
  return text.length > max ? `${text.slice(0, max)}…` : text;
}

function oneLine(text) {
  return truncate(text.replace(/\s+/g, ' ').trim());
}
