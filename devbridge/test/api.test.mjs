import assert from 'node:assert/strict';
import net from 'node:net';
import { after, before, describe, test } from 'node:test';
import { PNG_BASE64, reportBody, request, scope, startBridge, waitFor } from './helpers.mjs';

const UUID_V4 = /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/;
const ISO_MS = /^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z$/;

const suite = scope();
let bridge;
const call = (method, path, options) => request(bridge.port, method, path, options);

async function statusOf(id) {
  return (await call('GET', `/status?id=${id}`)).json.status;
}

async function setSetting(key, value) {
  const res = await call('POST', '/api/settings', { body: { [key]: value } });
  assert.equal(res.status, 200, res.text);
  return res.json;
}

async function send(overrides) {
  const res = await call('POST', '/report', { body: reportBody(overrides) });
  assert.equal(res.status, 201, res.text);
  return res.json.id;
}

before(async () => {
  bridge = await startBridge(suite, { stepMs: 20 });
});
after(() => suite.run());

describe('basic endpoints', () => {
  test('bootstrap names the service and the real project folder', async () => {
    const res = await call('GET', '/api/bootstrap');
    assert.equal(res.status, 200);
    assert.equal(res.headers['content-type'], 'application/json; charset=utf-8');
    assert.equal(res.json.service, 'tallyrig');
    assert.equal(res.json.project, bridge.project);
  });

  test('dashboard page is served as HTML at the root', async () => {
    const res = await call('GET', '/');
    assert.equal(res.status, 200);
    assert.match(res.headers['content-type'], /^text\/html/);
    assert.match(res.text, /id="report-detail"/);
  });

  test('unknown paths are 404 and wrong methods 405 with Allow, all as JSON errors', async () => {
    for (const path of ['/nope', '/api/bootstrap/', '/api/reports/x/y/z', '/api/reports/abc/launch']) {
      const res = await call('GET', path);
      assert.equal(res.status, 404, path);
      assert.equal(typeof res.json.error, 'string');
    }
    const post = await call('POST', '/api/bootstrap', { body: {} });
    assert.equal(post.status, 405);
    assert.match(post.headers.allow, /GET/);
    const get = await call('GET', '/api/reports/abc/commit');
    assert.equal(get.status, 405);
    assert.equal(get.headers.allow, 'POST');
    assert.equal(typeof get.json.error, 'string');
  });

  test('listens on 127.0.0.1 only', async () => {
    // Another loopback address reaches a wildcard listener but not ours.
    await assert.rejects(request(bridge.port, 'GET', '/api/bootstrap', { host: '127.0.0.2' }), { code: 'ECONNREFUSED' });
  });

  // Whatever a web page can make a browser send must neither store a report nor open the door.
  test('no web page gets through: one row per attack', async () => {
    const body = JSON.stringify(reportBody());
    const attacks = [
      ['a foreign Origin', 'POST', { Origin: 'https://evil.example', 'Content-Type': 'application/json' }, 403],
      ['a rebinding Host', 'POST', { Host: `evil.example:${bridge.port}`, 'Content-Type': 'application/json' }, 403],
      ['a text/plain post', 'POST', { 'Content-Type': 'text/plain' }, 415],
      ['a form post', 'POST', { 'Content-Type': 'application/x-www-form-urlencoded' }, 415],
      ['a preflight', 'OPTIONS', { Origin: 'https://evil.example', 'Access-Control-Request-Method': 'POST', 'Access-Control-Request-Headers': 'content-type' }, 403],
    ];
    const before = (await call('GET', '/api/reports')).json.length;
    for (const [name, method, headers, status] of attacks) {
      const res = await call(method, '/report', { body: method === 'POST' ? body : undefined, headers });
      assert.equal(res.status, status, name);
      assert.equal(typeof res.json.error, 'string', name);
      assert.deepEqual(Object.keys(res.headers).filter((h) => h.startsWith('access-control-')), [], name);
    }
    assert.equal((await call('GET', '/api/reports')).json.length, before);
  });

  test('requests from foreign hosts and origins are refused', async () => {
    const host = await call('GET', '/api/bootstrap', { headers: { Host: 'evil.example:80' } });
    assert.equal(host.status, 403);
    const origin = await call('POST', '/api/settings', { body: { autoDispatch: false }, headers: { Origin: 'https://evil.example' } });
    assert.equal(origin.status, 403);
    assert.equal((await call('GET', '/api/settings')).json.autoDispatch, true);
    const own = await call('POST', '/packet', { body: reportBody(), headers: { Origin: `http://127.0.0.1:${bridge.port}` } });
    assert.equal(own.status, 200);
  });
});

