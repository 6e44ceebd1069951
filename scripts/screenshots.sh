#!/usr/bin/env bash
# Saves pictures of the app's main states into screenshots/ (or the folder given), under Xvfb,
# with fresh settings so it looks like a first launch.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
scripts/build.sh
out=$(realpath -m "${1:-screenshots}")
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
export XDG_CONFIG_HOME="$config" QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1400x1000x24" build/tools/tallyrig_screenshots "$out"
