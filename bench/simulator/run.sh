#!/usr/bin/env bash
# Measures the targeting code on a private test desktop: the stand-in simulator behind 30 other
# windows (6 processes of 5), then bench_targeting; with Firefox ESR and Chromium installed
# (scripts/setup.sh --test), the same hit test over tests/fixtures/page.html in each. Build first
# (scripts/build.sh).
#
#   bench/simulator/run.sh [--compositor] [bench_targeting options…]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
desktop=()
if [[ "${1:-}" == "--compositor" ]]; then
    desktop=(--compositor)
    shift
fi
bench="$root/build/bench/simulator/bench_targeting"
[[ -x "$bench" ]] || { echo "bench_targeting is not built (scripts/build.sh)" >&2; exit 1; }

if [[ -z "${TALLYRIG_BENCH_INSIDE:-}" ]]; then
    export TALLYRIG_BENCH_INSIDE=1
    exec "$root/scripts/with-desktop.sh" "${desktop[@]}" "$0" "$@"
fi

standin="$root/tools/standin-simulator"
export STANDIN_SIMULATOR_REGISTRY=$(mktemp -d "${TMPDIR:-/tmp}/tallyrig-bench-registry.XXXXXX")
work=$(mktemp -d "${TMPDIR:-/tmp}/tallyrig-bench.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$STANDIN_SIMULATOR_REGISTRY" "$work"
}
trap cleanup EXIT

# started_line <file>: waits up to 20 s for a first line in the file.
started_line() {
    for _ in $(seq 400); do
        [[ -s "$1" ]] && return 0
        sleep 0.05
    done
    echo "run.sh: nothing started ($1)" >&2
    exit 1
}

"$standin/standin-simulator" --position 700,120 >"$work/standin" 2>"$work/standin.err" &
pids+=($!)
started_line "$work/standin"
for n in 1 2 3 4 5 6; do
    "$here/other-windows.py" 5 >"$work/others$n" 2>/dev/null &
    pids+=($!)
done
for n in 1 2 3 4 5 6; do started_line "$work/others$n"; done

# The test page in each browser there is, each with a profile of its own and off the network.
page="$root/tests/fixtures/page.html"
pages=()
if command -v firefox-esr >/dev/null; then
    mkdir "$work/firefox"
    cp "$root/tests/fixtures/firefox-user.js" "$work/firefox/user.js"
    HOME="$work/firefox" firefox-esr --profile "$work/firefox" --no-remote --new-instance -width 900 -height 700 \
        "$page" >/dev/null 2>&1 &
    pids+=($!)
    pages+=(--page $!)
fi
if command -v chromium >/dev/null; then
    chromium --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --user-data-dir="$work/chromium" --window-position=60,60 \
        --window-size=900,700 "$page" >/dev/null 2>&1 &
    pids+=($!)
    pages+=(--page $!)
fi
# shown <pid>: true once the process has a window on screen.
shown() { xdotool search --onlyvisible --pid "$1" >/dev/null 2>&1; }
for ((i = 1; i < ${#pages[@]}; i += 2)); do
    for _ in $(seq 600); do shown "${pages[i]}" && break; sleep 0.05; done
done

PATH="$standin/bin:$PATH" "$bench" "${pages[@]}" "$@"
