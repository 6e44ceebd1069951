#!/usr/bin/env bash
# Runs a command inside a private test desktop: Xvfb (1600×1000×24) on a free display, a session
# D-Bus with the accessibility bus enabled, a window manager (openbox, or the one --wm names:
# xfwm4, metacity) and, with --compositor, xcompmgr. Everything it started, and everything the command left running, is stopped afterwards,
# also when the command fails or this script is interrupted. Exits with the command's status.
#
#   scripts/with-desktop.sh [--compositor] [--wm openbox|xfwm4|metacity] [--scale F] [--screen WxHxD]
#                           <command> [args…]
#
# TALLYRIG_TEST_WM gives the window manager when --wm does not. --scale runs the toolkit scaled by F
# (QT_SCALE_FACTOR) on a screen F times as large, so that it holds as many points as at scale 1.
#
# Inside a desktop made by this script the command simply runs there (tests can wrap themselves).
set -euo pipefail

compositor=false
wm=${TALLYRIG_TEST_WM:-openbox}
scale=
screen=1600x1000x24
while (($#)); do
    case "$1" in
        --compositor) compositor=true; shift ;;
        --screen) screen=$2; shift 2 ;;
        --wm) wm=$2; shift 2 ;;
        --scale) scale=$2; shift 2 ;;
        --) shift; break ;;
        -*) echo "with-desktop: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
(($#)) || { echo "usage: with-desktop.sh [--compositor] [--wm openbox|xfwm4|metacity] [--scale F] [--screen WxHxD] <command> [args…]" >&2; exit 2; }
if [[ -n "$scale" ]]; then
    screen=$(awk -v s="$scale" -v screen="$screen" 'BEGIN { split(screen, d, "x"); printf "%dx%dx%d", d[1] * s, d[2] * s, d[3] }')
    export QT_SCALE_FACTOR=$scale
fi
case $wm in
    openbox | xfwm4 | metacity) ;;
    *) echo "with-desktop: unknown window manager $wm" >&2; exit 2 ;;
esac

if [[ -n "${TALLYRIG_DESKTOP_TOKEN:-}" && -n "${DISPLAY:-}" ]]; then
    exec "$@"
fi

for tool in Xvfb dbus-daemon dbus-send "$wm" xprop; do
    command -v "$tool" >/dev/null || { echo "with-desktop: $tool is missing (scripts/setup.sh --test installs it)" >&2; exit 1; }
done

# Commands started with & would otherwise read from /dev/null.
{ exec {stdin}<&0; } 2>/dev/null || exec {stdin}</dev/null

# Every process started from here on inherits this token; the final sweep stops whatever still carries it.
token="$$-$RANDOM$RANDOM"
state=$(mktemp -d "${TMPDIR:-/tmp}/tallyrig-desktop.XXXXXX")
export TALLYRIG_DESKTOP_TOKEN=$token

# The processes carrying the token, other than this shell (the search itself runs without it).
marked() {
    local file pid
    for file in $(env -u TALLYRIG_DESKTOP_TOKEN grep -lzx "TALLYRIG_DESKTOP_TOKEN=$token" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${file#/proc/}
        pid=${pid%/environ}
        [[ $pid == "$$" ]] || echo "$pid"
    done
}

sweep() {
    local pid
    for pid in $(marked); do
        kill "-$1" "$pid" 2>/dev/null || true
    done
}

cleaned=false
cleanup() {
    $cleaned && return
    cleaned=true
    [[ -n "${watchdog:-}" ]] && kill "$watchdog" 2>/dev/null
    # The command with whatever it left running, and the desktop, all at once.
    sweep TERM
    for _ in $(seq 40); do
        [[ -z "$(marked)" ]] && break
        sleep 0.05
    done
    sweep KILL
    wait 2>/dev/null || true
    rm -rf "$state"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

fail() {
    echo "with-desktop: $*" >&2
    [[ -s "$state/log" ]] && tail -n 20 "$state/log" >&2
    exit 1
}

# wait_for <tries of 50 ms> <command…>: true once the command succeeds.
wait_for() {
    local tries=$1
    shift
    for _ in $(seq "$tries"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

# Should this shell be killed outright, the watchdog still stops the desktop.
(
    while kill -0 $$ 2>/dev/null; do env -u TALLYRIG_DESKTOP_TOKEN sleep 0.5; done
    sweep KILL
) >/dev/null 2>&1 &
watchdog=$!

# X server on the first free display; it writes the display number when it accepts connections.
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$state/display" >>"$state/log" 2>&1 &
has_display() { grep -q '^[0-9][0-9]*$' "$state/display"; }
wait_for 200 has_display || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$state/display")"

# Session bus; the accessibility bus launcher is activated on it.
runtime_dir="$state/runtime"
mkdir -m 700 "$runtime_dir"
export XDG_RUNTIME_DIR=$runtime_dir
dbus-daemon --session --nofork --nopidfile --address="unix:path=$runtime_dir/bus" >>"$state/log" 2>&1 &
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime_dir/bus"
bus() { dbus-send --session --print-reply --reply-timeout=2000 "$@"; }
wait_for 200 bus --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId || fail "the session bus did not start"
unset AT_SPI_BUS_ADDRESS NO_AT_BRIDGE
a11y_enable() {
    bus --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
        string:org.a11y.Status string:IsEnabled variant:boolean:true
}
a11y_enabled() {
    bus --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Get \
        string:org.a11y.Status string:IsEnabled | grep -q 'boolean true'
}
a11y_bus() { bus --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress | grep -q 'unix:'; }
wait_for 100 a11y_enable && a11y_enabled && wait_for 100 a11y_bus || fail "the accessibility bus did not start"

# Each without a compositor of its own, so that --compositor alone decides whether one runs.
case $wm in
    openbox) openbox --sm-disable >>"$state/log" 2>&1 & ;;
    xfwm4) xfwm4 --compositor=off --sm-client-disable >>"$state/log" 2>&1 & ;;
    metacity) metacity --no-composite --sm-disable >>"$state/log" 2>&1 & ;;
esac
has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_for 200 has_wm || fail "$wm did not start"
# It announces itself before it is done starting; a window it manages says it is. A window mapped
# earlier may stay unmanaged for ever, so an unlisted probe is replaced by a new one.
listed() { xprop -root _NET_CLIENT_LIST | grep -q '0x'; }
managed=false
for _ in 1 2 3 4 5 6; do
    xmessage -geometry 40x20+0+0 ready >>"$state/log" 2>&1 &
    probe=$!
    wait_for 100 listed && managed=true
    kill "$probe" 2>/dev/null
    wait "$probe" 2>/dev/null || true
    $managed && break
done
$managed || fail "$wm manages no window"
wait_for 200 eval '! listed' || fail "$wm keeps a closed window"

if $compositor; then
    command -v xcompmgr >/dev/null || fail "xcompmgr is missing"
    xcompmgr >>"$state/log" 2>&1 &
    # A compositing manager owns the _NET_WM_CM_S0 selection once it runs.
    has_compositor() {
        /usr/bin/python3 -c 'import gi, sys; gi.require_version("Gdk", "3.0"); from gi.repository import Gdk
sys.exit(0 if Gdk.Screen.get_default().is_composited() else 1)'
    }
    wait_for 100 has_compositor || fail "xcompmgr did not start"
fi

"$@" <&"$stdin" &
command_pid=$!
status=0
wait "$command_pid" || status=$?
exit "$status"
