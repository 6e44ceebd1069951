#!/usr/bin/env bash
# Takes the screenshots the metainfo names, from the app itself, on the desktop it runs in (use
# scripts/with-desktop.sh --compositor, so that the panel is translucent as on a desktop): the main
# window as a first launch shows it, and the panel beside a stand-in device simulator. Arguments: the
# app's executable, the folder for the PNGs.
set -euo pipefail
cd "$(dirname "$0")/.."
app=$1 out=$2
mkdir -p "$out"
config=$(mktemp -d)
pids=()
finish() {
    ((${#pids[@]})) && kill "${pids[@]}" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$config"
}
trap finish EXIT
export XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=xcb

# The client rectangle of a window in root coordinates, as x y width height.
rectangle() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /^ *Width/ { w = $NF } /^ *Height/ { h = $NF } END { print x, y, w, h }'
}

# The first window the search finds within 20 seconds.
window() {
    timeout 20 xdotool search --sync --onlyvisible "$@" | head -n 1
}

"$app" >/dev/null 2>&1 &
pids+=($!)
main=$(window --pid "${pids[0]}" --name '^Tallyrig$')
[[ -n "$main" ]] || { echo "the app showed no window" >&2; exit 1; }
xdotool windowmove --sync "$main" 40 40
sleep 2 # its first paint, with the pointer away from every control
# shellcheck disable=SC2046
packaging/capture.py "$out/main-window.png" $(rectangle "$main")

xdotool windowminimize --sync "$main"
tools/standin-simulator/standin-simulator --position 80,60 >/dev/null 2>&1 &
pids+=($!)
device=$(window --pid "${pids[1]}")
panel=$(window --pid "${pids[0]}" --name '^Simulator Panel$')
[[ -n "$device" && -n "$panel" ]] || { echo "no simulator, or no panel beside it" >&2; exit 1; }
sleep 2 # placed beside the simulator and painted
read -r dx dy dw dh <<<"$(rectangle "$device")"
read -r px py pw ph <<<"$(rectangle "$panel")"
margin=40
left=$((dx < px ? dx : px)) top=$((dy < py ? dy : py))
right=$((dx + dw > px + pw ? dx + dw : px + pw)) bottom=$((dy + dh > py + ph ? dy + dh : py + ph))
packaging/capture.py "$out/simulator-panel.png" $((left - margin)) $((top - margin)) \
    $((right - left + 2 * margin)) $((bottom - top + 2 * margin))
echo "screenshots in $out"
