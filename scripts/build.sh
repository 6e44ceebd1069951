#!/usr/bin/env bash
# Configures (once) and builds Tallyrig into build/, showing only warnings and errors.
set -euo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [[ ! -f build/CMakeCache.txt ]]; then
    cmake --preset default >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
fi
jobs=$(nproc 2>/dev/null || sysctl -n hw.ncpu)
if ! cmake --build --preset default -j "$jobs" >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
grep -E 'warning:' "$log" || true
# On a Mac, a bundle that opens from the Finder and keeps its accessibility grant: Qt and Node.js's
# own build deployed into it, signed with this Mac's own identity (scripts/setup.sh makes it).
if [[ "$(uname -s)" == "Darwin" ]]; then
    cmake --build --preset default --target mac_bundle >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
fi
