#!/usr/bin/env node
import { main } from '../lib/cli.mjs';

// A reader that went away (the app quit) must not bring the bridge down.
process.stdout.on('error', () => {});
process.stderr.on('error', () => {});
process.on('uncaughtException', (error) => {
  process.stderr.write(`Unexpected error, still running: ${error && error.stack ? error.stack : error}\n`);
});

const code = await main(process.argv.slice(2));
process.exitCode = code;
// Whatever still holds the event loop open must not keep a finished command alive.
setTimeout(() => process.exit(code), 3000).unref();
