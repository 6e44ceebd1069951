#!/usr/bin/env bash
# Starts the stand-in device simulator (its xcrun first on PATH) and prints once a second what
# Tallyrig's targeting code finds: the front device window, its device screen, and the element under
# the mouse. Move the mouse over the stand-in and watch; Ctrl+C ends both.
#
#   scripts/try-targeting.sh [stand-in options…]     e.g. --device "iPad Air" --runtime "iPadOS 17.2"
#
# Needs an X11 desktop ($DISPLAY; XWayland counts) with the accessibility bus (at-spi2-core).
# TRY_TARGETING_ONCE=1 prints one look and stops (for a check without a person at the mouse).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
standin="$root/tools/standin-simulator"
tool="$root/build/tools/tallyrig-try-targeting"

missing() {
    echo "try-targeting: $*" >&2
    exit 1
}

[[ "$(uname -s)" == "Linux" ]] || missing "this tries the Linux targeting code; on macOS use the real Simulator."
[[ -n "${DISPLAY:-}" ]] || missing "there is no X display (DISPLAY is not set). Run it in a desktop session.
Without one, scripts/with-desktop.sh $0 shows the output on a private desktop (with no mouse to move)."
[[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" || -S "${XDG_RUNTIME_DIR:-/nonexistent}/bus" ]] ||
    missing "there is no session D-Bus, so accessibility cannot be reached."
/usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0"); from gi.repository import Gtk' 2>/dev/null ||
    missing "the stand-in simulator needs Python 3 with GTK 3 (scripts/setup.sh --test installs it)."

if [[ ! -x "$tool" ]]; then
    echo "Building tallyrig-try-targeting…"
    [[ -f "$root/build/CMakeCache.txt" ]] || cmake --preset default -S "$root" >/dev/null
    cmake --build "$root/build" --target tallyrig-try-targeting -j2 >/dev/null ||
        missing "building failed; run scripts/build.sh to see why."
fi

export PATH="$standin/bin:$PATH"

# Applications expose their accessibility tree only when it is on when they start, so ask first.
if ! "$tool" --request-access; then
    echo "Without accessibility the window is still found, titled \"Simulator\", and nothing under the mouse is named." >&2
fi

out=$(mktemp "${TMPDIR:-/tmp}/tallyrig-try-targeting.XXXXXX")
"$standin/standin-simulator" "$@" >"$out" 2>&1 &
standin_pid=$!
cleanup() {
    kill "$standin_pid" 2>/dev/null || true
    wait "$standin_pid" 2>/dev/null || true
    rm -f "$out"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# It prints a line per device once its windows are on screen.
for _ in $(seq 200); do
    grep -q '"udid"' "$out" && break
    kill -0 "$standin_pid" 2>/dev/null || { cat "$out" >&2; missing "the stand-in simulator did not start."; }
    sleep 0.1
done
grep -q '"udid"' "$out" || missing "the stand-in simulator showed no window within 20 seconds."
echo "Stand-in simulator running (process $standin_pid). Move the mouse over its screen; Ctrl+C to stop."
"$tool" ${TRY_TARGETING_ONCE:+--once}
