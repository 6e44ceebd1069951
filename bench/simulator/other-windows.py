#!/usr/bin/python3
"""Opens COUNT ordinary GTK windows, each with a few widgets, for the targeting benchmark's desktop.

    other-windows.py COUNT

Prints "ready" once every window is mapped; quits on SIGTERM.
"""

import signal
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def main(count):
    pending = set()

    def mapped(window, _event):
        pending.discard(window)
        if not pending:
            print("ready", flush=True)
        return False

    for index in range(count):
        window = Gtk.Window(title="Other window %d" % (index + 1))
        window.set_default_size(420, 320)
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=6)
        box.add(Gtk.Label(label="Something else on the desktop"))
        box.add(Gtk.Entry(text="text"))
        box.add(Gtk.Button(label="Button"))
        window.add(box)
        window.move(40 + 30 * index, 30 + 20 * index)
        pending.add(window)
        window.connect("map-event", mapped)
        window.show_all()
    GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGTERM, Gtk.main_quit)
    Gtk.main()


if __name__ == "__main__":
    main(int(sys.argv[1]))
