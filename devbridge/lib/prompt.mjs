// The Markdown the panel's Copy as Prompt makes, from a stored report, plus what only the
// bridge knows: the pictures on disk and where to look in the repository.

// As the app prints numbers: at most 12 significant digits.
export function number(value) {
  return typeof value === 'number' && Number.isFinite(value) ? String(Number(value.toPrecision(12))) : '?';
}

// The pins, numbered; an older body without `elements` has its one element and touch.
export function pinsOf(report) {
  if (Array.isArray(report.elements) && report.elements.length) return report.elements;
  return [{ index: 1, touch: report.touch, element: report.element }];
}

function webTag(dom) {
  let text = `<${dom.tag ?? 'element'}`;
  if (dom.id !== undefined) text += ` id="${dom.id}"`;
  if (dom.class !== undefined) text += ` class="${dom.class}"`;
  return `${text}>`;
}

export function markdown(report) {
  const window = report.target === 'window';
  const lines = [];
  const request = report.comment.trim();
  if (request) lines.push('## Request', '', request, '');
  lines.push('## Where', '');
  const [width, height] = report.viewport.split('x');
  if (window) {
    const scale = report.application && typeof report.application.scale === 'number' ? number(report.application.scale) : '1';
    lines.push(`- App: ${report.device}, a desktop window`);
    lines.push(`- Window: ${report.screen}, ${width} \u00d7 ${height} logical pixels at scale ${scale}`);
  } else {
    lines.push('- App: iOS, in the Simulator');
    lines.push(`- Device: ${report.device}, ${width} \u00d7 ${height} points`);
    lines.push(`- Screen: ${report.screen}`);
  }
  if (report.category) lines.push(`- Category: ${report.category}`);
  lines.push('', '## Elements', '');
  lines.push(
    window
      ? 'Numbered as on the attached screenshot; positions in logical pixels from the window\u2019s top-left corner.'
      : 'Numbered as on the attached screenshot; positions in device points from the screen\u2019s top-left corner.',
    '',
  );
  pinsOf(report).forEach((pin, i) => {
    const n = `${i + 1}. `;
    const indent = ' '.repeat(n.length);
    const e = pin.element;
    if (!e) {
      lines.push(`${n}No element under the touch point`);
    } else {
      lines.push(`${n}**${e.name}** (${e.type})`);
      if (e.identifier !== undefined) lines.push(`${indent}- Identifier: \`${e.identifier}\``);
      if (e.accessibilityLabel !== undefined) lines.push(`${indent}- Label: ${e.accessibilityLabel}`);
      if (window) {
        if (e.description !== undefined) lines.push(`${indent}- Description: ${e.description}`);
        if (e.states && e.states.length) lines.push(`${indent}- States: ${e.states.join(', ')}`);
        if (e.dom) lines.push(`${indent}- Web: \`${webTag(e.dom)}\``);
      }
      const f = e.frame;
      lines.push(`${indent}- Frame: x ${number(f.x)}, y ${number(f.y)}, width ${number(f.width)}, height ${number(f.height)}`);
    }
    lines.push(`${indent}- Touch point: x ${number(pin.touch.x)}, y ${number(pin.touch.y)}`);
  });
  return `${lines.join('\n')}\n`;
}

// places: one list per pin, as whereToLook gives them.
export function agentPrompt(report, { screenshot, annotated, places }) {
  const lines = ['', '## Screenshots', ''];
  if (screenshot) lines.push(`- Screenshot: \`${screenshot}\``);
  if (annotated) lines.push(`- With the elements outlined and numbered: \`${annotated}\``);
  const found = (places ?? []).some((list) => list.length);
  if (found) {
    lines.push('', '## Where to look', '', 'Likely places for each element, best first:', '');
    places.forEach((list, i) => {
      if (!list.length) return;
      lines.push(`- Element ${i + 1}:`);
      for (const place of list) lines.push(`  ${placesLine(place)}`);
    });
  }
  lines.push('', 'Make the change in this repository, touching only what the request needs.');
  return `${markdown(report)}${lines.join('\n')}\n`;
}

function placesLine(place) {
  return `- \`${place.path}:${place.line}\`: \`${place.text.replace(/`/g, "'")}\``;
}
