#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite (on Linux inside a private test desktop:
# Xvfb, session and accessibility buses, a window manager; see with-desktop.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
scripts/build.sh
export QTWEBENGINE_DISABLE_SANDBOX=1
run=(ctest --preset default -j 2 "$@")
if [[ "$(uname -s)" != "Darwin" ]]; then
    run=(scripts/with-desktop.sh "${run[@]}")
fi
"${run[@]}"
