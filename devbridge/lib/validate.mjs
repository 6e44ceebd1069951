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

export function decodeScreenshot(text) {
  if (typeof text !== 'string') fail('screenshotPNG must be a string');
  if (text.length === 0) fail('screenshotPNG is empty');
  if (text.length % 4 !== 0) fail('screenshotPNG must be standard padded base64 without line breaks');
  const bytes = Buffer.from(text, 'base64');
  // Node decodes leniently (it skips line breaks and takes the URL-safe alphabet); only the
  // canonical text survives the round trip. A pattern test over megabytes would cost far more.
  if (bytes.toString('base64') !== text) fail('screenshotPNG must be standard padded base64 without line breaks');
  if (bytes.length < PNG_SIGNATURE.length || !bytes.subarray(0, PNG_SIGNATURE.length).equals(PNG_SIGNATURE)) {
    fail('screenshotPNG is not a PNG image');
  }
  return bytes;
}

function validateElement(value) {
  if (!isObject(value)) fail('element must be an object');
  const frame = requiredObject(value, 'frame', 'element.frame');
  const element = {
    name: requiredString(value, 'name', 'element.name'),
    type: requiredString(value, 'type', 'element.type'),
    resolution: requiredString(value, 'resolution', 'element.resolution'),
    frame: {
      x: finiteNumber(frame, 'x', 'element.frame.x'),
      y: finiteNumber(frame, 'y', 'element.frame.y'),
      width: finiteNumber(frame, 'width', 'element.frame.width'),
      height: finiteNumber(frame, 'height', 'element.frame.height'),
    },
  };
  const identifier = optionalString(value, 'identifier', 'element.identifier');
  if (identifier !== undefined) element.identifier = identifier;
  const label = optionalString(value, 'accessibilityLabel', 'element.accessibilityLabel');
  if (label !== undefined) element.accessibilityLabel = label;
  return element;
}

// submission: true for /report (screenshot required, comment non-empty), false for /packet.
export function validateReport(body, { submission }) {
  if (!isObject(body)) fail('The body must be a JSON object');
  const comment = requiredString(body, 'comment');
  if (submission && comment.trim() === '') fail('comment must not be empty');
  const platform = requiredString(body, 'platform');
  if (platform !== 'ios') fail('platform must be "ios"');
  const screen = requiredString(body, 'screen');
  const touchValue = requiredObject(body, 'touch');
  const touch = { x: finiteNumber(touchValue, 'x', 'touch.x'), y: finiteNumber(touchValue, 'y', 'touch.y') };
  const simulator = requiredString(body, 'simulator');
  const device = requiredString(body, 'device');
  const viewport = requiredString(body, 'viewport');
  if (!VIEWPORT.test(viewport)) fail('viewport must look like 393x852');

  const report = { comment, platform, screen, touch, simulator, device, viewport };
  const category = optionalString(body, 'category');
  if (category !== undefined) report.category = category;
  const element = member(body, 'element');
  if (element !== undefined && element !== null) report.element = validateElement(element);

  let screenshot = null;
  if (submission) {
    const text = member(body, 'screenshotPNG');
    if (text === undefined || text === null) fail('screenshotPNG is required');
    screenshot = decodeScreenshot(text);
  }
  return { report, screenshot };
}
