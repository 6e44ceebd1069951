import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { ReportStore } from '../lib/store.mjs';
import { validateReport } from '../lib/validate.mjs';
import { reportBody, tempDir } from './helpers.mjs';

function open(dir) {
  const store = new ReportStore({ project: dir });
  store.load();
  return store;
}

async function add(store, comment) {
  const { report, screenshot } = validateReport(reportBody({ comment }), { submission: true });
  return store.add(report, screenshot, null);
}

// Sorted: reports made within one millisecond have no order a folder tells.
const listed = (store) => JSON.parse(store.summariesText()).map((r) => `${r.comment}: ${r.status}`).sort();
const folderOf = (dir, id) => path.join(dir, '.tallyrig', 'reports', id);

describe('a restart', () => {
  // What the previous bridge did, and what the next one lists. Each previous bridge writes its
  // index first; only "stopped" brings it up to date again before it goes.
  const cases = [
    ['stopped', (store, ids) => store.setStatus(store.get(ids.b), 'queued'), ['a: sent', 'b: queued', 'c: sent']],
    ['killed after a change', (store, ids) => store.setStatus(store.get(ids.a), 'fixing'), ['a: interrupted', 'b: sent', 'c: sent']],
    ['killed after a new report', (store) => add(store, 'd'), ['a: sent', 'b: sent', 'c: sent', 'd: sent']],
    ['gone with a folder removed by hand', (store, ids, dir) => fs.rmSync(folderOf(dir, ids.b), { recursive: true }), ['a: sent', 'c: sent']],
  ];

  for (const [name, change, expected] of cases) {
    test(`lists what the folders hold after a bridge ${name}`, async (t) => {
      const dir = tempDir(t);
      const before = open(dir);
      const ids = {};
      for (const comment of ['a', 'b', 'c']) ids[comment] = (await add(before, comment)).id;
      await before.writeIndex();
      assert.ok(fs.existsSync(before.indexFile));
      await change(before, ids, dir);
      if (name === 'stopped') before.close();
      const detail = JSON.stringify(before.get(ids.c));

      const after = open(dir);
      assert.deepEqual(listed(after), expected);
      assert.equal(JSON.stringify(after.get(ids.c)), detail);
      assert.equal(after.indexed, name === 'stopped');
      after.close();
      assert.deepEqual(listed(open(dir)), expected);
    });
  }
});
