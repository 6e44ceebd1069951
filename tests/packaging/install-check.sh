#!/bin/sh
# Installs the build into a scratch prefix and checks that the result carries what it says: the
# bundle without build tools, a real runtime (not a link to the build machine's), the dashboard's
# module, a `tallyrig` command and a desktop entry that start the installed app, its metainfo and
# its icons.
# Arguments: the cmake executable, the build folder, ON or OFF (whether the build carries a runtime).
set -eu
cmake=$1 build=$2 runtime=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

id=dev.tallyrig.Tallyrig
desktop="$prefix/share/applications/$id.desktop"
[ -f "$desktop" ] || fail "no desktop entry at $desktop"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
case "$exec_line" in
"$prefix"/*) ;;
*) fail "the desktop entry starts $exec_line, outside the prefix $prefix" ;;
esac
[ "$exec_line" = "$prefix/bin/tallyrig" ] || fail "the desktop entry starts $exec_line, not the tallyrig command"
[ -x "$exec_line" ] || fail "the desktop entry's program $exec_line is not there"
# The command is a link that the app follows to its bundle.
executable=$(realpath "$exec_line")
case "$executable" in
"$prefix"/*/Tallyrig.app/Contents/MacOS/Tallyrig) ;;
*) fail "the tallyrig command leads to $executable, not to the installed bundle" ;;
esac

contents=$(dirname "$(dirname "$executable")")
[ -f "$contents/PlugIns/libtallyrig_dashboard.so" ] || fail "no dashboard module in $contents/PlugIns"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no icon"
[ -f "$prefix/share/icons/hicolor/48x48/apps/$id.png" ] || fail "no 48-point icon"
[ -f "$prefix/share/metainfo/$id.metainfo.xml" ] || fail "no metainfo"
found=$(find "$prefix" -name 'tallyrig_*' -o -name 'bench_*' -o -name 'tst_*')
[ -z "$found" ] || fail "build tools installed: $found"

node="$contents/Helpers/node"
if [ "$runtime" = ON ]; then
    [ -L "$node" ] && fail "$node is a link to $(readlink "$node")"
    [ -f "$node" ] && [ -x "$node" ] || fail "no runtime at $node"
    "$node" --version >/dev/null || fail "the installed runtime does not run"
    [ -f "$contents/Resources/bridge/bin/tallyrig.mjs" ] || fail "no bridge script"
    [ -f "$contents/Resources/bridge/node_modules/@modelcontextprotocol/sdk/package.json" ] || fail "no MCP SDK in the bridge"
    # The command runs the bridge for its bridge commands, not the app.
    expected=$("$node" "$contents/Resources/bridge/bin/tallyrig.mjs" --version)
    actual=$("$prefix/bin/tallyrig" --version 2>&1) || fail "tallyrig --version failed: $actual"
    [ "$actual" = "$expected" ] || fail "tallyrig --version printed $actual, not the bridge's $expected"
else
    [ ! -e "$node" ] || fail "a build without the runtime installed one at $node"
fi
echo "installed to $prefix: $exec_line"
