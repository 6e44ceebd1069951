"""Where running stand-in simulators announce themselves, and how to talk to one.

Each running stand-in process keeps one entry, <registry>/<pid>.json, naming its control socket
and its device windows. Entries of processes that have gone away are ignored and removed.
"""

import json
import os
import socket

REGISTRY_ENV = "STANDIN_SIMULATOR_REGISTRY"
# Generous: rendering a large device screen takes a few hundred milliseconds.
REPLY_TIMEOUT_SECONDS = 10.0
MAX_HEADER_BYTES = 64 * 1024
MAX_PNG_BYTES = 256 * 1024 * 1024


def registry_dir():
    explicit = os.environ.get(REGISTRY_ENV)
    if explicit:
        return explicit
    base = os.environ.get("XDG_RUNTIME_DIR") or "/tmp"
    return os.path.join(base, "standin-simulator-%d" % os.getuid())


def ensure_registry_dir():
    path = registry_dir()
    os.makedirs(path, mode=0o700, exist_ok=True)
    return path


def entry_path(pid):
    return os.path.join(registry_dir(), "%d.json" % pid)


def socket_path(pid):
    return os.path.join(registry_dir(), "%d.sock" % pid)


def runtime_identifier(runtime):
    """'iOS 17.2' -> 'com.apple.CoreSimulator.SimRuntime.iOS-17-2'."""
    return "com.apple.CoreSimulator.SimRuntime." + runtime.replace(" ", "-").replace(".", "-")


def device_type_identifier(name):
    return "com.apple.CoreSimulator.SimDeviceType." + "-".join(
        "".join(c for c in word if c.isalnum()) for word in name.split() if any(c.isalnum() for c in word))


def screenshot_scale(name):
    return 2 if "iPad" in name else 3


def process_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    try:
        with open("/proc/%d/stat" % pid, "rb") as stat:
            # The state follows the parenthesised command name; a zombie has exited already.
            return stat.read().rsplit(b")", 1)[1].split()[0] != b"Z"
    except (OSError, IndexError):
        return True


def write_entry(pid, entry):
    path = entry_path(pid)
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as out:
        json.dump(entry, out)
    os.replace(temporary, path)


def remove_entry(pid):
    for path in (entry_path(pid), socket_path(pid)):
        try:
            os.unlink(path)
        except OSError:
            pass


def live_entries():
    """Entries of running stand-ins, oldest process first; malformed entries are skipped."""
    directory = registry_dir()
    try:
        names = os.listdir(directory)
    except OSError:
        return []
    entries = []
    for name in names:
        stem, dot, extension = name.partition(".")
        if extension != "json" or not stem.isdigit():
            continue
        pid = int(stem)
        if not process_alive(pid):
            remove_entry(pid)
            continue
        try:
            with open(os.path.join(directory, name), encoding="utf-8") as source:
                entry = json.load(source)
        except (OSError, ValueError):
            continue
        if not isinstance(entry, dict) or not isinstance(entry.get("devices"), list):
            continue
        entry["pid"] = pid
        entries.append(entry)
    entries.sort(key=lambda e: (e.get("started", 0), e["pid"]))
    return entries


def valid_device(device):
    return (isinstance(device, dict) and all(isinstance(device.get(k), str) for k in ("udid", "name", "runtime")))


def request(pid, message):
    """Sends one JSON request to a stand-in; returns (reply object, payload bytes)."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
        connection.settimeout(REPLY_TIMEOUT_SECONDS)
        connection.connect(socket_path(pid))
        connection.sendall(json.dumps(message).encode() + b"\n")
        received = bytearray()
        while b"\n" not in received:
            chunk = connection.recv(65536)
            if not chunk:
                raise ConnectionError("the simulator closed the connection")
            received += chunk
            if len(received) > MAX_HEADER_BYTES and b"\n" not in received:
                raise ValueError("the simulator's reply is too long")
        header, _, payload = bytes(received).partition(b"\n")
        reply = json.loads(header)
        if not isinstance(reply, dict):
            raise ValueError("the simulator's reply is not an object")
        length = reply.get("length", 0)
        if not isinstance(length, int) or not 0 <= length <= MAX_PNG_BYTES:
            raise ValueError("the simulator's reply has a bad length")
        payload = bytearray(payload)
        while len(payload) < length:
            chunk = connection.recv(min(1 << 20, length - len(payload)))
            if not chunk:
                raise ConnectionError("the simulator closed the connection early")
            payload += chunk
        return reply, bytes(payload[:length])