describe('settings', () => {
  test('default to true and change one at a time', async () => {
    assert.deepEqual((await call('GET', '/api/settings')).json, { autoDispatch: true, autoRelaunch: true });
    assert.deepEqual(await setSetting('autoRelaunch', false), { autoDispatch: true, autoRelaunch: false });
    assert.deepEqual(await setSetting('autoRelaunch', true), { autoDispatch: true, autoRelaunch: true });
  });

  test('reject anything but one known Boolean member', async () => {
    for (const body of ['{}', '{"autoDispatch":true,"autoRelaunch":true}', '{"autoLaunch":true}', '{"autoDispatch":"yes"}', '[true]', 'nope']) {
      const res = await call('POST', '/api/settings', { body });
      assert.equal(res.status, 400, body);
      assert.equal(typeof res.json.error, 'string');
    }
    assert.deepEqual((await call('GET', '/api/settings')).json, { autoDispatch: true, autoRelaunch: true });
  });
});

describe('reports', () => {
  test('a report walks to review and is listed, detailed and pictured', async () => {
    const res = await call('POST', '/report', { body: reportBody({ extra: 'ignored' }) });
    assert.equal(res.status, 201);
    assert.match(res.json.id, UUID_V4);
    assert.equal(res.json.status, 'sent');
    const { id } = res.json;

    await waitFor(async () => (await statusOf(id)) === 'review', { what: 'review' });
    const detail = (await call('GET', `/api/reports/${id}`)).json;
    // Through every working status the panel knows.
    assert.deepEqual(detail.history.map((h) => h.status), ['sent', 'queued', 'fixing', 'checking', 'rebuilding', 'review']);
    assert.equal(detail.screenshotPNG, undefined);
    assert.equal(detail.hasScreenshot, true);
    assert.equal(detail.extra, undefined);
    assert.deepEqual(detail.element.frame, { x: 15, y: 15, width: 150, height: 66 });

    const summary = (await call('GET', '/api/reports')).json.find((r) => r.id === id);
    assert.equal(summary.status, 'review');
    assert.equal(summary.comment, 'Make the Save button bigger');
    assert.match(summary.createdAt, ISO_MS);

    const shot = await call('GET', `/api/reports/${id}/screenshot`);
    assert.equal(shot.headers['content-type'], 'image/png');
    assert.deepEqual(shot.raw, Buffer.from(PNG_BASE64, 'base64'));
  });

  test('the list is newest first', async () => {
    const first = await send({ comment: 'first' });
    const second = await send({ comment: 'second' });
    const ids = (await call('GET', '/api/reports')).json.map((r) => r.id);
    assert.ok(ids.indexOf(second) < ids.indexOf(first));
  });

  test('without autoRelaunch the walk skips rebuilding', async (t) => {
    await setSetting('autoRelaunch', false);
    t.after(() => setSetting('autoRelaunch', true));
    const id = await send();
    await waitFor(async () => (await statusOf(id)) === 'review', { what: 'review' });
    const detail = (await call('GET', `/api/reports/${id}`)).json;
    assert.deepEqual(detail.history.map((h) => h.status), ['sent', 'queued', 'fixing', 'checking', 'review']);
  });

  test('without autoDispatch a report waits in queued until dispatched', async (t) => {
    await setSetting('autoDispatch', false);
    t.after(() => setSetting('autoDispatch', true));
    const held = await send({ comment: 'held' });
    await setSetting('autoDispatch', true);
    const moving = await send({ comment: 'moving' });
    // By the time a later report has gone all the way, the held one would have moved too.
    await waitFor(async () => (await statusOf(moving)) === 'review', { what: 'review' });
    assert.equal(await statusOf(held), 'queued');

    const early = await call('POST', `/api/reports/${held}/commit`, { body: {} });
    assert.equal(early.status, 409);
    assert.equal(typeof early.json.error, 'string');

    const dispatched = await call('POST', `/api/reports/${held}/dispatch`, { body: '' });
    assert.equal(dispatched.status, 200);
    assert.equal((await call('POST', `/api/reports/${held}/dispatch`, { body: {} })).status, 409);
    await waitFor(async () => (await statusOf(held)) === 'review', { what: 'review' });
  });

  test('a report dispatched before it is queued goes on once it is', async (t) => {
    // Steps slow enough that the dispatch surely comes while the report is still "sent".
    const slow = await startBridge(t, { stepMs: 300 });
    const on = (method, path, options) => request(slow.port, method, path, options);
    assert.equal((await on('POST', '/api/settings', { body: { autoDispatch: false } })).status, 200);
    const sent = await on('POST', '/report', { body: reportBody() });
    assert.equal(sent.json.status, 'sent');
    const dispatched = await on('POST', `/api/reports/${sent.json.id}/dispatch`, { body: {} });
    assert.deepEqual(dispatched.json, { id: sent.json.id, status: 'sent' });
    await waitFor(async () => (await on('GET', `/status?id=${sent.json.id}`)).json.status === 'review', {
      what: 'review',
      timeout: 10000,
    });
  });

  test('review actions end a report once; unknown ids are 404', async () => {
    const ids = [await send(), await send(), await send()];
    for (const id of ids) await waitFor(async () => (await statusOf(id)) === 'review', { what: 'review' });
    const expected = { commit: 'committed', verify: 'verified', revert: 'reverted' };
    // A post without a JSON body could come from any web page.
    assert.equal((await call('POST', `/api/reports/${ids[0]}/commit`)).status, 415);
    for (const [i, action] of ['commit', 'verify', 'revert'].entries()) {
      const res = await call('POST', `/api/reports/${ids[i]}/${action}`, { body: {} });
      assert.equal(res.status, 200, res.text);
      assert.deepEqual(res.json, { id: ids[i], status: expected[action], ...(action === 'commit' ? { commit: null } : {}) });
      assert.equal(await statusOf(ids[i]), expected[action]);
      const again = await call('POST', `/api/reports/${ids[i]}/${action}`, { body: {} });
      assert.equal(again.status, 409);
    }
    const unknown = await call('POST', '/api/reports/00000000-0000-4000-8000-000000000000/commit', { body: {} });
    assert.equal(unknown.status, 404);
    assert.equal(typeof unknown.json.error, 'string');
  });

  test('status and detail lookups', async () => {
    assert.equal((await call('GET', '/status')).status, 400);
    assert.equal((await call('GET', '/status?id=')).status, 400);
    const missing = await call('GET', '/status?id=nope');
    assert.equal(missing.status, 404);
    assert.equal(typeof missing.json.error, 'string');
    assert.equal((await call('GET', '/api/reports/nope')).status, 404);
    assert.equal((await call('GET', '/api/reports/nope/screenshot')).status, 404);
  });
});

