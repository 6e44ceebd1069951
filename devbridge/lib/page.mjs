// The dashboard: one self-contained page. The render helpers below run in the
// browser (inlined through Function.prototype.toString) and are exported so that
// tests exercise exactly the code the page runs. They must not use anything from
// this module's scope.

import { STYLE } from './page-style.mjs';

export const DOCS_URL = 'https://example.com/tallyrig/docs';
export const AGENTS_URL = 'https://example.com/tallyrig/agents';

export function escapeHtml(value) {
  return String(value).replace(/[&<>"']/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' })[c]);
}

export function statusTitle(status) {
  const titles = {
    sent: 'Sending', queued: 'Queued', fixing: 'Agent working', checking: 'Checking', rebuilding: 'Relaunching',
    review: 'Ready to review', verified: 'Reviewed', committed: 'Committed', resolved: 'Resolved',
    reverted: 'Reverted', interrupted: 'Interrupted', stopped: 'Stopped', failed: 'Failed',
  };
  if (Object.prototype.hasOwnProperty.call(titles, status)) return titles[status];
  return String(status).replace(/\S+/g, (w) => w.charAt(0).toUpperCase() + w.slice(1).toLowerCase());
}

export function statusGroup(status) {
  if (['sent', 'queued', 'fixing', 'checking', 'rebuilding'].includes(status)) return 'working';
  if (status === 'review') return 'review';
  if (['verified', 'committed', 'resolved', 'reverted'].includes(status)) return 'done';
  return 'other';
}

export function formatTime(iso) {
  const date = new Date(iso);
  return Number.isNaN(date.getTime()) ? String(iso) : date.toLocaleString();
}

export function entryHtml(summary, selectedId) {
  const id = escapeHtml(summary.id);
  const where = [summary.screen, summary.elementName].filter((part) => typeof part === 'string' && part !== '');
  return (
    `<li><button type="button" class="entry${summary.id === selectedId ? ' selected' : ''}" data-report="${id}">` +
    `<span class="entry-head"><span class="badge ${statusGroup(summary.status)}">${escapeHtml(statusTitle(summary.status))}</span>` +
    `<time datetime="${escapeHtml(summary.createdAt)}">${escapeHtml(formatTime(summary.createdAt))}</time></span>` +
    `<span class="entry-comment">${escapeHtml(summary.comment)}</span>` +
    (where.length ? `<span class="entry-where">${escapeHtml(where.join(' · '))}</span>` : '') +
    `</button></li>`
  );
}

export function detailHtml(report, confirmRevert) {
  const row = (name, value) => `<dt>${escapeHtml(name)}</dt><dd>${escapeHtml(value)}</dd>`;
  const num = (n) => (typeof n === 'number' ? String(Math.round(n * 10) / 10) : '?');
  const rows = [
    row('Status', statusTitle(report.status)),
    row('Created', formatTime(report.createdAt)),
    row('Screen', report.screen),
    row('Device', `${report.device} (${report.viewport})`),
    row('Simulator', report.simulator),
    row('Touch', `${num(report.touch && report.touch.x)}, ${num(report.touch && report.touch.y)}`),
  ];
  if (report.category) rows.push(row('Category', report.category));
  if (report.element) {
    const e = report.element;
    const f = e.frame || {};
    rows.push(row('Element', `${e.name} (${e.type})`));
    rows.push(row('Frame', `${num(f.x)}, ${num(f.y)}, ${num(f.width)} × ${num(f.height)}`));
    if (e.identifier) rows.push(row('Identifier', e.identifier));
    if (e.accessibilityLabel) rows.push(row('Label', e.accessibilityLabel));
  }
  if (report.elements && report.elements.length > 1) {
    const pins = report.elements.map((pin) => {
      const touch = `touch ${num(pin.touch && pin.touch.x)}, ${num(pin.touch && pin.touch.y)}`;
      const e = pin.element;
      const what = e
        ? `${escapeHtml(e.name)} (${escapeHtml(e.type)}) · ${num(e.frame && e.frame.x)}, ${num(e.frame && e.frame.y)}, ${num(e.frame && e.frame.width)} × ${num(e.frame && e.frame.height)} · ${touch}`
        : `no element · ${touch}`;
      return `<li><span class="pin" aria-hidden="true">${escapeHtml(pin.index)}</span><span class="pin-text">${what}</span></li>`;
    });
    rows.push(`<dt>Elements</dt><dd><ol class="pins">${pins.join('')}</ol></dd>`);
  }
  let actions = '';
  if (report.status === 'review') {
    actions =
      '<div class="actions">' +
      '<button type="button" class="primary" data-action="commit" title="Commit only the files the agent changed">Commit fix</button>' +
      '<button type="button" data-action="verify" title="Mark reviewed; commit it yourself">I’ll commit</button>' +
      `<button type="button" class="danger" data-action="revert" title="Put every file the agent changed back to how it was before the run">${confirmRevert ? 'Confirm revert' : 'Revert'}</button>` +
      '</div>';
  } else if ((report.status === 'sent' || report.status === 'queued') && !report.dispatched) {
    actions = '<div class="actions"><button type="button" class="primary" data-action="dispatch">Send to agent</button></div>';
  } else if (['queued', 'fixing', 'checking', 'rebuilding'].includes(report.status)) {
    actions = '<div class="actions"><button type="button" class="danger" data-action="stop" title="End the agent and everything it started">Stop</button></div>';
  } else if (['interrupted', 'failed', 'stopped'].includes(report.status) && report.changes && report.changes.length) {
    actions =
      '<div class="actions">' +
      `<button type="button" class="danger" data-action="revert" title="Put every file the agent changed back to how it was before the run">${confirmRevert ? 'Confirm revert' : 'Revert'}</button>` +
      '</div>';
  }
  if (report.failure) rows.push(row('Problem', report.failure.message), `<dt></dt><dd><pre class="failure">${escapeHtml(report.failure.lines || '')}</pre></dd>`);
  if (report.summary) rows.push(row('Agent’s summary', report.summary));
  if (report.commit) rows.push(row('Commit', report.commit));
  if (report.changes) {
    rows.push(row('Files changed', report.changes.length ? report.changes.map((c) => `${c.path} (${c.kind})`).join(', ') : 'none'));
  }
  const pictures = [];
  if (report.hasScreenshot) {
    pictures.push(`<img class="shot" alt="Screenshot of the simulator" src="/api/reports/${encodeURIComponent(report.id)}/screenshot">`);
  }
  if (report.hasAnnotatedScreenshot) {
    pictures.push(`<img class="shot" alt="The screenshot with its elements outlined and numbered" src="/api/reports/${encodeURIComponent(report.id)}/annotated-screenshot">`);
  }
  const shot = pictures.length ? `<div class="shots">${pictures.join('')}</div>` : '';
  const diff = report.changes && report.changes.length ? `<pre class="diff" data-diff="${escapeHtml(report.id)}">Loading the diff…</pre>` : '';
  return (
    `<h2 class="request">${escapeHtml(report.comment)}</h2>` +
    `<p class="badge-line"><span class="badge ${statusGroup(report.status)}">${escapeHtml(statusTitle(report.status))}</span></p>` +
    actions +
    `<dl>${rows.join('')}</dl>` +
    diff +
    shot
  );
}


export function diffHtml(text) {
  if (!text) return 'No difference left: the files are as they were before the run.';
  return text
    .split('\n')
    .map((line) => {
      const kind = line.startsWith('+++') || line.startsWith('---') ? '' : line.startsWith('+') ? 'add' : line.startsWith('-') ? 'del' : line.startsWith('@@') ? 'hunk' : '';
      return kind ? `<span class="${kind}">${escapeHtml(line)}</span>` : escapeHtml(line);
    })
    .join('\n');
}

export function agentHintHtml(agent) {
  if (!agent || agent.mode !== 'mcp') return '';
  return (
    'No agent takes reports on its own yet: sent reports wait in “Queued”. ' +
    'Connect an agent you already use over MCP (Claude Code: <code>claude mcp add tallyrig -- tallyrig mcp</code>; ' +
    'Codex CLI: <code>codex mcp add tallyrig -- tallyrig mcp</code>) and ask it to take the next report, ' +
    'or name a headless agent in tallyrig.config.json. <code>tallyrig doctor</code> lists the agents it finds and how to set each one up.'
  );
}

function pageScript() {
  const helpers = [escapeHtml, statusTitle, statusGroup, formatTime, entryHtml, detailHtml, diffHtml, agentHintHtml].map(String).join('\n');
  return `(function () {
'use strict';
${helpers}
window.__tallyrigOpened = 0;
const $ = (id) => document.getElementById(id);
const list = $('report-list');
const detail = $('report-detail');
const offline = $('offline');
let listText = null;
let summaries = [];
let shownId = null;
let shownStatus = null;
let shownReport = null;
let confirmRevert = false;

async function api(path, body) {
  const init = body === undefined ? {} : { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) };
  const response = await fetch(path, init);
  const value = await response.json().catch(() => null);
  if (!response.ok) throw new Error(value && typeof value.error === 'string' ? value.error : 'Bridge error');
  return value;
}

function showPage() {
  const page = location.hash === '#preferences' ? 'preferences' : 'inbox';
  $('page-inbox').hidden = page !== 'inbox';
  $('page-preferences').hidden = page !== 'preferences';
  for (const link of document.querySelectorAll('nav a')) {
    if (link.getAttribute('href') === '#' + page) link.setAttribute('aria-current', 'page');
    else link.removeAttribute('aria-current');
  }
  if (page === 'preferences') loadSettings();
  else refreshList();
}

function renderList() {
  list.innerHTML = summaries.length
    ? '<ul>' + summaries.map((s) => entryHtml(s, shownId)).join('') + '</ul>'
    : '<p class="empty">No reports yet. Pick an element in the Simulator panel and send a request.</p>';
}

// The page is touched only when something changed: a write, even of the same value, can cost the
// browser a style pass and a frame, every second.
function showOffline(shown) {
  if (offline.hidden === shown) offline.hidden = !shown;
}

async function refreshList() {
  try {
    const text = await (await fetch('/api/reports')).text();
    showOffline(false);
    if (text === listText) return;
    listText = text;
    const value = JSON.parse(text);
    summaries = Array.isArray(value) ? value : [];
    renderList();
    const shown = summaries.find((s) => s.id === shownId);
    if (shown && shown.status !== shownStatus) loadDetail(shownId);
  } catch (error) {
    showOffline(true);
  }
}

function poll() {
  refreshList().finally(() => setTimeout(poll, 1000));
}

function renderDetail() {
  if (!shownReport) return;
  detail.innerHTML = detailHtml(shownReport, confirmRevert);
  const box = detail.querySelector('[data-diff]');
  if (box) {
    const id = shownReport.id;
    api('/api/reports/' + encodeURIComponent(id) + '/diff')
      .then((answer) => { if (id === shownId && box.isConnected) box.innerHTML = diffHtml(answer.diff); })
      .catch((error) => { if (box.isConnected) box.textContent = error.message; });
  }
}

async function loadAgent() {
  try {
    const html = agentHintHtml(await api('/api/agent'));
    const hint = $('agent-hint');
    if (hint.hidden !== (html === '')) hint.hidden = html === '';
    if (html !== '' && hint.innerHTML !== html) hint.innerHTML = html;
  } catch (error) {
    // the offline notice says it
  }
}

function pollAgent() {
  loadAgent().finally(() => setTimeout(pollAgent, 10000));
}

async function loadDetail(id) {
  try {
    const report = await api('/api/reports/' + encodeURIComponent(id));
    if (id !== shownId) return;
    shownReport = report;
    shownStatus = report.status;
    renderDetail();
  } catch (error) {
    if (id !== shownId) return;
    shownReport = null;
    detail.innerHTML = '<p class="error">' + escapeHtml(error.message) + '</p>';
  }
}

function openReport(id) {
  window.__tallyrigOpened += 1;
  shownId = id;
  shownStatus = null;
  shownReport = null;
  confirmRevert = false;
  detail.setAttribute('data-shown-report', id);
  detail.innerHTML = '<p class="empty">Loading…</p>';
  for (const entry of list.querySelectorAll('[data-report]')) {
    entry.classList.toggle('selected', entry.getAttribute('data-report') === id);
  }
  loadDetail(id);
}

list.addEventListener('click', (event) => {
  const entry = event.target.closest('[data-report]');
  if (entry && list.contains(entry)) openReport(entry.getAttribute('data-report'));
});

detail.addEventListener('click', async (event) => {
  const button = event.target.closest('[data-action]');
  if (!button || !shownId) return;
  const action = button.getAttribute('data-action');
  if (action === 'revert' && !confirmRevert) {
    confirmRevert = true;
    renderDetail();
    return;
  }
  confirmRevert = false;
  const id = shownId;
  for (const b of detail.querySelectorAll('[data-action]')) b.disabled = true;
  try {
    await api('/api/reports/' + encodeURIComponent(id) + '/' + action, {});
    await loadDetail(id);
    await refreshList();
  } catch (error) {
    await loadDetail(id);
    if (id === shownId) detail.insertAdjacentHTML('afterbegin', '<p class="error">' + escapeHtml(error.message) + '</p>');
  }
});

function applySettings(settings) {
  for (const key of ['autoDispatch', 'autoRelaunch']) {
    const box = $('pref-' + key);
    box.disabled = !settings || typeof settings[key] !== 'boolean';
    if (!box.disabled) box.checked = settings[key];
  }
}

async function loadSettings() {
  try {
    applySettings(await api('/api/settings'));
    $('pref-error').textContent = '';
  } catch (error) {
    $('pref-error').textContent = error.message;
  }
}

for (const key of ['autoDispatch', 'autoRelaunch']) {
  $('pref-' + key).addEventListener('change', async (event) => {
    const box = event.target;
    const wanted = box.checked;
    box.disabled = true;
    try {
      applySettings(await api('/api/settings', { [key]: wanted }));
      $('pref-error').textContent = '';
    } catch (error) {
      box.checked = !wanted;
      box.disabled = false;
      $('pref-error').textContent = error.message;
    }
  });
}

window.addEventListener('hashchange', showPage);
pollAgent();
showPage();
poll();
})();`;
}

export function dashboardHtml({ project, version }) {
  return `<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Tallyrig</title>
<link rel="icon" href="data:,">
<style>${STYLE}</style>
</head>
<body>
<header>
  <span class="brand">Tallyrig</span>
  <span class="project" title="${escapeHtml(project)}">${escapeHtml(project)}</span>
  <nav><a href="#inbox">Inbox</a> <a href="#preferences">Preferences</a></nav>
</header>
<main>
  <p id="offline" hidden>The bridge is not answering. Retrying…</p>
  <p id="agent-hint" hidden role="note"></p>
  <section id="page-inbox" class="inbox" aria-label="Inbox">
    <div id="report-list" class="list"><p class="empty">Loading reports…</p></div>
    <div id="report-detail" class="detail" aria-live="polite"><p class="empty">Select a report to see its details.</p></div>
  </section>
  <section id="page-preferences" hidden aria-label="Preferences">
    <div class="prefs">
      <h2>Agent</h2>
      <label><input type="checkbox" id="pref-autoDispatch" disabled>
        <span><span class="key">Dispatch automatically</span>
        <span class="hint">Send new reports to your agent without dispatching them by hand</span></span></label>
      <label><input type="checkbox" id="pref-autoRelaunch" disabled>
        <span><span class="key">Relaunch automatically</span>
        <span class="hint">Rebuild and relaunch the app after the agent’s change</span></span></label>
      <p id="pref-error" class="error" role="alert"></p>
      <p>Read the <a href="${DOCS_URL}">Tallyrig documentation</a> or
        <a href="${AGENTS_URL}" target="_blank" rel="noopener">set up your agent</a> (opens in your browser).</p>
      <p class="hint">Reference bridge ${escapeHtml(version)}</p>
    </div>
  </section>
</main>
<script>${pageScript()}</script>
</body>
</html>
`;
}
