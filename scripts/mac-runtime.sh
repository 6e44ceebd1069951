#!/usr/bin/env bash
# Copies a Node.js into the bundle as its runtime, only if it needs no library beyond the system's:
# the bundle is opened on Macs that have nothing else installed.
set -euo pipefail
node=$1 helper=$2
if [[ ! -x "$node" ]]; then
    echo "No Node.js at $node: run scripts/setup.sh, or configure with -DTALLYRIG_BUNDLED_NODE=<node>" >&2
    exit 1
fi
foreign=$(otool -L "$node" | tail -n +2 | awk '{ print $1 }' | grep -vE '^(/usr/lib/|/System/)' || true)
if [[ -n "$foreign" ]]; then
    echo "$node needs libraries the bundle does not carry:" >&2
    echo "$foreign" >&2
    exit 1
fi
# Removed first: copying onto the build's link would write through it.
rm -f "$helper"
cp "$node" "$helper"
