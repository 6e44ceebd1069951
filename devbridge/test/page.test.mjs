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
    });
    for (const html of [entryHtml(summary, null), detailHtml(hostile, false)]) {
      assert.doesNotMatch(html, /<img src=x/);
      assert.doesNotMatch(html, /alert\('x'\)/);
      assert.match(html, /&lt;img src=x onerror=&quot;alert\(&#39;x&#39;\)&quot;&gt;&amp;/);
    }
    assert.match(entryHtml(summary, null), /data-report="a&quot;b"/);
    assert.match(entryHtml({ ...summary, status: 'fixing' }, null), /Agent working/);
  });

  test('review buttons appear only in review, dispatch only for a held report', () => {
    const actions = (r) => [...detailHtml(r, false).matchAll(/data-action="(\w+)"/g)].map((m) => m[1]);
    assert.deepEqual(actions(report()), ['commit', 'verify', 'revert']);
    assert.deepEqual(actions(report({ status: 'queued', dispatched: false })), ['dispatch']);
    assert.deepEqual(actions(report({ status: 'queued', dispatched: true })), []);
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
