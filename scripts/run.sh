#!/usr/bin/env bash
# Installs what is missing, builds, and launches Tallyrig.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# Chromium's sandbox refuses to run as root; a root session gets the web view without it.
if [[ $EUID -eq 0 ]]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
exec build/Tallyrig.app/Contents/MacOS/Tallyrig "$@"
