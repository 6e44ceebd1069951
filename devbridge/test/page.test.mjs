import assert from 'node:assert/strict';
import vm from 'node:vm';
import { describe, test } from 'node:test';
import { dashboardHtml, detailHtml, entryHtml } from '../lib/page.mjs';

const HOSTILE = `<img src=x onerror="alert('x')">&"'`;

function report(overrides = {}) {
  return {
    id: '6f1c0c7e-0000-4000-8000-000000000000',
    status: 'review',
    createdAt: '2026-12-09T10:15:02.123Z',
    comment: 'Bigger button',
    screen: 'Settings',
    device: 'iPhone 15',
    viewport: '393x852',
    simulator: 'UDID',
    touch: { x: 1, y: 2 },
    element: { name: 'save', type: 'AXButton', resolution: 'accessibility', frame: { x: 1, y: 2, width: 3, height: 4 } },
    dispatched: true,
    hasScreenshot: true,
    ...overrides,
  };
}

describe('dashboard rendering', () => {
  test('report-provided texts are escaped everywhere', () => {
    const summary = { id: `a"b`, status: HOSTILE, createdAt: HOSTILE, comment: HOSTILE, screen: HOSTILE, elementName: HOSTILE };
    const hostile = report({
      comment: HOSTILE,
      screen: HOSTILE,
      device: HOSTILE,
      viewport: HOSTILE,
      simulator: HOSTILE,
      category: HOSTILE,
      element: { ...report().element, name: HOSTILE, type: HOSTILE, identifier: HOSTILE, accessibilityLabel: HOSTILE },
      elements: [
        { index: 1, touch: { x: 1, y: 2 }, element: { ...report().element, name: HOSTILE, type: HOSTILE } },
        { index: HOSTILE, touch: { x: 3, y: 4 } },
      ],
    });
    for (const html of [entryHtml(summary, null), detailHtml(hostile, false)]) {
      assert.doesNotMatch(html, /<img src=x/);
      assert.doesNotMatch(html, /alert\('x'\)/);
      assert.match(html, /&lt;img src=x onerror=&quot;alert\(&#39;x&#39;\)&quot;&gt;&amp;/);
    }
    assert.match(entryHtml(summary, null), /data-report="a&quot;b"/);
    assert.match(entryHtml({ ...summary, status: 'fixing' }, null), /Agent working/);
  });

  test('several pins are listed by number beside both pictures', () => {
    const html = detailHtml(
      report({
        hasAnnotatedScreenshot: true,
        elements: [
          { index: 1, touch: { x: 1, y: 2 }, element: report().element },
          { index: 2, touch: { x: 30.25, y: 40 } },
        ],
      }),
      false,
    );
    assert.deepEqual([...html.matchAll(/<span class="pin"[^>]*>(\d)<\/span>/g)].map((m) => m[1]), ['1', '2']);
    assert.match(html, /save \(AXButton\) · 1, 2, 3 × 4 · touch 1, 2/);
    assert.match(html, /no element · touch 30.3, 40/);
    assert.match(html, /\/annotated-screenshot"/);
    // One pin is the element row alone, as before.
    assert.doesNotMatch(detailHtml(report({ elements: [{ index: 1, touch: { x: 1, y: 2 } }] }), false), /class="pins"/);
  });

  test('review buttons appear only in review, dispatch only for a held report, stop while it runs', () => {
    const actions = (r) => [...detailHtml(r, false).matchAll(/data-action="(\w+)"/g)].map((m) => m[1]);
    assert.deepEqual(actions(report()), ['commit', 'verify', 'revert']);
    assert.deepEqual(actions(report({ status: 'queued', dispatched: false })), ['dispatch']);
    assert.deepEqual(actions(report({ status: 'queued', dispatched: true })), ['stop']);
    assert.deepEqual(actions(report({ status: 'fixing' })), ['stop']);
    assert.deepEqual(actions(report({ status: 'interrupted', changes: [{ path: 'a', kind: 'added' }] })), ['revert']);
    assert.deepEqual(actions(report({ status: 'failed', changes: [] })), []);
    assert.deepEqual(actions(report({ status: 'committed' })), []);
    assert.match(detailHtml(report(), true), /Confirm revert/);
  });
});

describe('dashboard page', () => {
  const html = dashboardHtml({ project: '/tmp/<proj>', version: '1' });

  test('is self-contained and its script compiles', () => {
    const scripts = [...html.matchAll(/<script>([\s\S]*?)<\/script>/g)].map((m) => m[1]);
    assert.equal(scripts.length, 1);
    assert.doesNotThrow(() => new vm.Script(scripts[0]));
    const markup = html.replace(/<script>[\s\S]*?<\/script>/, '');
    for (const [, url] of markup.matchAll(/\s(?:src|href)="([^"]*)"/g)) {
      assert.ok(url.startsWith('#') || url.startsWith('data:') || url.startsWith('https://'), url);
    }
    assert.match(html, /\/tmp\/&lt;proj&gt;/);
  });

  test('has both settings, the outside links and the pages the app steers to', () => {
    for (const part of [
      /id="pref-autoDispatch"/,
      /Send new reports to your agent without dispatching them by hand/,
      /id="pref-autoRelaunch"/,
      /Rebuild and relaunch the app after the agent’s change/,
      /<a href="https:\/\/[^"]+">/,
      /<a href="https:\/\/[^"]+" target="_blank"/,
      /href="#inbox"/,
      /href="#preferences"/,
    ]) {
      assert.match(html, part);
    }
  });
});

describe('dashboard page at rest', () => {
  // Runs the page's script against a stand-in document that records every change made to it.
  function runPage(reportsText) {
    const changes = [];
    const elements = new Map();
    const element = (name) => {
      if (!elements.has(name)) {
        const state = { hidden: name === 'offline' || name === 'page-preferences', disabled: true, checked: false };
        elements.set(name, new Proxy(state, {
          get(target, key) {
            if (key in target) return target[key];
            if (key === 'classList') return { toggle() {} };
            if (key === 'querySelectorAll') return () => [];
            return () => {}; // addEventListener, setAttribute and the like
          },
          set(target, key, value) {
            changes.push(`${name}.${String(key)}`);
            target[key] = value;
            return true;
          },
        }));
      }
      return elements.get(name);
    };
    const timers = [];
    const context = {
      document: { getElementById: element, querySelectorAll: () => [] },
      location: { hash: '#inbox' },
      fetch: async () => ({ ok: true, text: async () => reportsText, json: async () => JSON.parse(reportsText) }),
      setTimeout: (callback) => timers.push(callback),
      encodeURIComponent,
      JSON,
      Date,
      Number,
      String,
      Object,
      Array,
      Error,
    };
    context.window = { addEventListener() {} };
    const html = dashboardHtml({ project: '/p', version: '1' });
    const script = /<script>([\s\S]*?)<\/script>/.exec(html)[1];
    vm.runInNewContext(script, context);
    const settle = () => new Promise((resolve) => setImmediate(resolve));
    return {
      changes,
      async poll() {
        await settle();
        const due = timers.splice(0);
        for (const callback of due) callback();
        await settle();
      },
    };
  }

  test('polling a list that has not changed leaves the page alone', async () => {
    const page = runPage('[]');
    await page.poll(); // the first answer draws the list
    assert.ok(page.changes.includes('report-list.innerHTML'));
    const drawn = page.changes.length;
    for (let i = 0; i < 3; i++) await page.poll();
    assert.deepEqual(page.changes.slice(drawn), []);
  });
});
