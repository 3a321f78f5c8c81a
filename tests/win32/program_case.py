"""What the end-to-end tests of qv-tickspan.exe share: one private Xvfb + openbox desktop with a
Wine prefix for the whole run, one run of the program, and the test case that starts it with a
registry of its own. program_test.py names the files and runs the tests."""

import re
import subprocess
import tempfile
import types
import unittest

from desktop import Registry, WineDesktop

RUNNING = r"^QV-TICKSPAN: (\d+)d, (\d+)h, (\d+)m, (\d+)s$"
DISABLED = "QV-TICKSPAN: TIMERS DISABLED !!!"
ABOUT = "^QV-TICKSPAN - ABOUT$"
MAIN = "^QV-TICKSPAN: "
TWIPS_PER_PIXEL = 15  # Wine's desktop runs at 96 DPI

# Control centres in the About window's client area, in pixels at 96 DPI (twips / 15).
AUTOSTART_BOX = (265, 96)
ALWAYS_ON_TOP_BOX = (85, 96)

# The program, the two probes and the folder for screenshots (None: none kept).
paths = types.SimpleNamespace(exe=None, uptime_probe=None, session_probe=None, shots=None)
_desktop = None


def shared_desktop():
    global _desktop
    if _desktop is None:
        _desktop = WineDesktop()
    return _desktop


def close_desktop():
    global _desktop
    if _desktop:
        _desktop.close()
    _desktop = None


class Program:
    """One run of the .exe; the main window's X window once it shows."""

    def __init__(self, desktop):
        self.desktop = desktop
        self.err = tempfile.TemporaryFile("w+")
        self.proc = subprocess.Popen(["wine", paths.exe], env=desktop.env, stdout=subprocess.DEVNULL,
                                     stderr=self.err, stdin=subprocess.DEVNULL)
        self.main = desktop.wait_window(MAIN, timeout=60)

    def caption(self):
        return self.desktop.window_name(self.main)

    def run_on(self, seconds):
        """Returns once the program has shown `seconds` more running captions: its loop has run
        that long since, so its one-second keeper has had its turn."""
        with self.desktop.spy(self.main, "_NET_WM_NAME") as spy:
            spy.wait_lines(1 + seconds)

    def open_about(self):
        _, _, width, height = self.desktop.geometry(self.main)
        self.desktop.double_click(self.main, width // 2, height // 2)
        return self.desktop.wait_window(ABOUT, timeout=10)

    def close(self):
        """The close command of the title bar; returns the program's standard error."""
        if self.proc.poll() is None:
            self.desktop.close_window(self.main)
        try:
            self.proc.wait(60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise AssertionError("the program did not end after its close command")
        return self.errors()

    def errors(self):
        self.err.seek(0)
        return self.err.read()


def running_seconds(caption):
    m = re.match(RUNNING, caption)
    if not m:
        return None
    d, h, mi, s = (int(g) for g in m.groups())
    return ((d * 24 + h) * 60 + mi) * 60 + s


class EndToEnd(unittest.TestCase):
    def setUp(self):
        self.desktop = shared_desktop()
        self.registry = Registry(self.desktop)
        self.registry.clear()
        self.programs = []

    def tearDown(self):
        # The screen as the test left it, to look at when a test fails.
        if paths.shots:
            self.desktop.screenshot(paths.shots, self.id().split(".")[-1])
        for p in self.programs:
            if p.proc.poll() is None:
                p.proc.kill()
                p.proc.wait()
            p.err.close()

    def shot(self, name):
        """A screenshot to look at, when the run keeps them."""
        if paths.shots:
            self.desktop.screenshot(paths.shots, name)

    def start(self):
        # The pointer away from where windows open: resting on the main window's strip, it
        # brings up the strip's tooltip over what a test reads off the screen.
        self.desktop.run(["xdotool", "mousemove", "1270", "790"])
        p = Program(self.desktop)
        self.programs.append(p)
        return p

    def wine_uptime_s(self):
        out = self.desktop.run(["wine", paths.uptime_probe]).stdout
        return int(out.strip()) / 1000.0
