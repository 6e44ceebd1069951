#!/usr/bin/python3
"""Saves a rectangle of the screen (root coordinates) as a PNG: capture.py out.png x y width height"""

import sys

import gi

gi.require_version("Gdk", "3.0")
from gi.repository import Gdk  # noqa: E402


def main():
    out = sys.argv[1]
    x, y, width, height = (int(value) for value in sys.argv[2:6])
    root = Gdk.get_default_root_window()
    # Kept on the screen.
    x, y = max(0, x), max(0, y)
    width = min(width, root.get_width() - x)
    height = min(height, root.get_height() - y)
    picture = Gdk.pixbuf_get_from_window(root, x, y, width, height)
    if picture is None:
        print(f"cannot read the screen at {x},{y} {width}×{height}", file=sys.stderr)
        return 1
    picture.savev(out, "png", [], [])
    return 0


if __name__ == "__main__":
    sys.exit(main())