describe('report bodies', () => {
  // Bytes whose base64 needs "+" and "/", written in the URL-safe alphabet instead.
  const URL_SAFE_PNG = (() => {
    const text = Buffer.concat([Buffer.from([0xfb, 0xff, 0xbf]), Buffer.from(PNG_BASE64, 'base64')]).toString('base64url');
    return text.padEnd(Math.ceil(text.length / 4) * 4, '=');
  })();
  const broken = [
    ['malformed JSON', '{"comment": ', /JSON/],
    ['an array', '[1,2]', /object/],
    ['null', 'null', /object/],
    ['an empty body', '', /empty/],
    ['a missing comment', reportBody({ comment: undefined }), /comment/],
    ['a blank comment', reportBody({ comment: ' \n\t ' }), /comment/],
    ['another platform', reportBody({ platform: 'android' }), /platform/],
    ['a numeric screen', reportBody({ screen: 7 }), /screen/],
    ['a missing touch', reportBody({ touch: undefined }), /touch/],
    ['a string touch.x', reportBody({ touch: { x: '1', y: 2 } }), /touch\.x must be a number/],
    ['a missing touch.y', reportBody({ touch: { x: 1 } }), /touch\.y/],
    ['a missing simulator', reportBody({ simulator: undefined }), /simulator/],
    ['a bad viewport', reportBody({ viewport: '393 x 852' }), /viewport/],
    ['a fractional viewport', reportBody({ viewport: '393.5x852' }), /viewport/],
    ['a numeric category', reportBody({ category: 3 }), /category/],
    ['an element without frame', reportBody({ element: { name: 'a', type: 'b', resolution: 'c' } }), /element\.frame/],
    ['a string frame width', reportBody({ element: { ...reportBody().element, frame: { x: 0, y: 0, width: '9', height: 1 } } }), /element\.frame\.width/],
    ['a numeric element name', reportBody({ element: { ...reportBody().element, name: 5 } }), /element\.name/],
    ['a numeric identifier', reportBody({ element: { ...reportBody().element, identifier: 5 } }), /element\.identifier/],
    ['a missing screenshot', reportBody({ screenshotPNG: undefined }), /screenshotPNG/],
    ['a non-base64 screenshot', reportBody({ screenshotPNG: 'not base64!' }), /base64/],
    ['an unpadded screenshot', reportBody({ screenshotPNG: PNG_BASE64.replace(/=+$/, '') }), /base64/],
    ['a URL-safe screenshot', reportBody({ screenshotPNG: URL_SAFE_PNG }), /base64/],
    ['a wrapped screenshot', reportBody({ screenshotPNG: `${PNG_BASE64.slice(0, 40)}\n${PNG_BASE64.slice(40)}` }), /base64/],
    ['a screenshot that is not a PNG', reportBody({ screenshotPNG: Buffer.from('GIF89a hello').toString('base64') }), /PNG/],
    ['elements that are not a list', reportBody({ elements: {} }), /elements must be an array/],
    ['elements out of order', reportBody({ elements: [{ index: 2, touch: { x: 1, y: 2 } }] }), /elements\[0\]\.index must be 1/],
    ['a pin without touch', reportBody({ elements: [{ index: 1 }] }), /elements\[0\]\.touch is required/],
    ['a pin element without frame', reportBody({ elements: [{ index: 1, touch: { x: 1, y: 2 }, element: { name: 'a', type: 'b', resolution: 'c' } }] }), /elements\[0\]\.element\.frame/],
    ['ten pins', reportBody({ elements: Array.from({ length: 10 }, (_, i) => ({ index: i + 1, touch: { x: 1, y: 2 } })) }), /at most 9/],
    ['an annotated screenshot that is not a PNG', reportBody({ annotatedScreenshotPNG: Buffer.from('GIF89a hello').toString('base64') }), /annotatedScreenshotPNG is not a PNG/],
  ];

  test('bad report bodies are refused with a message naming the problem, and nothing is stored', async () => {
    const before = (await call('GET', '/api/reports')).json.length;
    for (const [name, body, message] of broken) {
      const res = await call('POST', '/report', { body: typeof body === 'string' ? body : JSON.stringify(body) });
      assert.equal(res.status, 400, name);
      assert.equal(res.headers['content-type'], 'application/json; charset=utf-8');
      assert.match(res.json.error, message, name);
    }
    assert.equal((await call('GET', '/api/reports')).json.length, before);
  });

  test('pins and the annotated screenshot are stored, shown and previewed', async () => {
    const elements = [
      { index: 1, touch: { x: 168.5, y: 270.1 }, element: reportBody().element },
      { index: 2, touch: { x: 30, y: 40 } },
    ];
    const res = await call('POST', '/report', { body: reportBody({ elements, annotatedScreenshotPNG: PNG_BASE64 }) });
    assert.equal(res.status, 201, res.text);
    const detail = (await call('GET', `/api/reports/${res.json.id}`)).json;
    assert.deepEqual(detail.elements, elements);
    assert.equal(detail.hasAnnotatedScreenshot, true);
    assert.equal(detail.annotatedScreenshotPNG, undefined);
    const annotated = await call('GET', `/api/reports/${res.json.id}/annotated-screenshot`);
    assert.equal(annotated.headers['content-type'], 'image/png');
    assert.deepEqual(annotated.raw, Buffer.from(PNG_BASE64, 'base64'));
    // A report without one says so.
    const plain = await send();
    assert.equal((await call('GET', `/api/reports/${plain}/annotated-screenshot`)).status, 404);
    const packet = (await call('POST', '/packet', { body: reportBody({ screenshotPNG: undefined, elements }) })).json;
    assert.deepEqual(packet.elements, elements);
    assert.match(packet.prompt, /1\. saveButton \(AXButton\)[^\n]*\n {2}2\. no element; touch x 30, y 40/);
  });

  test('the packet preview takes a body without screenshot and stores nothing', async () => {
    const before = (await call('GET', '/api/reports')).json.length;
    const body = reportBody({ screenshotPNG: undefined, comment: '' });
    const res = await call('POST', '/packet', { body });
    assert.equal(res.status, 200, res.text);
    assert.equal(res.json.screen, 'Settings');
    assert.deepEqual(res.json.touch, body.touch);
    assert.match(res.json.prompt, /saveButton/);
    const bad = await call('POST', '/packet', { body: reportBody({ touch: { x: 1, y: null } }) });
    assert.equal(bad.status, 400);
    assert.match(bad.json.error, /touch\.y/);
    assert.equal((await call('GET', '/api/reports')).json.length, before);
  });

  test('a body over the limit is refused with 413', async () => {
    const res = await call('POST', '/report', { body: '{}', headers: { 'Content-Length': String(30 * 1024 * 1024) } }).catch(
      (error) => error,
    );
    assert.equal(res.status, 413, String(res));
    assert.equal(typeof res.json.error, 'string');
  });
});

