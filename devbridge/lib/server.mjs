import http from 'node:http';
import { HttpError, JSON_TYPE, checkCaller, decodeSegment, readJson, sendJson } from './http.mjs';
import { Review } from './review.mjs';
import { Runner } from './runs.mjs';
import { REVIEW_ACTIONS, ReportStore, StoreError } from './store.mjs';

// Modules only some requests need load at the first of them: each one loaded before the bridge
// listens delays its answer to the app.
const later = {
  page: () => import('./page.mjs'),
  places: () => import('./places.mjs'),
  prompt: () => import('./prompt.mjs'),
  handoff: () => import('./handoff.mjs'),
};

async function validated(body, options) {
  const { ValidationError, validateReport } = await import('./validate.mjs');
  try {
    return validateReport(body, options);
  } catch (error) {
    throw error instanceof ValidationError ? new HttpError(400, error.message) : error;
  }
}

export const VERSION = '0.1.0';
export { BODY_LIMIT } from './http.mjs';

// simulate: the timer agent of demos and tests instead of a real one.
export function createBridge({ project, configFile = null, stepMs, simulate = false, graceMs, log = () => {} }) {
  const store = new ReportStore({ project, log });
  store.load();
  const review = new Review({ store, project });
  const runner = new Runner({ store, review, project, configFile, simulate, stepMs, graceMs, log });
  const ready = runner.recover();
  const busy = new Set();

  // One review action or stop at a time per report: a double click must not revert twice.
  async function exclusive(id, work) {
    if (busy.has(id)) throw new StoreError(409, 'Another action on this report is still running');
    busy.add(id);
    try {
      return await work();
    } finally {
      busy.delete(id);
    }
  }

  async function act(id, action) {
    const report = store.require(id);
    const revertable = ['review', 'interrupted', 'failed', 'stopped'];
    if (action === 'revert' ? !revertable.includes(report.status) : report.status !== 'review') {
      throw new StoreError(409, `Only a report in review can be changed; this one is "${report.status}"`);
    }
    const extra = {};
    if (action === 'commit') extra.commit = await review.commit(report);
    if (action === 'revert') await review.revert(report);
    store.setStatus(report, REVIEW_ACTIONS[action], extra);
    return report;
  }

  async function packet(report) {
    const { markdown } = await later.prompt();
    const lines = [`A UI change was requested in the iOS app, on the simulator "${report.device}" (${report.viewport} points).`];
    lines.push(`Screen: ${report.screen}`);
    if (report.element) {
      const { name, type, frame } = report.element;
      lines.push(`Element: ${name} (${type}) at x ${frame.x}, y ${frame.y}, ${frame.width} × ${frame.height} points`);
      if (report.element.identifier) lines.push(`Accessibility identifier: ${report.element.identifier}`);
      if (report.element.accessibilityLabel) lines.push(`Accessibility label: ${report.element.accessibilityLabel}`);
    } else {
      lines.push('Element: none was found under the touch point');
    }
    lines.push(`Touch: x ${report.touch.x}, y ${report.touch.y} points from the screen's top-left corner`);
    if (report.elements && report.elements.length > 1) {
      lines.push('Elements, numbered as on the annotated screenshot:');
      for (const pin of report.elements) {
        const where = `touch x ${pin.touch.x}, y ${pin.touch.y}`;
        if (pin.element) {
          const { name, type, frame } = pin.element;
          lines.push(`  ${pin.index}. ${name} (${type}) at x ${frame.x}, y ${frame.y}, ${frame.width} × ${frame.height} points; ${where}`);
        } else {
          lines.push(`  ${pin.index}. no element; ${where}`);
        }
      }
    }
    if (report.category) lines.push(`Category: ${report.category}`);
    lines.push(`Request: ${report.comment.trim()}`);
    lines.push(`Make the change in ${project}, touching only what the request needs.`);
    const answer = {
      prompt: lines.join('\n'),
      markdown: markdown(report),
      project,
      platform: report.platform,
      screen: report.screen,
      device: report.device,
      simulator: report.simulator,
      viewport: report.viewport,
      touch: report.touch,
      element: report.element ?? null,
      elements: report.elements ?? null,
    };
    if (report.category) answer.category = report.category;
    return answer;
  }

  const GET = 'GET';
  const POST = 'POST';
  const exact = {
    '/': {
      [GET]: async (req, res) => {
        const { dashboardHtml } = await later.page();
        const body = Buffer.from(dashboardHtml({ project, version: VERSION }));
        res.writeHead(200, {
          'Content-Type': 'text/html; charset=utf-8',
          'Content-Length': body.length,
          'Cache-Control': 'no-store',
          'X-Content-Type-Options': 'nosniff',
          'Content-Security-Policy':
            "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src 'self' data:; connect-src 'self'; base-uri 'none'; form-action 'none'",
        });
        res.end(body);
      },
    },
    '/api/bootstrap': {
      [GET]: (req, res) => sendJson(res, 200, { service: 'tallyrig', project, version: VERSION, pid: process.pid }),
    },
    '/api/settings': {
      [GET]: (req, res) => sendJson(res, 200, store.settings),
      [POST]: async (req, res) => {
        const body = await readJson(req);
        const keys = Object.keys(body);
        if (keys.length !== 1) throw new HttpError(400, 'Send exactly one setting: autoDispatch or autoRelaunch');
        const [key] = keys;
        if (key !== 'autoDispatch' && key !== 'autoRelaunch') throw new HttpError(400, `Unknown setting ${JSON.stringify(key)}`);
        if (typeof body[key] !== 'boolean') throw new HttpError(400, `${key} must be true or false`);
        sendJson(res, 200, store.setSetting(key, body[key]));
      },
    },
    '/api/reports': {
      [GET]: (req, res) => sendText(res, store.summariesText()),
    },
    '/api/agent': {
      [GET]: (req, res) => sendJson(res, 200, runner.agentInfo()),
    },
    // An MCP client takes the oldest dispatched report nobody has taken.
    '/api/agent/next': {
      [POST]: async (req, res) => {
        await readJson(req, { emptyAsObject: true });
        const report = await runner.take();
        sendJson(res, 200, report ? (await later.handoff()).mcpAnswer(store, report) : { report: null });
      },
    },
    '/status': {
      [GET]: (req, res, url) => {
        const id = url.searchParams.get('id');
        if (!id) throw new HttpError(400, 'The id parameter is missing');
        const report = store.require(id);
        sendJson(res, 200, { id: report.id, status: report.status });
      },
    },
    '/packet': {
      [POST]: async (req, res) => {
        const { report } = await validated(await readJson(req), { submission: false });
        sendJson(res, 200, await packet(report));
      },
    },
    '/report': {
      [POST]: async (req, res) => {
        const { report, screenshot, annotated } = await validated(await readJson(req), { submission: true });
        const stored = await store.add(report, screenshot, annotated);
        const answer = { id: stored.id, status: stored.status };
        runner.added(stored);
        sendJson(res, 201, answer);
      },
    },
  };

  // Paths under /api/reports/<id>; the id segment is percent-decoded.
  function reportRoute(pathname) {
    const match = /^\/api\/reports\/([^/]+)(?:\/([^/]+))?$/.exec(pathname);
    if (!match) return null;
    const id = decodeSegment(match[1]);
    const sub = match[2] === undefined ? null : decodeSegment(match[2]);
    if (sub === null) {
      return { [GET]: (req, res) => sendJson(res, 200, store.require(id)) };
    }
    if (sub === 'diff') {
      return { [GET]: async (req, res) => sendJson(res, 200, { id, diff: await review.diff(store.require(id)) }) };
    }
    if (sub === 'handoff') {
      return {
        [GET]: async (req, res) => {
          const report = store.require(id);
          if (!report.places) {
            const [{ whereToLook }, { pinsOf }] = await Promise.all([later.places(), later.prompt()]);
            report.places = await whereToLook(project, pinsOf(report).map((pin) => pin.element ?? null));
            store.save(report);
          }
          sendJson(res, 200, (await later.handoff()).mcpAnswer(store, report));
        },
      };
    }
    if (sub === 'progress' || sub === 'finish') {
      return {
        [POST]: async (req, res) => {
          const body = await readJson(req);
          let report;
          if (sub === 'progress') {
            if (body.status !== 'fixing' && body.status !== 'checking') throw new HttpError(400, 'status must be "fixing" or "checking"');
            report = runner.progress(id, body.status);
          } else {
            if (typeof body.summary !== 'string') throw new HttpError(400, 'summary must be a text');
            report = await exclusive(id, () => runner.finish(id, body.summary.slice(0, 20000)));
          }
          sendJson(res, 200, { id: report.id, status: report.status, changes: report.changes ?? [] });
        },
      };
    }
    if (sub === 'screenshot' || sub === 'annotated-screenshot') {
      return {
        [GET]: async (req, res) => {
          store.require(id);
          const png = await store.picture(id, sub === 'screenshot' ? 'screenshot' : 'annotated');
          if (!png) throw new HttpError(404, `This report has no ${sub.replace('-', ' ')}`);
          res.writeHead(200, { 'Content-Type': 'image/png', 'Content-Length': png.length, 'Cache-Control': 'no-store' });
          res.end(png);
        },
      };
    }
    if (sub === 'dispatch' || sub === 'stop' || Object.hasOwn(REVIEW_ACTIONS, sub)) {
      return {
        [POST]: async (req, res) => {
          await readJson(req, { emptyAsObject: true });
          let report;
          if (sub === 'dispatch') report = runner.dispatch(id);
          else report = await exclusive(id, () => (sub === 'stop' ? runner.stop(id) : act(id, sub)));
          const answer = { id: report.id, status: report.status };
          if (sub === 'commit') answer.commit = report.commit ?? null;
          sendJson(res, 200, answer);
        },
      };
    }
    throw new HttpError(404, `Unknown action ${JSON.stringify(sub.slice(0, 40))}`);
  }

  function sendText(res, text) {
    const body = Buffer.from(text);
    res.writeHead(200, { 'Content-Type': JSON_TYPE, 'Content-Length': body.length, 'Cache-Control': 'no-store', 'X-Content-Type-Options': 'nosniff' });
    res.end(body);
  }

  async function handle(req, res) {
    checkCaller(req);
    let url;
    try {
      url = new URL(req.url, 'http://127.0.0.1');
    } catch {
      throw new HttpError(400, 'The request target is not a valid URL');
    }
    const methods = Object.hasOwn(exact, url.pathname) ? exact[url.pathname] : reportRoute(url.pathname);
    if (!methods) throw new HttpError(404, `Nothing at ${url.pathname.slice(0, 200)}`);
    const method = req.method === 'HEAD' ? GET : req.method;
    if (!Object.hasOwn(methods, method)) {
      const allowed = Object.keys(methods);
      if (allowed.includes(GET)) allowed.push('HEAD');
      throw new HttpError(405, `${req.method} is not allowed here`, { Allow: allowed.join(', ') });
    }
    await methods[method](req, res, url);
  }

  const server = http.createServer((req, res) => {
    handle(req, res).catch((error) => {
      if (error instanceof HttpError && error.status === 0) return; // the client went away
      if (res.headersSent) {
        res.destroy();
        return;
      }
      if (error instanceof HttpError) {
        sendJson(res, error.status, { error: error.message }, error.headers);
      } else if (error instanceof StoreError) {
        sendJson(res, error.status, { error: error.message });
      } else {
        log(`Internal error: ${error && error.stack ? error.stack : error}`);
        sendJson(res, 500, { error: 'Internal bridge error' });
      }
    });
  });

  server.on('clientError', (error, socket) => {
    socket.on('error', () => {});
    if (error.code === 'ECONNRESET' || !socket.writable) {
      socket.destroy();
      return;
    }
    const status = error.code === 'HPE_HEADER_OVERFLOW' ? 431 : error.code === 'ERR_HTTP_REQUEST_TIMEOUT' ? 408 : 400;
    const text =
      status === 431 ? 'The request headers are too large' : status === 408 ? 'The request took too long' : 'Malformed HTTP request';
    const body = JSON.stringify({ error: text });
    // Stop reading: more bytes would only raise the same error again.
    socket.pause();
    socket.end(
      `HTTP/1.1 ${status} ${http.STATUS_CODES[status]}\r\nContent-Type: ${JSON_TYPE}\r\n` +
        `Content-Length: ${Buffer.byteLength(body)}\r\nConnection: close\r\n\r\n${body}`,
      () => socket.destroy(),
    );
  });

  const sockets = new Set();
  server.on('connection', (socket) => {
    sockets.add(socket);
    socket.on('close', () => sockets.delete(socket));
  });

  // Keep-alive sockets would hold close() open forever.
  function shutdown(callback) {
    runner.close();
    store.close();
    server.close(() => callback && callback());
    for (const socket of sockets) socket.destroy();
  }

  return { server, store, runner, ready, shutdown };
}
