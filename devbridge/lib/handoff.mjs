import { number, pinsOf } from './prompt.mjs';

// What an MCP agent is handed: the report as text, with its pins and where to look, and the
// pictures' paths. The pictures themselves it fetches over HTTP.
export function handoffText(report, { screenshot, annotated }) {
  const window = report.target === 'window';
  const unit = window ? 'logical pixels from the window’s top-left corner' : 'device points from the screen’s top-left corner';
  const lines = [`Report ${report.id} (${report.status})`, '', 'Request:', report.comment.trim(), ''];
  lines.push(window ? `App: ${report.device}, a desktop window` : `Device: ${report.device} (${report.viewport.replace('x', ' × ')} points)`);
  lines.push(`${window ? 'Window' : 'Screen'}: ${report.screen}`);
  if (report.category) lines.push(`Category: ${report.category}`);
  lines.push('', `Pins, numbered as on the annotated screenshot; positions in ${unit}:`);
  const places = report.places ?? [];
  pinsOf(report).forEach((pin, i) => {
    const e = pin.element;
    const touch = `touch x ${number(pin.touch.x)}, y ${number(pin.touch.y)}`;
    if (!e) {
      lines.push(`${i + 1}. No element under the touch point; ${touch}`);
    } else {
      const f = e.frame;
      lines.push(`${i + 1}. ${e.name}, role ${e.type}`);
      if (e.identifier !== undefined) lines.push(`   identifier: ${e.identifier}`);
      if (e.accessibilityLabel !== undefined) lines.push(`   label: ${e.accessibilityLabel}`);
      lines.push(`   frame: x ${number(f.x)}, y ${number(f.y)}, width ${number(f.width)}, height ${number(f.height)}`);
      lines.push(`   ${touch}`);
    }
    for (const place of places[i] ?? []) lines.push(`   look at ${place.path}:${place.line}: ${place.text}`);
  });
  lines.push('');
  if (screenshot) lines.push(`Screenshot: ${screenshot}`);
  if (annotated) lines.push(`Annotated screenshot: ${annotated}`);
  if (report.summary) lines.push('', `Agent’s summary: ${report.summary}`);
  if (report.changes) lines.push('', `Files changed: ${report.changes.length ? report.changes.map((c) => `${c.path} (${c.kind})`).join(', ') : 'none'}`);
  return lines.join('\n');
}

export function mcpAnswer(store, report) {
  const files = store.paths(report.id);
  const paths = {
    screenshot: report.hasScreenshot ? files.screenshot : null,
    annotated: report.hasAnnotatedScreenshot ? files.annotated : null,
  };
  return { report, ...paths, text: handoffText(report, paths) };
}
