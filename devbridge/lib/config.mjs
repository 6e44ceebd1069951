import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const CONFIG_NAME = 'tallyrig.config.json';
export const DEFAULT_PORT = 4747;

const INT64_LIMIT = 2 ** 63;

// The app searches from the folder the user opened without resolving links;
// getcwd() has already resolved them, so prefer $PWD when it names the same folder.
export function startFolder(env = process.env) {
  const cwd = process.cwd();
  const pwd = env.PWD;
  if (pwd && path.isAbsolute(pwd)) {
    try {
      if (fs.realpathSync(pwd) === fs.realpathSync(cwd)) return path.resolve(pwd);
    } catch {
      // a stale $PWD is simply not used
    }
  }
  return cwd;
}

export function findConfigFile(folder) {
  let dir = path.resolve(folder);
  for (;;) {
    const candidate = path.join(dir, CONFIG_NAME);
    if (fs.existsSync(candidate)) return candidate;
    if (fs.existsSync(path.join(dir, '.git'))) return null;
    const parent = path.dirname(dir);
    if (parent === dir) return null;
    dir = parent;
  }
}

export function readPort(file) {
  if (!file) return DEFAULT_PORT;
  let text;
  try {
    // A FIFO or device under that name would block the read forever.
    if (!fs.statSync(file).isFile()) return DEFAULT_PORT;
    text = fs.readFileSync(file, 'utf8');
  } catch {
    return DEFAULT_PORT;
  }
  let value;
  try {
    value = JSON.parse(text.replace(/^\uFEFF/, ''));
  } catch {
    return DEFAULT_PORT;
  }
  if (value === null || typeof value !== 'object' || Array.isArray(value)) return DEFAULT_PORT;
  if (!Object.hasOwn(value, 'port')) return DEFAULT_PORT;
  const port = value.port;
  if (typeof port === 'number' && Number.isInteger(port) && port >= -INT64_LIMIT && port < INT64_LIMIT) {
    return port;
  }
  return DEFAULT_PORT;
}

export function isUsablePort(port) {
  return Number.isInteger(port) && port >= 1 && port <= 65535;
}

// Everything the commands need to know about where they run.
export function locateProject(env = process.env) {
  const folder = startFolder(env);
  const configFile = findConfigFile(folder);
  const port = readPort(configFile);
  const served = configFile ? path.dirname(configFile) : folder;
  let project;
  try {
    project = fs.realpathSync(served);
  } catch {
    project = served;
  }
  return { folder, configFile, port, project };
}

export function pidFilePath(port) {
  return path.join(os.tmpdir(), `tallyrig-bridge-${port}.json`);
}

// Same rule as the app: the bridge serves a folder when it is that folder or lies above it.
export function servesFolder(project, folder) {
  let real;
  try {
    real = fs.realpathSync(folder);
  } catch {
    real = path.resolve(folder);
  }
  return real === project || real.startsWith(project.endsWith('/') ? project : project + '/');
}
