#!/usr/bin/python3
"""What libatspi itself reports of an application's element, as JSON: the nth element (counting from
0, depth first) with the given role name and name that shows on screen; with --in, the search keeps
to the first shown element with that role name and name; with --do, the element's action of that
name is done, as assistive technologies do it, and "done" tells whether it was.

    atspi_probe.py <pid> <role name> <name> [nth] [--in <role name> <name>] [--do <action>]

Prints {"application": …, "role": number, "name": …, "description": …, "states": […], "id": …,
"attributes": {…}, "extents": [x, y, width, height]} (extents in the application's own pixels, as
it gives them for the screen), or nothing and exits 1 when there is no such element.
"""
import argparse
import json

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def states(accessible):
    return sorted(Atspi.StateType(s).value_nick for s in accessible.get_state_set().get_states())


def shown(accessible):
    # GTK 4.8 leaves "showing" out below the window: visible with a size is as good.
    if "Component" not in accessible.get_interfaces():
        return False
    box = accessible.get_extents(Atspi.CoordType.SCREEN)
    return Atspi.StateType.VISIBLE in accessible.get_state_set().get_states() and box.width > 0 and box.height > 0


def find(accessible, role, name, depth, found):
    if depth > 60:
        return None
    try:
        if accessible.get_role_name() == role and accessible.get_name() == name and shown(accessible):
            if found[0] == 0:
                return accessible
            found[0] -= 1
        for index in range(accessible.get_child_count()):
            child = accessible.get_child_at_index(index)
            if child is not None:
                hit = find(child, role, name, depth + 1, found)
                if hit is not None:
                    return hit
    except gi.repository.GLib.Error:
        pass
    return None


def act(element, action):
    for index in range(element.get_n_actions()):
        if element.get_action_name(index) == action:
            return element.do_action(index)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pid", type=int)
    parser.add_argument("role")
    parser.add_argument("name")
    parser.add_argument("nth", type=int, nargs="?", default=0)
    parser.add_argument("--in", dest="within", nargs=2)
    parser.add_argument("--do", dest="action")
    arguments = parser.parse_args()
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        application = desktop.get_child_at_index(index)
        if application is None or application.get_process_id() != arguments.pid:
            continue
        scope = application
        if arguments.within:
            scope = find(application, arguments.within[0], arguments.within[1], 0, [0])
        element = find(scope, arguments.role, arguments.name, 0, [arguments.nth]) if scope else None
        if element is None:
            break
        try:
            identifier = element.get_accessible_id() or ""
        except gi.repository.GLib.Error:
            identifier = ""
        box = element.get_extents(Atspi.CoordType.SCREEN)
        window = element.get_extents(Atspi.CoordType.WINDOW)
        told = {
            "application": application.get_name(),
            "role": int(element.get_role()),
            "name": element.get_name(),
            "description": element.get_description(),
            "states": states(element),
            "id": identifier,
            "attributes": element.get_attributes() or {},
            "extents": [box.x, box.y, box.width, box.height],
            "windowExtents": [window.x, window.y, window.width, window.height],
        }
        if arguments.action:
            told["done"] = act(element, arguments.action)
        print(json.dumps(told))
        return 0
    return 1


if __name__ == "__main__":
    raise SystemExit(main())
