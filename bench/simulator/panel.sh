#!/usr/bin/env bash
# Measures the panel controller and the pick overlay on a private test desktop with the stand-in
# simulator (bench_panelcontroller). Build first (scripts/build.sh).
#
#   bench/simulator/panel.sh [--compositor] [bench_panelcontroller options…]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
desktop=()
if [[ "${1:-}" == "--compositor" ]]; then
    desktop=(--compositor)
    shift
fi
bench="$root/build/bench/simulator/bench_panelcontroller"
[[ -x "$bench" ]] || { echo "bench_panelcontroller is not built (scripts/build.sh)" >&2; exit 1; }
QT_QPA_PLATFORM=xcb exec "$root/scripts/with-desktop.sh" "${desktop[@]}" "$bench" "$@"
