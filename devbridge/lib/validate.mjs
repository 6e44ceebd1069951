// Checks a report body and returns a clean copy holding only the members we know.
// Throws ValidationError with a message that names the offending member.

export class ValidationError extends Error {}

const PNG_SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
const VIEWPORT = /^[0-9]+x[0-9]+$/;

function fail(message) {
  throw new ValidationError(message);
}

function member(object, key) {
  return Object.hasOwn(object, key) ? object[key] : undefined;
}

function isObject(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value);
}

function requiredString(object, key, label = key) {
  const value = member(object, key);
  if (value === undefined) fail(`${label} is required`);
  if (typeof value !== 'string') fail(`${label} must be a string`);
  return value;
}

// A null optional member is read as absent: it carries no information either way.
function optionalString(object, key, label = key) {
  const value = member(object, key);
  if (value === undefined || value === null) return undefined;
  if (typeof value !== 'string') fail(`${label} must be a string`);
  return value;
}

function requiredObject(object, key, label = key) {
  const value = member(object, key);
  if (value === undefined) fail(`${label} is required`);
  if (!isObject(value)) fail(`${label} must be an object`);
  return value;
}

function finiteNumber(object, key, label) {
  const value = member(object, key);
  if (value === undefined) fail(`${label} is required`);
  if (typeof value !== 'number' || !Number.isFinite(value)) fail(`${label} must be a number`);
  return value;
}

// The most pins one report may carry.
export const MAX_PINS = 9;

export function decodeScreenshot(text, label = 'screenshotPNG') {
  if (typeof text !== 'string') fail(`${label} must be a string`);
  if (text.length === 0) fail(`${label} is empty`);
  if (text.length % 4 !== 0) fail(`${label} must be standard padded base64 without line breaks`);
  const bytes = Buffer.from(text, 'base64');
  // Node decodes leniently: it skips what is not base64 (line breaks, spaces, stray characters),
  // which leaves fewer bytes than the length promises, and it takes the URL-safe alphabet, which a
  // search finds. Both cost far less than a pattern test or a round trip over megabytes.
  const padding = text.endsWith('==') ? 2 : text.endsWith('=') ? 1 : 0;
  if (bytes.length !== (text.length / 4) * 3 - padding || text.includes('-') || text.includes('_')) {
    fail(`${label} must be standard padded base64 without line breaks`);
  }
  if (bytes.length < PNG_SIGNATURE.length || !bytes.subarray(0, PNG_SIGNATURE.length).equals(PNG_SIGNATURE)) {
    fail(`${label} is not a PNG image`);
  }
  return bytes;
}

function validatePoint(value, label) {
  if (value === undefined) fail(`${label} is required`);
  if (!isObject(value)) fail(`${label} must be an object`);
  return { x: finiteNumber(value, 'x', `${label}.x`), y: finiteNumber(value, 'y', `${label}.y`) };
}

function validateElement(value, label = 'element') {
  if (!isObject(value)) fail(`${label} must be an object`);
  const frame = requiredObject(value, 'frame', `${label}.frame`);
  const element = {
    name: requiredString(value, 'name', `${label}.name`),
    type: requiredString(value, 'type', `${label}.type`),
    resolution: requiredString(value, 'resolution', `${label}.resolution`),
    frame: {
      x: finiteNumber(frame, 'x', `${label}.frame.x`),
      y: finiteNumber(frame, 'y', `${label}.frame.y`),
      width: finiteNumber(frame, 'width', `${label}.frame.width`),
      height: finiteNumber(frame, 'height', `${label}.frame.height`),
    },
  };
  const identifier = optionalString(value, 'identifier', `${label}.identifier`);
  if (identifier !== undefined) element.identifier = identifier;
  const accessibilityLabel = optionalString(value, 'accessibilityLabel', `${label}.accessibilityLabel`);
  if (accessibilityLabel !== undefined) element.accessibilityLabel = accessibilityLabel;
  const description = optionalString(value, 'description', `${label}.description`);
  if (description !== undefined) element.description = description;
  const states = member(value, 'states');
  if (states !== undefined && states !== null) {
    if (!Array.isArray(states) || states.some((s) => typeof s !== 'string')) fail(`${label}.states must be an array of strings`);
    element.states = [...states];
  }
  const dom = member(value, 'dom');
  if (dom !== undefined && dom !== null) {
    if (!isObject(dom)) fail(`${label}.dom must be an object`);
    const kept = {};
    for (const key of ['tag', 'id', 'class']) {
      const text = optionalString(dom, key, `${label}.dom.${key}`);
      if (text !== undefined) kept[key] = text;
    }
    if (Object.keys(kept).length) element.dom = kept;
  }
  return element;
}

