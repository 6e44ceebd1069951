#!/bin/sh
# Runs the bridge's tests with the node on PATH, or with $NODE.
set -e
cd "$(dirname "$0")"
exec "${NODE:-node}" --test api.test.mjs cli.test.mjs page.test.mjs runs.test.mjs mcp.test.mjs places.test.mjs store.test.mjs
