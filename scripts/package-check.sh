#!/usr/bin/env bash
# Tries Tallyrig's Debian package in a bare Debian 12 system: makes one (debootstrap, minbase),
# installs the package there with apt-get, so that its dependencies come from the archive alone,
# then starts `tallyrig` inside it under Xvfb twice: once until it probes its stored port and, given
# a bridge's answer there, loads the dashboard in its web engine; once with a recent project, until
# the bridge it starts with its bundled runtime (the link to the nodejs package's node) answers.
# Then it purges the package and checks that nothing the package installed is left.
#
# Run it as root, with the network to Debian's archive, before a release; it takes minutes.
#   scripts/package-check.sh [path/to/tallyrig_….deb]   (default: the one scripts/package.sh made)
# TALLYRIG_DEBIAN_MIRROR picks the archive; the downloaded packages are kept in
# /var/cache/tallyrig-package-check for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# > 0)); then
    deb=$(realpath "$1")
else
    deb=$(ls -t build-package/package/tallyrig_*.deb 2>/dev/null | head -n 1 || true)
    [[ -n "$deb" ]] || { echo "no package: run scripts/package.sh first, or name one" >&2; exit 2; }
    deb=$(realpath "$deb")
fi
[[ $EUID -eq 0 ]] || { echo "package-check.sh makes a chroot: run it as root" >&2; exit 2; }
for tool in debootstrap chroot mount python3; do
    command -v "$tool" >/dev/null || { echo "package-check.sh needs $tool (apt-get install debootstrap)" >&2; exit 2; }
