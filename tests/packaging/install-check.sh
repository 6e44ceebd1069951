#!/bin/sh
# Installs the build into a scratch prefix and checks that the result carries what it says: the
# bundle without build tools, a real runtime (not a link to the build machine's), the dashboard's
# module, and a desktop entry that starts the installed app.
# Arguments: the cmake executable, the build folder, ON or OFF (whether the build carries a runtime).
set -eu
cmake=$1 build=$2 runtime=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

desktop="$prefix/share/applications/tallyrig.desktop"
[ -f "$desktop" ] || fail "no desktop entry at $desktop"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
case "$exec_line" in
"$prefix"/*) ;;
*) fail "the desktop entry starts $exec_line, outside the prefix $prefix" ;;
esac
[ -x "$exec_line" ] || fail "the desktop entry's program $exec_line is not there"

contents=$(dirname "$(dirname "$exec_line")")
[ -f "$contents/PlugIns/libtallyrig_dashboard.so" ] || fail "no dashboard module in $contents/PlugIns"
[ -f "$prefix/share/icons/hicolor/scalable/apps/tallyrig.svg" ] || fail "no icon"
found=$(find "$prefix" -name 'tallyrig_screenshots*' -o -name 'bench_*' -o -name 'tst_*')
[ -z "$found" ] || fail "build tools installed: $found"

node="$contents/Helpers/node"
if [ "$runtime" = ON ]; then
    [ -L "$node" ] && fail "$node is a link to $(readlink "$node")"
    [ -f "$node" ] && [ -x "$node" ] || fail "no runtime at $node"
    "$node" --version >/dev/null || fail "the installed runtime does not run"
    [ -f "$contents/Resources/bridge/bin/tallyrig.mjs" ] || fail "no bridge script"
else
    [ ! -e "$node" ] || fail "a build without the runtime installed one at $node"
fi
echo "installed to $prefix: $exec_line"
