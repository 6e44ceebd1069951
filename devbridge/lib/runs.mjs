import fs from 'node:fs';
import { createRequire } from 'node:module';
import { fillArgs, readAgentConfig } from './agents.mjs';
import { lastLines, readTail, writeAtomic } from './files.mjs';
import { StoreError, WITH_AGENT } from './store.mjs';

export const STOP_GRACE_MS = 3000;
// child_process loads at the first run, not before the bridge listens.
const require = createRequire(import.meta.url);

// Takes dispatched reports to the agent one at a time: a headless command from the project's
// configuration, an MCP client that asks for one, or (for demos and tests) a timer.
export class Runner {
  constructor({ store, review, project, configFile, simulate = false, stepMs = 1500, graceMs = STOP_GRACE_MS, log = () => {} }) {
    Object.assign(this, { store, review, project, configFile, simulate, stepMs, graceMs, log });
    this.current = null;
    this.timers = new Map();
    this.closed = false;
  }

  config() {
    return readAgentConfig(this.configFile);
  }

  // What the dashboard tells about the agent: 'simulate', 'headless' (with its name) or 'mcp'.
  agentInfo() {
    if (this.simulate) return { mode: 'simulate' };
    const config = this.config();
    if (config.agent) return { mode: 'headless', name: config.agent.name, check: Boolean(config.check), relaunch: Boolean(config.relaunch) };
    return { mode: 'mcp', problem: config.problem };
  }

  // Reports left "interrupted" by an earlier bridge keep a record of what their agent changed.
  async recover() {
    for (const report of this.store.interrupted) {
      try {
        await this.review.record(report);
      } catch (error) {
        this.log(`Cannot record the changes of ${report.id}: ${error.message}`);
      }
    }
    this.store.interrupted = [];
    this.kick();
  }

  added(report) {
    if (this.simulate) {
      this.schedule(report);
      return;
    }
    this.store.setStatus(report, 'queued');
    this.kick();
  }

  dispatch(id) {
    const report = this.store.require(id);
    if (report.dispatched) throw new StoreError(409, 'This report is already with the agent');
    if (report.status !== 'sent' && report.status !== 'queued') {
      throw new StoreError(409, `A report in "${report.status}" cannot be dispatched`);
    }
    report.dispatched = true;
    this.store.save(report);
    if (this.simulate && !this.timers.has(report.id)) this.schedule(report);
    this.kick();
    return report;
  }

  kick() {
    if (this.simulate || this.current || this.closed) return;
    const next = this.store.nextQueued();
    if (!next) return;
    const config = this.config();
    if (!config.agent) return; // waits for an MCP client's next_report
    const run = { report: next, child: null, stopped: false };
    this.current = run;
    run.done = this.run(run, config)
      .catch((error) => {
        this.log(`Run of ${next.id} failed: ${error.stack ?? error}`);
        if (WITH_AGENT.has(next.status)) this.fail(next, 'agent', null, `The bridge could not finish the run: ${error.message}`);
      })
      .finally(() => {
        this.current = null;
        setImmediate(() => this.kick());
      });
  }

  async prepare(report, taken) {
    report.taken = taken;
    delete report.failure;
    this.store.setStatus(report, 'fixing');
    const files = this.store.paths(report.id);
    const [{ whereToLook }, { agentPrompt, pinsOf }] = await Promise.all([import('./places.mjs'), import('./prompt.mjs')]);
    const [, places] = await Promise.all([
      this.review.snapshot(report),
      whereToLook(this.project, pinsOf(report).map((pin) => pin.element ?? null)),
    ]);
    report.places = places;
    this.store.save(report);
    // An MCP client is handed the report itself; only a headless agent reads a prompt.
    if (taken !== 'agent') return null;
    const prompt = agentPrompt(report, {
      screenshot: report.hasScreenshot ? files.screenshot : null,
      annotated: report.hasAnnotatedScreenshot ? files.annotated : null,
      places,
    });
    writeAtomic(files.prompt, prompt);
    return prompt;
  }

  async run(run, config) {
    const { report } = run;
    const files = this.store.paths(report.id);
    const prompt = await this.prepare(report, 'agent');
    if (run.stopped) return this.finishStopped(report);
    const values = {
      prompt,
      promptFile: files.prompt,
      screenshot: report.hasScreenshot ? files.screenshot : '',
      annotated: report.hasAnnotatedScreenshot ? files.annotated : files.screenshot,
    };
    const steps = [['agent', 'fixing', { ...config.agent, args: fillArgs(config.agent.args, values) }]];
    if (config.check) steps.push(['check', 'checking', config.check]);
    for (const [step, status, program] of steps) {
      if (status !== report.status) this.store.setStatus(report, status);
      const outcome = await this.exec(run, program, files.log);
      if (step === 'agent') await this.review.record(report);
      if (run.stopped) return this.finishStopped(report);
      if (outcome.code !== 0) return this.fail(report, step, outcome, readTail(files.log));
    }
    // Read now, so a change of the setting applies to a run in flight.
    if (this.store.settings.autoRelaunch && config.relaunch) {
      this.store.setStatus(report, 'rebuilding');
      const outcome = await this.exec(run, config.relaunch, files.log);
      if (run.stopped) return this.finishStopped(report);
      if (outcome.code !== 0) return this.fail(report, 'relaunch', outcome, readTail(files.log));
    }
    this.store.setStatus(report, 'review');
  }