describe('robustness', () => {
  function raw(payload) {
    return new Promise((resolve) => {
      const socket = net.connect(bridge.port, '127.0.0.1', () => socket.end(payload));
      let text = '';
      socket.on('data', (d) => (text += d));
      socket.on('error', () => resolve(text));
      socket.on('close', () => resolve(text));
    });
  }

  test('garbage, bad encodings, huge headers and aborted bodies leave the bridge answering', async () => {
    const random = Buffer.alloc(4096);
    for (let i = 0; i < random.length; i++) random[i] = (i * 7919 + 13) % 256;
    assert.match(await raw(random), /^HTTP\/1\.1 400/);
    assert.match(await raw('GET /\x00 HTTP/1.1\r\n\r\n'), /^HTTP\/1\.1 400/);

    assert.equal((await call('GET', '/api/reports/%E0%A4%A/commit')).status, 400);
    assert.equal((await call('POST', '/api/reports/%ZZ/commit', { body: {} })).status, 400);
    assert.equal((await call('GET', '/status?id=%ZZ')).status, 404);
    assert.match(await raw('GET // HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n'), /^HTTP\/1\.1 [45]\d\d/);

    const huge = await raw(`GET /api/bootstrap HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: ${'a'.repeat(100000)}\r\n\r\n`);
    assert.match(huge, /^HTTP\/1\.1 431/);

    await new Promise((resolve) => {
      const socket = net.connect(bridge.port, '127.0.0.1', () => {
        socket.write('POST /report HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000\r\n\r\n{"comment":');
        setImmediate(() => socket.destroy());
      });
      socket.on('close', resolve);
      socket.on('error', () => {});
    });

    const res = await call('GET', '/api/bootstrap');
    assert.equal(res.json.service, 'tallyrig');
    assert.equal(bridge.child.exitCode, null);
    assert.doesNotMatch(bridge.child.err, /Error/);
  });
});
