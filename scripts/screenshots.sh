#!/usr/bin/env bash
# Saves pictures of the app's main states into screenshots/ (or the folder given), under Xvfb,
# with fresh settings so it looks like a first launch: the main window's, and the Simulator
# panel's over a desktop with a compositing manager, so the panel is translucent as on a desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
scripts/build.sh
out=$(realpath -m "${1:-screenshots}")
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
export XDG_CONFIG_HOME="$config" QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb
tools=build/tools
# shellcheck disable=SC2016
xvfb-run -a -s "-screen 0 1400x1000x24" bash -c '
    xcompmgr -n & compositor=$!
    sleep 0.5
    "$1/tallyrig_panel_screenshots" "$2"
    kill "$compositor"
    "$1/tallyrig_screenshots" "$2"
' screenshots "$tools" "$out"
