// The dashboard's style sheet.
export const STYLE = `
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
.diff { font: 12px/1.4 ui-monospace, SFMono-Regular, Menlo, monospace; background: var(--bg); border: 1px solid var(--line);
  border-radius: 8px; padding: 8px 10px; overflow: auto; max-height: 420px; white-space: pre; margin: 8px 0; }
.diff .add { color: var(--done); } .diff .del { color: #c0392b; } .diff .hunk { color: var(--muted); }
.failure { white-space: pre-wrap; font: 12px/1.4 ui-monospace, monospace; color: var(--muted); }
#agent-hint { margin: 0 0 12px; padding: 8px 12px; border-radius: 8px; border: 1px solid var(--line); background: var(--panel); }
#agent-hint code { font-size: 12px; }
[hidden] { display: none !important; }
@media (max-width: 700px) { .inbox { grid-template-columns: 1fr; } }
`;
