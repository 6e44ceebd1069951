export const BODY_LIMIT = 25 * 1024 * 1024;
export const JSON_TYPE = 'application/json; charset=utf-8';
const LOOPBACK_HOSTS = new Set(['127.0.0.1', 'localhost', '[::1]']);

export class HttpError extends Error {
  constructor(status, message, headers = {}) {
    super(message);
    this.status = status;
    this.headers = headers;
  }
}

export function sendJson(res, status, value, headers = {}) {
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

// A web page elsewhere must not drive the bridge, now that a report runs an agent: reject
// foreign Host names (DNS rebinding) and foreign Origins, give a preflight no permission (and no
// answer carries CORS headers), and take only JSON posts, which no form and no "simple" cross-site
// request can send.
export function checkCaller(req) {
  if (req.method === 'OPTIONS') throw new HttpError(403, 'Cross-origin requests are not accepted');
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
  if (req.method === 'POST') {
    const type = String(req.headers['content-type'] ?? '').split(';')[0].trim().toLowerCase();
    if (type !== 'application/json') throw new HttpError(415, 'POST requests must send Content-Type: application/json');
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

export async function readJson(req, { emptyAsObject = false } = {}) {
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

export function decodeSegment(segment) {
  try {
    return decodeURIComponent(segment);
  } catch {
    throw new HttpError(400, 'The path holds invalid percent-encoding');
  }
}

