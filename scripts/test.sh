#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite (under Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
scripts/build.sh
export QTWEBENGINE_DISABLE_SANDBOX=1
run=(ctest --preset default -j 2 "$@")
if [[ -z "${DISPLAY:-}" && "$(uname -s)" != "Darwin" ]]; then
    run=(xvfb-run -a -s "-screen 0 1600x1000x24" "${run[@]}")
fi
"${run[@]}"