// A desktop window's application: its name, the window's title and class, and its scale.
function validateApplication(value) {
  const application = {
    name: requiredString(value, 'name', 'application.name'),
    title: requiredString(value, 'title', 'application.title'),
    scale: finiteNumber(value, 'scale', 'application.scale'),
    windowClass: requiredString(value, 'windowClass', 'application.windowClass'),
  };
  if (!(application.scale > 0)) fail('application.scale must be greater than 0');
  const executable = optionalString(value, 'executable', 'application.executable');
  if (executable !== undefined) application.executable = executable;
  return application;
}

// The pins, numbered 1, 2, 3… in order, each with its touch point and, when it hit one, its element.
function validateElements(value) {
  if (!Array.isArray(value)) fail('elements must be an array');
  if (value.length > MAX_PINS) fail(`elements must hold at most ${MAX_PINS} pins`);
  return value.map((pin, i) => {
    const label = `elements[${i}]`;
    if (!isObject(pin)) fail(`${label} must be an object`);
    const index = member(pin, 'index');
    if (index !== i + 1) fail(`${label}.index must be ${i + 1}`);
    const entry = { index, touch: validatePoint(member(pin, 'touch'), `${label}.touch`) };
    const element = member(pin, 'element');
    if (element !== undefined && element !== null) entry.element = validateElement(element, `${label}.element`);
    return entry;
  });
}

// submission: true for /report (screenshot required, comment non-empty), false for /packet.
export function validateReport(body, { submission }) {
  if (!isObject(body)) fail('The body must be a JSON object');
  const comment = requiredString(body, 'comment');
  if (submission && comment.trim() === '') fail('comment must not be empty');
  const platform = requiredString(body, 'platform');
  if (platform !== 'ios') fail('platform must be "ios"');
  const screen = requiredString(body, 'screen');
  const touch = validatePoint(member(body, 'touch'), 'touch');
  const simulator = requiredString(body, 'simulator');
  const device = requiredString(body, 'device');
  const viewport = requiredString(body, 'viewport');
  if (!VIEWPORT.test(viewport)) fail('viewport must look like 393x852');

  const report = { comment, platform, screen, touch, simulator, device, viewport };
  const target = optionalString(body, 'target');
  if (target !== undefined && target !== 'simulator' && target !== 'window') fail('target must be "simulator" or "window"');
  if (target !== undefined) report.target = target;
  if (target === 'window') report.application = validateApplication(requiredObject(body, 'application'));
  const category = optionalString(body, 'category');
  if (category !== undefined) report.category = category;
  const element = member(body, 'element');
  if (element !== undefined && element !== null) report.element = validateElement(element);
  const elements = member(body, 'elements');
  if (elements !== undefined && elements !== null) report.elements = validateElements(elements);

  let screenshot = null;
  let annotated = null;
  if (submission) {
    const text = member(body, 'screenshotPNG');
    if (text === undefined || text === null) fail('screenshotPNG is required');
    screenshot = decodeScreenshot(text);
    const annotatedText = member(body, 'annotatedScreenshotPNG');
    if (annotatedText !== undefined && annotatedText !== null) {
      annotated = decodeScreenshot(annotatedText, 'annotatedScreenshotPNG');
    }
  }
  return { report, screenshot, annotated };
}