  // Runs one command in the project's root in a process group of its own, its output appended to the log.
  exec(run, program, logFile) {
    const { spawn } = require('node:child_process');
    return new Promise((resolve) => {
      fs.appendFileSync(logFile, `\n$ ${[program.command, ...program.args].map(shellWord).join(' ').slice(0, 2000)}\n`);
      const fd = fs.openSync(logFile, 'a');
      let child;
      try {
        child = spawn(program.command, program.args, {
          cwd: this.project,
          detached: true,
          stdio: ['ignore', fd, fd],
          env: { ...process.env, TALLYRIG_REPORT_ID: run.report.id, TALLYRIG_PROMPT_FILE: this.store.paths(run.report.id).prompt },
        });
      } catch (error) {
        fs.closeSync(fd);
        resolve({ code: -1, error: `Cannot start ${program.command}: ${error.message}` });
        return;
      }
      fs.closeSync(fd);
      run.child = child;
      child.once('error', (error) => {
        const text = error.code === 'ENOENT' ? `${program.command} was not found; check the command in tallyrig.config.json` : `Cannot start ${program.command}: ${error.message}`;
        fs.appendFileSync(logFile, `${text}\n`);
        resolve({ code: -1, error: text });
      });
      child.once('exit', (code, signal) => {
        run.child = null;
        resolve({ code: code ?? -1, signal });
      });
    });
  }

  fail(report, step, outcome, log) {
    const exit = outcome && outcome.signal ? `ended by ${outcome.signal}` : outcome ? `exited with status ${outcome.code}` : 'failed';
    const what = { agent: 'The agent', check: 'The check', relaunch: 'The relaunch' }[step];
    this.store.setStatus(report, 'failed', { failure: { step, message: `${what} ${exit}`, lines: lastLines(log) } });
  }

  finishStopped(report) {
    this.store.setStatus(report, 'stopped');
  }

  // Ends the agent's whole process group (SIGTERM, then SIGKILL), or takes back a waiting report.
  async stop(id) {
    const report = this.store.require(id);
    const run = this.current && this.current.report.id === id ? this.current : null;
    if (run) {
      run.stopped = true;
      const child = run.child;
      if (child && child.pid) {
        killGroup(child.pid, 'SIGTERM');
        const timer = setTimeout(() => killGroup(child.pid, 'SIGKILL'), this.graceMs);
        await run.done;
        clearTimeout(timer);
      } else {
        await run.done;
      }
      return report;
    }
    if (report.status === 'sent' || report.status === 'queued') {
      this.clearTimer(id);
      this.store.setStatus(report, 'stopped');
      return report;
    }
    if (WITH_AGENT.has(report.status)) {
      this.clearTimer(id);
      if (!this.simulate) await this.review.record(report);
      this.store.setStatus(report, 'stopped');
      return report;
    }
    throw new StoreError(409, `A report in "${report.status}" is not with an agent`);
  }

  // An MCP client takes the oldest dispatched report nobody has taken.
  async take() {
    if (this.simulate) return null;
    const report = this.store.nextQueued();
    if (!report) return null;
    await this.prepare(report, 'mcp');
    return report;
  }

  progress(id, status) {
    const report = this.heldByMcp(id);
    if (report.status !== status) this.store.setStatus(report, status);
    return report;
  }

  async finish(id, summary) {
    const report = this.heldByMcp(id);
    await this.review.record(report);
    this.store.setStatus(report, 'review', { summary });
    setImmediate(() => this.kick());
    return report;
  }

  heldByMcp(id) {
    const report = this.store.require(id);
    if (report.taken !== 'mcp' || !WITH_AGENT.has(report.status)) {
      throw new StoreError(409, `This report is not with an MCP agent; it is "${report.status}"`);
    }
    return report;
  }

  clearTimer(id) {
    clearTimeout(this.timers.get(id));
    this.timers.delete(id);
  }

  // The simulated agent: one step per interval, changing no file.
  schedule(report) {
    const timer = setTimeout(() => {
      this.timers.delete(report.id);
      const next = this.nextSimulated(report);
      if (!next) return;
      this.store.setStatus(report, next);
      if (next !== 'review') this.schedule(report);
    }, this.stepMs);
    this.timers.set(report.id, timer);
  }

  nextSimulated(report) {
    switch (report.status) {
      case 'sent':
        return 'queued';
      case 'queued':
        return report.dispatched ? 'fixing' : null;
      case 'fixing':
        return 'checking';
      case 'checking':
        return this.store.settings.autoRelaunch ? 'rebuilding' : 'review';
      case 'rebuilding':
        return 'review';
      default:
        return null;
    }
  }

  // The bridge is going away: its agent goes too, and the report reads "interrupted" next time.
  close() {
    this.closed = true;
    for (const timer of this.timers.values()) clearTimeout(timer);
    this.timers.clear();
    if (this.current && this.current.child && this.current.child.pid) killGroup(this.current.child.pid, 'SIGTERM');
  }
}

function killGroup(pid, signal) {
  try {
    process.kill(-pid, signal);
  } catch {
    // already gone
  }
}

function shellWord(word) {
  return /^[\w@%+=:,./-]+$/.test(word) ? word : `'${word.replace(/'/g, "'\\''").replace(/\n/g, '\\n')}'`;
}
