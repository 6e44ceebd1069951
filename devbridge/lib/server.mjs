import http from 'node:http';
import { dashboardHtml } from './page.mjs';
import { REVIEW_ACTIONS, ReportStore, StoreError } from './store.mjs';
import { ValidationError, validateReport } from './validate.mjs';

export const VERSION = '0.1.0';
export const BODY_LIMIT = 25 * 1024 * 1024;

const JSON_TYPE = 'application/json; charset=utf-8';
const LOOPBACK_HOSTS = new Set(['127.0.0.1', 'localhost', '[::1]']);

class HttpError extends Error {
  constructor(status, message, headers = {}) {
    super(message);
    this.status = status;
    this.headers = headers;
  }
}

function sendJson(res, status, value, headers = {}) {
  const body = Buffer.from(JSON.stringify(value));
  res.writeHead(status, {
    'Content-Type': JSON_TYPE,
    'Content-Length': body.length,
    'Cache-Control': 'no-store',
    'X-Content-Type-Options': 'nosniff',
    ...headers,
  });
  res.end(body);
}

function hostOf(header) {
  const match = /^(\[[^\]]*\]|[^:]*)(?::\d*)?$/.exec(header);
  return match ? match[1].toLowerCase() : null;
}

// A web page elsewhere must not drive the bridge: reject foreign Host names
// (DNS rebinding) and foreign Origins (cross-site form posts).
function checkCaller(req) {
  const host = req.headers.host;
  if (host !== undefined && !LOOPBACK_HOSTS.has(hostOf(host))) throw new HttpError(403, 'Requests must be addressed to 127.0.0.1');
  const origin = req.headers.origin;
  if (origin !== undefined && req.method !== 'GET' && req.method !== 'HEAD') {
    let hostname = null;
    try {
      hostname = new URL(origin).hostname;
    } catch {
      // "null" and other opaque origins are foreign
    }
    if (!LOOPBACK_HOSTS.has(hostname)) throw new HttpError(403, 'Cross-site requests are not accepted');
  }
}

function readBody(req, limit) {
  return new Promise((resolve, reject) => {
    const declared = Number(req.headers['content-length']);
    if (declared > limit) {
      reject(new HttpError(413, `The body is larger than ${limit} bytes`, { Connection: 'close' }));
      return;
    }
    const chunks = [];
    let size = 0;
    let done = false;
    req.on('data', (chunk) => {
      if (done) return;
      size += chunk.length;
      if (size > limit) {
        done = true;
        chunks.length = 0;
        reject(new HttpError(413, `The body is larger than ${limit} bytes`, { Connection: 'close' }));
        return;
      }
      chunks.push(chunk);
    });
    req.on('end', () => {
      if (!done) {
        done = true;
        resolve(Buffer.concat(chunks));
      }
    });
    req.on('close', () => {
      if (!done) {
        done = true;
        reject(new HttpError(0, 'aborted'));
      }
    });
    req.on('error', () => {});
  });
}

async function readJson(req, { emptyAsObject = false } = {}) {
  const text = (await readBody(req, BODY_LIMIT)).toString('utf8');
  if (text.trim() === '') {
    if (emptyAsObject) return {};
    throw new HttpError(400, 'The body is empty; a JSON object is expected');
  }
  let value;
  try {
    value = JSON.parse(text);
  } catch (error) {
    throw new HttpError(400, `The body is not valid JSON: ${error.message}`);
  }
  if (value === null || typeof value !== 'object' || Array.isArray(value)) {
    throw new HttpError(400, 'The body must be a JSON object');
  }
  return value;
}

function decodeSegment(segment) {
  try {
    return decodeURIComponent(segment);
  } catch {
    throw new HttpError(400, 'The path holds invalid percent-encoding');
  }
}

export function createBridge({ project, stepMs, log = () => {} }) {
  const store = new ReportStore({ stepMs, log });

  function packet(report) {
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
      [GET]: (req, res) => {
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
      [GET]: (req, res) => sendJson(res, 200, store.summaries()),
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
        const { report } = validateReport(await readJson(req), { submission: false });
        sendJson(res, 200, packet(report));
      },
    },
    '/report': {
      [POST]: async (req, res) => {
        const { report, screenshot, annotated } = validateReport(await readJson(req), { submission: true });
        const stored = store.add(report, screenshot, annotated);
        sendJson(res, 201, { id: stored.id, status: stored.status });
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
    if (sub === 'screenshot' || sub === 'annotated-screenshot') {
      return {
        [GET]: (req, res) => {
          store.require(id);
          const png = sub === 'screenshot' ? store.screenshot(id) : store.annotatedScreenshot(id);
          if (!png) throw new HttpError(404, `This report has no ${sub.replace('-', ' ')}`);
          res.writeHead(200, { 'Content-Type': 'image/png', 'Content-Length': png.length, 'Cache-Control': 'no-store' });
          res.end(png);
        },
      };
    }
    if (sub === 'dispatch' || Object.hasOwn(REVIEW_ACTIONS, sub)) {
      return {
        [POST]: async (req, res) => {
          await readJson(req, { emptyAsObject: true });
          const report = sub === 'dispatch' ? store.dispatch(id) : store.act(id, sub);
          sendJson(res, 200, { id: report.id, status: report.status });
        },
      };
    }
    throw new HttpError(404, `Unknown action ${JSON.stringify(sub.slice(0, 40))}`);
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
      } else if (error instanceof ValidationError) {
        sendJson(res, 400, { error: error.message });
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
    store.close();
    server.close(() => callback && callback());
    for (const socket of sockets) socket.destroy();
  }

  return { server, store, shutdown };
}
