#!/usr/bin/python3
"""Finds an element by its accessible name in the application with the given process id, through
the accessibility bus, and presses it (or, with --find, only says that it is there). Waits up to
20 seconds for it. Usage: accessible.py PID NAME [--find]"""

import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def find(element, name, depth=0):
    if element is None or depth > 40:
        return None
    try:
        if element.get_name() == name:
            return element
        for index in range(element.get_child_count()):
            found = find(element.get_child_at_index(index), name, depth + 1)
            if found:
                return found
    except gi.repository.GLib.Error:
        pass
    return None


def main():
    pid, name, only_find = int(sys.argv[1]), sys.argv[2], "--find" in sys.argv[3:]
    Atspi.init()
    desktop = Atspi.get_desktop(0)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        for index in range(desktop.get_child_count()):
            application = desktop.get_child_at_index(index)
            if application is None or application.get_process_id() != pid:
                continue
            element = find(application, name)
            if element:
                if not only_find:
                    element.do_action(0)
                return 0
        time.sleep(0.2)
    print(f"no element named {name!r} in process {pid}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