done
mirror=${TALLYRIG_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=/var/cache/tallyrig-package-check
mkdir -p "$cache"

root=$(mktemp -d /tmp/tallyrig-bare.XXXXXX)
chmod 755 "$root" # apt downloads as its own user
mounted=()
finish() {
    # Whatever still runs inside the root, then its mounts, then the root.
    local pid
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [[ "$(readlink "/proc/$pid/root" 2>/dev/null)" == "$root" ]] && kill -9 "$pid" 2>/dev/null
    done
    sleep 0.5
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
    done
    rm -rf --one-file-system "$root"
}
trap finish EXIT
step() { printf '==== %s\n' "$*"; }
inside() { chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

step "a bare Debian 12 ($mirror)"
debootstrap --variant=minbase --cache-dir="$cache" bookworm "$root" "$mirror" >"$root.log" 2>&1 ||
    { tail -n 20 "$root.log" >&2; exit 1; }
rm -f "$root.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for place in /proc /sys /dev /dev/shm; do
    mount --bind "$place" "$root$place"
    mounted+=("$root$place")
done

step "apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
inside apt-get update -qq
inside sh -c "cd /tmp && apt-get install -y -qq ./$(basename "$deb")" >"$root/tmp/install.log" 2>&1 ||
    { tail -n 30 "$root/tmp/install.log" >&2; exit 1; }
inside dpkg -L tallyrig >"$root/tmp/installed"
# Only now the display: nothing of it helped the package's own dependencies.
inside apt-get install -y -qq xvfb xauth >/dev/null 2>&1

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# Starts tallyrig in the root under Xvfb with the given settings (JSON), as root's first launch.
start_app() {
    rm -rf "$root/root/.config/Tallyrig"
    mkdir -p "$root/root/.config/Tallyrig"
    printf '%s\n' "$1" >"$root/root/.config/Tallyrig/settings.json"
    # The web engine refuses to run as root with its sandbox.
    chroot "$root" env -i HOME=/root PATH=/usr/bin:/bin XDG_RUNTIME_DIR=/tmp QTWEBENGINE_DISABLE_SANDBOX=1 \
        xvfb-run -a -s "-screen 0 1280x900x24" tallyrig >"$root/tmp/app.log" 2>&1 &
    app=$!
}
stop_app() {
    local pid
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [[ "$(readlink "/proc/$pid/root" 2>/dev/null)" == "$root" && "$(cat "/proc/$pid/comm" 2>/dev/null)" == [Tt]allyrig ]] &&
            kill -TERM "$pid" 2>/dev/null
    done
    wait "$app" 2>/dev/null || true
}

step "tallyrig probes its port and shows a bridge's dashboard"
port=$(free_port)
start_app "{\"bridgePort\": $port}"
# A bridge of sorts on that port: the app's first probe, then its web engine asking for the page.
if ! python3 - "$port" <<'PYTHON'; then
import http.server, sys, threading
port = int(sys.argv[1])
seen = []
class Bridge(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        seen.append(self.path)
        if self.path == "/api/bootstrap":
            body, kind = b'{"service": "tallyrig", "project": "/root/garden"}', "application/json"
        else:
            body, kind = b"<!doctype html><title>Dashboard</title><p>Inbox</p>", "text/html"
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *arguments):
        pass
server = http.server.HTTPServer(("127.0.0.1", port), Bridge)
threading.Timer(90, server.shutdown).start()
def watch():
    while True:
        if "/api/bootstrap" in seen:
            print("  its first probe arrived", flush=True)
            break
        threading.Event().wait(0.1)
    while not any(path.split("#")[0] == "/" for path in seen):
        threading.Event().wait(0.1)
    print("  its web engine loaded the dashboard", flush=True)
    server.shutdown()
threading.Thread(target=watch, daemon=True).start()
server.serve_forever()
sys.exit(0 if any(path.split("#")[0] == "/" for path in seen) else 1)
PYTHON
    cat "$root/tmp/app.log" >&2
    echo "tallyrig did not probe its port and load the dashboard within 90 s" >&2
    exit 1
fi
stop_app

step "tallyrig doctor runs the bundled bridge in a terminal, not the app"
mkdir -p "$root/root/garden/.git"
inside sh -c "cd /root/garden && tallyrig doctor" >"$root/tmp/doctor.log" 2>&1 ||
    { cat "$root/tmp/doctor.log" >&2; echo "tallyrig doctor failed" >&2; exit 1; }
grep -q '^Tallyrig doctor' "$root/tmp/doctor.log" || { cat "$root/tmp/doctor.log" >&2; echo "tallyrig doctor printed no report" >&2; exit 1; }
sed 's/^/  /' "$root/tmp/doctor.log"

step "tallyrig starts a project's bridge with its bundled runtime"
port=$(free_port)
mkdir -p "$root/root/garden/.git"
printf '{"port": %s}\n' "$port" >"$root/root/garden/tallyrig.config.json"
start_app "{\"bridgePort\": $port, \"recentProjects\": [\"/root/garden\"]}"
answer=
for _ in $(seq 120); do
    answer=$(python3 -c 'import sys, urllib.request
try: print(urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/api/bootstrap", timeout=1).read().decode())
except Exception: pass' "$port")
    [[ "$answer" == *'"service":"tallyrig"'* || "$answer" == *'"service": "tallyrig"'* ]] && break
    sleep 0.5
done
if [[ "$answer" != *tallyrig* ]]; then
    cat "$root/tmp/app.log" >&2
    echo "the bridge tallyrig started in /root/garden did not answer within 60 s" >&2
    exit 1
fi
echo "  the bridge answers: $answer"
runtime=$(readlink "$root/opt/tallyrig/Tallyrig.app/Contents/Helpers/node")
[[ "$runtime" == /usr/bin/node && -x "$root$runtime" ]] || { echo "the bundle's runtime is $runtime" >&2; exit 1; }
stop_app
# Quitting stops the bridge the app started.
if python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' "$port" 2>/dev/null; then
    echo "the bridge still runs after tallyrig quit" >&2
    exit 1
fi

step "apt-get purge tallyrig"
inside apt-get purge -y -qq tallyrig >/dev/null 2>&1
left=()
while read -r path; do
    [[ -e "$root$path" || -L "$root$path" ]] || continue
    # A folder stays when it is not empty or another package has it too.
    if [[ -d "$root$path" && ! -L "$root$path" ]]; then
        [[ -n "$(ls -A "$root$path")" ]] && continue
        inside dpkg-query -S "$path" >/dev/null 2>&1 && continue
    fi
    left+=("$path")
done <"$root/tmp/installed"
[[ ! -e "$root/opt/tallyrig" ]] || left+=(/opt/tallyrig)
ls "$root/var/lib/dpkg/info/tallyrig."* >/dev/null 2>&1 && left+=(/var/lib/dpkg/info/tallyrig.*)
if ((${#left[@]})); then
    printf 'left behind: %s\n' "${left[@]}" >&2
    exit 1
fi
echo "package check in a bare Debian 12: $(basename "$deb") installs, runs and purges cleanly"
