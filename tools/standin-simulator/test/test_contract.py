#!/usr/bin/python3
"""Checks the stand-in simulator from the outside, as Tallyrig sees it: X11 window properties, the
accessibility bus, and its xcrun. Runs inside scripts/with-desktop.sh."""

import json
import os
import re
import select
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
import uuid

import gi

gi.require_version("Atspi", "2.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import Atspi, Gdk, GdkPixbuf, Gio, GLib  # noqa: E402

HERE = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
APP = os.path.join(HERE, "standin-simulator")
BOUND_SECONDS = 20
PHONE = {"name": "iPhone 15 Pro", "runtime": "iOS 17.2", "screen": (300, 600)}
TABLET = {"name": "iPad Air (5th generation)", "runtime": "iPadOS 17.2", "screen": (410, 560)}
CONTAINER_ROLES = {Atspi.Role.PANEL, Atspi.Role.FILLER, Atspi.Role.SECTION, Atspi.Role.GROUPING}


def eventually(probe, what):
    deadline = time.monotonic() + BOUND_SECONDS
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def xprop(window, *names):
    target = ["-root"] if window == "root" else ["-id", str(window)]
    out = subprocess.run(["xprop", *target, *names], capture_output=True, text=True, check=True).stdout
    values = (re.match(r"(\w+)\([\w ]+\)(?: =|:) ?(.*)$", line) for line in out.splitlines())
    return {match[1]: match[2].strip() for match in values if match}


def png_size(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    return struct.unpack(">II", data[16:24])


def breadth_first(root, max_depth):
    queue = [(root, 0)]
    while queue:
        element, depth = queue.pop(0)
        yield element, depth
        if depth < max_depth:
            queue.extend((element.get_child_at_index(i), depth + 1) for i in range(element.get_child_count()))


def extents(element):
    rect = element.get_extents(Atspi.CoordType.SCREEN)
    return rect.x, rect.y, rect.width, rect.height


class StandinContract(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.registry = tempfile.mkdtemp(prefix="standin-test-")
        cls.env = dict(os.environ, STANDIN_SIMULATOR_REGISTRY=cls.registry,
                       PATH=os.path.join(HERE, "bin") + os.pathsep + os.environ["PATH"])
        arguments = [APP, "--device", PHONE["name"], "--runtime", PHONE["runtime"], "--position", "40,40",
                     "--device", TABLET["name"], "--runtime", TABLET["runtime"], "--screen", "410x560", "--minimized"]
        cls.app = subprocess.Popen(arguments, env=cls.env, stdout=subprocess.PIPE)
        cls.devices = cls.read_ready_lines(2)
        Atspi.init()
        cls.application = eventually(cls.find_application, "the simulator on the accessibility bus")

    @classmethod
    def tearDownClass(cls):
        cls.app.terminate()
        cls.app.wait(BOUND_SECONDS)
        shutil.rmtree(cls.registry, ignore_errors=True)

    @classmethod
    def read_ready_lines(cls, count):
        received = b""
        deadline = time.monotonic() + BOUND_SECONDS
        while received.count(b"\n") < count:
            ready, _, _ = select.select([cls.app.stdout], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(cls.app.stdout.fileno(), 4096) if ready else b""
            if not chunk:
                raise AssertionError("the simulator never said it was ready")
            received += chunk
        return [json.loads(line) for line in received.splitlines()]

    @classmethod
    def find_application(cls):
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            application = desktop.get_child_at_index(index)
            if application is not None and application.get_process_id() == cls.app.pid:
                return application if application.get_child_count() == 2 else None
        return None

    def xcrun(self, *arguments):
        return subprocess.run(["xcrun", *arguments], env=self.env, capture_output=True, timeout=BOUND_SECONDS)

    def accessible_window(self, title):
        for index in range(self.application.get_child_count()):
            window = self.application.get_child_at_index(index)
            if window.get_name() == title:
                return window
        self.fail("no accessible window titled " + title)

    def test_windows(self):
        stacking = xprop("root", "_NET_CLIENT_LIST_STACKING")["_NET_CLIENT_LIST_STACKING"]
        listed = {int(number, 16) for number in re.findall(r"0x[0-9a-f]+", stacking)}
        for device, setup, minimised in ((self.devices[0], PHONE, False), (self.devices[1], TABLET, True)):
            with self.subTest(device=setup["name"]):
                window = device["window"]
                self.assertIn(window, listed)
                props = xprop(window, "WM_CLASS", "_NET_WM_PID", "_NET_WM_NAME", "_NET_FRAME_EXTENTS")
                self.assertEqual(re.findall(r'"([^"]*)"', props["WM_CLASS"])[1], "com.apple.iphonesimulator")
                self.assertEqual(int(props["_NET_WM_PID"]), self.app.pid)
                self.assertEqual(json.loads(props["_NET_WM_NAME"]), "%s \u2013 %s" % (setup["name"], setup["runtime"]))
                left, right, top, bottom = (int(v) for v in props["_NET_FRAME_EXTENTS"].split(","))
                self.assertGreater(top, left, "a title bar above the window")
                hidden = lambda: "_NET_WM_STATE_HIDDEN" in xprop(window, "_NET_WM_STATE").get("_NET_WM_STATE", "")
                accessible = self.accessible_window("%s \u2013 %s" % (setup["name"], setup["runtime"]))
                iconified = lambda: accessible.get_state_set().contains(Atspi.StateType.ICONIFIED)
                if minimised:
                    eventually(hidden, "the minimised window to be hidden")
                    eventually(iconified, "the minimised window to be iconified")
                else:
                    self.assertFalse(hidden())
                    self.assertFalse(iconified())
                self.assertEqual(device["udid"], str(uuid.UUID(device["udid"])).upper())

    def test_listing(self):
        result = self.xcrun("simctl", "list", "devices", "booted", "-j")
        self.assertEqual(result.returncode, 0, result.stderr)
        groups = json.loads(result.stdout)["devices"]
        expected = {"com.apple.CoreSimulator.SimRuntime.iOS-17-2": [self.devices[0]],
                    "com.apple.CoreSimulator.SimRuntime.iPadOS-17-2": [self.devices[1]]}
        self.assertEqual(set(groups), set(expected))
        for key, devices in expected.items():
            self.assertEqual([(d["udid"], d["name"], d["state"]) for d in groups[key]],
                             [(d["udid"], d["name"], "Booted") for d in devices])

    def test_screenshot(self):
        for device, setup, scale in ((self.devices[0], PHONE, 3), (self.devices[1], TABLET, 2)):
            with self.subTest(device=device["name"]), tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "screen.png")
                result = self.xcrun("simctl", "io", device["udid"], "screenshot", "--type=png", path)
                self.assertEqual(result.returncode, 0, result.stderr)
                with open(path, "rb") as image:
                    self.assertEqual(png_size(image.read()), tuple(side * scale for side in device["screen"]))
                # Where the accessibility tree puts the button, clear of its centred label, which moves
                # with the installed fonts, and of its rounded corners.
                x, y, w, h = self.in_screen(setup, "saveButton")
                point = ((x + min(12, w // 4)) * scale, (y + h // 2) * scale)
                self.assertEqual(self.pixel(path, *point), (0, 122, 255), "the blue Save button")

    def in_screen(self, setup, identifier):
        """A control's extents on its device screen, relative to the screen's top-left corner."""
        window = self.accessible_window("%s \u2013 %s" % (setup["name"], setup["runtime"]))
        screen = next(e for e, _ in breadth_first(window, 3) if e.get_accessible_id() == "iOSContentGroup")
        controls = (screen.get_child_at_index(i) for i in range(screen.get_child_count()))
        control = next(c for c in controls if c.get_accessible_id() == identifier)
        (sx, sy, _, _), (x, y, w, h) = extents(screen), extents(control)
        return x - sx, y - sy, w, h

    def pixel(self, path, x, y):
        image = GdkPixbuf.Pixbuf.new_from_file(path)
        offset = y * image.get_rowstride() + x * image.get_n_channels()
        return tuple(image.get_pixels()[offset:offset + 3])

    def test_tool_failures(self):
        udid = self.devices[0]["udid"]
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "screen.png")
            for arguments in ((["simctl", "io", str(uuid.uuid4()).upper(), "screenshot", "--type=png", path]),
                              (["simctl", "io", udid, "screenshot", "--type=jpeg", path]),
                              (["simctl", "io", udid, "screenshot", "--type=png", os.path.join(folder, "no", "x.png")]),
                              (["simctl", "io", udid, "screenshot"]),
                              (["simctl", "list", "runtimes", "-j"]),
                              (["simctl", "boot", udid]),
                              (["--find", "simctl"])):
                with self.subTest(arguments=arguments):
                    result = self.xcrun(*arguments)
                    self.assertNotEqual(result.returncode, 0)
                    self.assertTrue(result.stderr.strip())
                    self.assertEqual(os.listdir(folder), [])

    def test_accessibility_enabled(self):
        bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        reply = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
                              GLib.Variant("(ss)", ("org.a11y.Status", "IsEnabled")), None,
                              Gio.DBusCallFlags.NONE, 2000, None)
        self.assertIs(reply.unpack()[0], True)

    def test_accessible_tree(self):
        window = self.accessible_window("%s \u2013 %s" % (PHONE["name"], PHONE["runtime"]))
        self.assertEqual(window.get_role(), Atspi.Role.FRAME)
        self.assertTrue(window.get_accessible_id().startswith("deviceWindow"))
        screens = [e for e, _ in breadth_first(window, 3) if e.get_accessible_id() == "iOSContentGroup"]
        self.assertEqual(len(screens), 1, "one device screen within three levels")
        screen = screens[0]
        self.assertIn(screen.get_role(), CONTAINER_ROLES)
        sx, sy, sw, sh = extents(screen)
        self.assertEqual((sw, sh), PHONE["screen"])
        # The screen's extents are where it is drawn: its status bar's first pixel row is light, the bezel dark.
        root = Gdk.get_default_root_window()
        inside = Gdk.pixbuf_get_from_window(root, sx + sw // 2 - 60, sy + 4, 1, 1).get_pixels()
        outside = Gdk.pixbuf_get_from_window(root, sx + sw // 2, sy - 4, 1, 1).get_pixels()
        self.assertGreater(min(inside[:3]), 200)
        self.assertLess(max(outside[:3]), 60)

        controls = [screen.get_child_at_index(i) for i in range(screen.get_child_count())]
        roles = {c.get_role() for c in controls}
        for role in (Atspi.Role.PUSH_BUTTON, Atspi.Role.LABEL, Atspi.Role.TEXT, Atspi.Role.TOGGLE_BUTTON,
                     Atspi.Role.CHECK_BOX, Atspi.Role.ICON, Atspi.Role.SLIDER):
            self.assertIn(role, roles)
        ids = [c.get_accessible_id() for c in controls]
        self.assertTrue(any(ids) and not all(ids), "some controls with ids and some without")
        self.assertTrue(any(c.get_name() == "" for c in controls), "a control without a name")
        fields = [c for c in controls if c.get_role() == Atspi.Role.TEXT]
        self.assertEqual(len(fields), 1)
        self.assertEqual(fields[0].get_text(0, -1), "Ada Lovelace")
        overflowing = [c for c in controls if extents(c)[0] + extents(c)[2] > sx + sw]
        self.assertEqual([c.get_accessible_id() for c in overflowing], ["upgradeCard"])

        # Descending by position from the window reaches each control at a visible point of it.
        for control in controls:
            x, y, w, h = extents(control)
            point = (x + min(w, sx + sw - x) // 2, y + h // 2)
            with self.subTest(control=control.get_name() or control.get_accessible_id()):
                element, found = window, None
                while element is not None:
                    element = element.get_accessible_at_point(*point, Atspi.CoordType.SCREEN)
                    found = element or found
                self.assertEqual(found, control)

    def test_stops_answering_on_request(self):
        window = self.accessible_window("%s \u2013 %s" % (PHONE["name"], PHONE["runtime"]))
        result = subprocess.run([APP, "hang", str(self.app.pid), "3"], env=self.env, timeout=BOUND_SECONDS)
        self.assertEqual(result.returncode, 0)
        Atspi.set_timeout(250, -1)
        try:
            with self.assertRaises(GLib.Error):
                window.get_extents(Atspi.CoordType.SCREEN)
        finally:
            Atspi.set_timeout(800, 15000)

        def answers():
            try:
                return window.get_extents(Atspi.CoordType.SCREEN).width > 0
            except GLib.Error:
                return False
        eventually(answers, "the simulator to answer again")


if __name__ == "__main__":
    unittest.main(verbosity=2)
