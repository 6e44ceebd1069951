import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

// crypto is loaded at the first hash: every module loaded before the bridge listens delays it.
const require = createRequire(import.meta.url);

let counter = 0;

export function tempName(file) {
  return `${file}.${process.pid}.${++counter}.tmp`;
}

// Readers never see half a file: write beside it, then rename over it.
export function writeAtomic(file, data, mode) {
  const temp = tempName(file);
  try {
    fs.writeFileSync(temp, data, mode === undefined ? undefined : { mode });
    if (mode !== undefined) fs.chmodSync(temp, mode);
    fs.renameSync(temp, file);
  } catch (error) {
    fs.rmSync(temp, { force: true });
    throw error;
  }
}

// One write of the whole buffer; fs.promises.writeFile would take 512 kB a trip to the thread pool.
export function writeFileAsync(file, data) {
  return new Promise((resolve, reject) => fs.writeFile(file, data, (error) => (error ? reject(error) : resolve())));
}

export function jsonText(value) {
  return `${JSON.stringify(value, null, 1)}\n`;
}

export function writeJson(file, value) {
  writeAtomic(file, jsonText(value));
}

export function readJson(file) {
  try {
    return JSON.parse(fs.readFileSync(file, 'utf8'));
  } catch {
    return null;
  }
}

// The same name git gives the content, so a clean tracked file's hash is its index entry's.
export function blobHash(bytes) {
  return require('node:crypto').createHash('sha1').update(`blob ${bytes.length}\0`).update(bytes).digest('hex');
}

// { hash, mode } of a regular file or link, or null when there is none.
export function fileState(file) {
  let stat;
  try {
    stat = fs.lstatSync(file);
  } catch {
    return null;
  }
  if (stat.isSymbolicLink()) return { hash: blobHash(Buffer.from(fs.readlinkSync(file))), mode: 0o120000, link: true };
  if (!stat.isFile()) return null;
  return { hash: blobHash(fs.readFileSync(file)), mode: stat.mode & 0o111 ? 0o755 : 0o644 };
}

export function lastLines(text, count = 20) {
  const lines = String(text).replace(/\s+$/, '').split('\n');
  return lines.slice(-count).join('\n');
}

export function readTail(file, bytes = 8192) {
  try {
    const fd = fs.openSync(file, 'r');
    try {
      const size = fs.fstatSync(fd).size;
      const length = Math.min(size, bytes);
      const buffer = Buffer.alloc(length);
      fs.readSync(fd, buffer, 0, length, size - length);
      return buffer.toString('utf8');
    } finally {
      fs.closeSync(fd);
    }
  } catch {
    return '';
  }
}

export function ensureDir(dir) {
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

export function inside(root, relative) {
  const full = path.resolve(root, relative);
  return full === root || full.startsWith(root.endsWith('/') ? root : `${root}/`) ? full : null;
}
