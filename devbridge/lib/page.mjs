// The dashboard: one self-contained page. The render helpers below run in the
// browser (inlined through Function.prototype.toString) and are exported so that
// tests exercise exactly the code the page runs. They must not use anything from
// this module's scope.

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
  }
  const pictures = [];
  if (report.hasScreenshot) {
    pictures.push(`<img class="shot" alt="Screenshot of the simulator" src="/api/reports/${encodeURIComponent(report.id)}/screenshot">`);
  }
  if (report.hasAnnotatedScreenshot) {
    pictures.push(`<img class="shot" alt="The screenshot with its elements outlined and numbered" src="/api/reports/${encodeURIComponent(report.id)}/annotated-screenshot">`);
  }
  const shot = pictures.length ? `<div class="shots">${pictures.join('')}</div>` : '';
  return (
    `<h2 class="request">${escapeHtml(report.comment)}</h2>` +
    `<p class="badge-line"><span class="badge ${statusGroup(report.status)}">${escapeHtml(statusTitle(report.status))}</span></p>` +
    actions +
    `<dl>${rows.join('')}</dl>` +
    shot
  );
}

const STYLE = `
:root { color-scheme: light dark; --bg: #f6f6f4; --panel: #fff; --text: #1d1d1f; --muted: #6b6b70; --line: #dedede;
  --brand: rgb(217, 91, 54); --hover: #f0eeea; --sel: #fbe9e3; --working: #2f6fd6; --review: #b86b00; --done: #2e8540; --other: #8a8a8e; --on-badge: #fff; }
@media (prefers-color-scheme: dark) { :root { --bg: #1b1b1d; --panel: #242427; --text: #ececef; --muted: #a0a0a6; --line: #3a3a3f;
  --hover: #2e2e32; --sel: #3b2620; --working: #6ea1ff; --review: #f0a43a; --done: #5cc46e; --other: #9a9aa0; --on-badge: #141416; } }
* { box-sizing: border-box; }
html, body { margin: 0; background: var(--bg); color: var(--text);
  font: 14px/1.45 -apple-system, BlinkMacSystemFont, "Segoe UI", system-ui, Roboto, "Helvetica Neue", sans-serif; }
header { display: flex; align-items: center; gap: 16px; padding: 10px 20px; border-bottom: 1px solid var(--line); background: var(--panel); }
header .brand { font-weight: 650; color: var(--brand); }
header .project { color: var(--muted); overflow: hidden; text-overflow: ellipsis; white-space: nowrap; flex: 1; }
nav a { color: var(--text); text-decoration: none; padding: 4px 10px; border-radius: 6px; }
nav a[aria-current="page"] { background: var(--sel); color: var(--brand); }
main { padding: 20px; }
#offline { margin: 0 0 12px; padding: 8px 12px; border-radius: 8px; background: var(--sel); }
.inbox { display: grid; grid-template-columns: minmax(260px, 2fr) 3fr; gap: 20px; align-items: start; }
.list, .detail, .prefs { background: var(--panel); border: 1px solid var(--line); border-radius: 10px; }
.list ul { list-style: none; margin: 0; padding: 6px; }
.entry { display: block; width: 100%; text-align: left; border: 0; background: none; color: inherit; font: inherit;
  padding: 10px 12px; border-radius: 8px; cursor: pointer; }
.entry:hover { background: var(--hover); }
.entry.selected { background: var(--sel); }
.entry-head { display: flex; justify-content: space-between; gap: 8px; color: var(--muted); font-size: 12px; }
.entry-comment { display: block; margin-top: 4px; overflow-wrap: anywhere; }
.entry-where { display: block; color: var(--muted); font-size: 12px; margin-top: 2px; }
.empty { color: var(--muted); padding: 24px; text-align: center; margin: 0; }
.badge { display: inline-block; font-size: 11px; font-weight: 600; padding: 1px 8px; border-radius: 999px; color: var(--on-badge); }
.badge.working { background: var(--working); } .badge.review { background: var(--review); }
.badge.done { background: var(--done); } .badge.other { background: var(--other); }
.detail { padding: 18px 20px; }
.detail .request { font-size: 17px; margin: 0 0 6px; overflow-wrap: anywhere; white-space: pre-wrap; }
.detail dl { display: grid; grid-template-columns: max-content 1fr; gap: 4px 14px; margin: 14px 0; }
.detail dt { color: var(--muted); } .detail dd { margin: 0; overflow-wrap: anywhere; }
.shots { display: flex; gap: 12px; flex-wrap: wrap; }
.pins { margin: 0; padding: 0; list-style: none; }
.pins li { display: flex; gap: 6px; align-items: baseline; margin: 2px 0; }
.pin { flex: none; display: inline-block; min-width: 18px; height: 18px; line-height: 18px; border-radius: 9px; text-align: center;
  font-size: 11px; font-weight: 700; color: #fff; background: var(--brand); }
.shot { max-width: 260px; max-height: 520px; border: 1px solid var(--line); border-radius: 12px; }
.actions { display: flex; gap: 8px; margin: 12px 0; flex-wrap: wrap; }
button.primary, .actions button, .prefs button { font: inherit; padding: 6px 12px; border-radius: 7px; border: 1px solid var(--line);
  background: var(--panel); color: var(--text); cursor: pointer; }
.actions button.primary { background: var(--brand); border-color: var(--brand); color: #fff; }
.actions button.danger { color: #c0392b; }
.error { color: #c0392b; }
.prefs { max-width: 640px; padding: 8px 20px 18px; }
.prefs label { display: flex; gap: 10px; align-items: flex-start; padding: 12px 0; border-bottom: 1px solid var(--line); }
.prefs label input { margin-top: 3px; }
.prefs .key { font-weight: 600; display: block; }
.prefs .hint { color: var(--muted); }
a { color: var(--brand); }
[hidden] { display: none !important; }
@media (max-width: 700px) { .inbox { grid-template-columns: 1fr; } }
`;

function pageScript() {
  const helpers = [escapeHtml, statusTitle, statusGroup, formatTime, entryHtml, detailHtml].map(String).join('\n');
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
  if (shownReport) detail.innerHTML = detailHtml(shownReport, confirmRevert);
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
