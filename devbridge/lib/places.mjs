import fs from 'node:fs';
import path from 'node:path';
import { git, topLevel } from './git.mjs';

// Where an element is likely defined: its accessibility identifier, its label as a string
// literal, or a localisation key whose value is the label, ranked in that order, source
// files above tests.

const PER_PIN = 3;
const TEXT_LIMIT = 160;
const PLAIN_FILE_LIMIT = 1024 * 1024;
const TEST_PATH = /(^|\/)(tests?|specs?|__tests__|[^/]*Tests)\/|(Tests?|Spec|_test|\.test|\.spec)\.[A-Za-z]+$/;
const STRINGS_FILE = /\.(strings|xcstrings|stringsdict)$/;
// Build output and vendored code: git leaves them out at the project's top, the walk anywhere.
const VENDORED = ['node_modules', 'build', '.build', 'DerivedData', 'Pods', 'Carthage'];
const SKIP_DIRS = new Set(['.git', '.tallyrig', ...VENDORED]);
const PATHSPECS = ['.', ...VENDORED.map((dir) => `:(exclude,literal)${dir}`)];

function literal(text) {
  return `"${text.replace(/\\/g, '\\\\').replace(/"/g, '\\"')}"`;
}

// [{ path, line, text }] for lines holding any of `needles`, through git grep or a plain walk.
async function search(project, needles) {
  if (needles.length === 0) return [];
  const root = await topLevel(project);
  if (root) {
    const args = ['grep', '-n', '-I', '-F', '-z', '--no-color', '--max-count', '50'];
    for (const needle of needles) args.push('-e', needle);
    let out;
    try {
      out = await git(project, [...args, '--', ...PATHSPECS]);
    } catch (error) {
      // git grep answers 1 when nothing matches
      return [];
    }
    const hits = [];
    for (const entry of out.toString('utf8').split('\n')) {
      const [file, line, ...rest] = entry.split('\0');
      if (rest.length === 0) continue;
      hits.push({ path: file, line: Number(line), text: rest.join('\0') });
    }
    return hits;
  }
  return walkSearch(project, needles);
}

function walkSearch(project, needles) {
  const hits = [];
  const visit = (relative) => {
    let items;
    try {
      items = fs.readdirSync(path.join(project, relative), { withFileTypes: true });
    } catch {
      return;
    }
    for (const item of items) {
      const p = relative ? `${relative}/${item.name}` : item.name;
      if (item.isDirectory()) {
        if (!SKIP_DIRS.has(item.name)) visit(p);
        continue;
      }
      if (!item.isFile()) continue;
      const file = path.join(project, p);
      let bytes;
      try {
        if (fs.statSync(file).size > PLAIN_FILE_LIMIT) continue;
        bytes = fs.readFileSync(file);
      } catch {
        continue;
      }
      if (bytes.includes(0)) continue;
      const text = bytes.toString('utf8');
      if (!needles.some((n) => text.includes(n))) continue;
      text.split('\n').forEach((line, i) => {
        if (needles.some((n) => line.includes(n))) hits.push({ path: p, line: i + 1, text: line });
      });
    }
  };
  visit('');
  return hits;
}

// Keys whose value is `label`, from the .strings and .xcstrings lines that hold it.
function localisationKeys(project, label, hits) {
  const keys = new Set();
  const quoted = literal(label);
  for (const hit of hits) {
    if (!STRINGS_FILE.test(hit.path)) continue;
    if (hit.path.endsWith('.strings')) {
      const match = /^\s*"((?:[^"\\]|\\.)*)"\s*=\s*"((?:[^"\\]|\\.)*)"\s*;/.exec(hit.text);
      if (match && literal(match[2].replace(/\\(.)/g, '$1')) === quoted && match[1] !== label) keys.add(match[1]);
    } else if (hit.path.endsWith('.xcstrings')) {
      for (const key of catalogKeys(path.join(project, hit.path), label)) keys.add(key);
    }
  }
  return [...keys];
}

const catalogs = new Map();
function catalogKeys(file, label) {
  let catalog = catalogs.get(file);
  if (catalog === undefined) {
    try {
      catalog = JSON.parse(fs.readFileSync(file, 'utf8'));
    } catch {
      catalog = null;
    }
    catalogs.set(file, catalog);
  }
  const keys = [];
  const strings = catalog && typeof catalog.strings === 'object' ? catalog.strings : {};
  for (const [key, entry] of Object.entries(strings ?? {})) {
    const localizations = entry && typeof entry.localizations === 'object' ? Object.values(entry.localizations ?? {}) : [];
    if (key !== label && localizations.some((l) => l && l.stringUnit && l.stringUnit.value === label)) keys.push(key);
  }
  return keys;
}

function rank(hits, needle, score) {
  return hits.filter((h) => !STRINGS_FILE.test(h.path) && h.text.includes(needle)).map((h) => ({ ...h, score }));
}

function best(candidates) {
  const seen = new Set();
  return candidates
    .sort((a, b) => b.score - a.score || TEST_PATH.test(a.path) - TEST_PATH.test(b.path) || a.path.localeCompare(b.path) || a.line - b.line)
    .filter((h) => {
      const key = `${h.path}:${h.line}`;
      if (seen.has(key)) return false;
      seen.add(key);
      return true;
    })
    .slice(0, PER_PIN)
    .map(({ path: p, line, text }) => {
      const trimmed = text.trim();
      return { path: p, line, text: trimmed.length > TEXT_LIMIT ? `${trimmed.slice(0, TEXT_LIMIT)}…` : trimmed };
    });
}

// One list of places per element (null elements get none).
export async function whereToLook(project, elements) {
  const needles = new Set();
  for (const e of elements) {
    if (!e) continue;
    if (e.identifier && e.identifier.trim().length >= 2) needles.add(e.identifier);
    if (e.accessibilityLabel && e.accessibilityLabel.trim()) needles.add(literal(e.accessibilityLabel));
  }
  const hits = await search(project, [...needles]);
  const keyed = elements.map((e) => (e && e.accessibilityLabel ? localisationKeys(project, e.accessibilityLabel, hits) : []));
  const keyNeedles = [...new Set(keyed.flat().map(literal))].filter((k) => !needles.has(k));
  const keyHits = keyNeedles.length ? await search(project, keyNeedles) : [];
  catalogs.clear();
  return elements.map((e, i) => {
    if (!e) return [];
    const candidates = [];
    if (e.identifier && needles.has(e.identifier)) {
      candidates.push(...rank(hits, literal(e.identifier), 4), ...rank(hits, e.identifier, 3));
    }
    for (const key of keyed[i]) candidates.push(...rank([...hits, ...keyHits], literal(key), 2));
    if (e.accessibilityLabel) candidates.push(...rank(hits, literal(e.accessibilityLabel), 1));
    return best(candidates);
  });
}
