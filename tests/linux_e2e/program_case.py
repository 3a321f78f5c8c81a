"""What the end-to-end tests of the Linux program share (build/linux/qv-tickspan, path in
$QV_TICKSPAN): a private Xvfb display with openbox for each test class, which is one CTest test,
and a settings folder of its own for each test."""

import os
import shutil
import tempfile
import unittest

from desktop import App, Desktop, read_store, wait_for

BINARY = os.environ.get("QV_TICKSPAN", "")
SECTION = "qv-tickspan"
TWIPS_PER_PIXEL = 15  # 96 DPI: Xvfb has no Xft.dpi


def px(twips):
    return round(twips / TWIPS_PER_PIXEL)


class DesktopTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.access(BINARY, os.X_OK):
            raise AssertionError(f"QV_TICKSPAN does not name the program: {BINARY!r}")
        cls.desktop = Desktop()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    def setUp(self):
        self.config = tempfile.mkdtemp(prefix="qv-config-")
        self.apps = []

    def tearDown(self):
        for app in self.apps:
            app.stop()
        shutil.rmtree(self.config, ignore_errors=True)

    def start(self, exe=BINARY):
        app = App(self.desktop, self.config, exe)
        self.apps.append(app)
        return app

    def store(self, section=SECTION):
        return read_store(self.config).get(section, {})

    def close_main(self, app):
        self.desktop.close_window(app.main)
        self.assertEqual(app.wait_exit(), 0, app.stderr())

    def drag_title(self, wid, dx, dy):
        x, y, w, _ = self.desktop.outer_rect(wid)
        self.desktop.drag(x + w // 3, y + 8, dx, dy)

    def run_on(self, app, seconds):
        """Returns once the running program has shown `seconds` more captions: its loop has run
        that long since, so every timer it had armed has fired, and every X event sent to it
        before has been handled."""
        with self.desktop.spy(app.main, "_NET_WM_NAME") as spy:
            lines = spy.wait_lines(1 + seconds)
        self.assertEqual(len(set(lines)), len(lines), lines)

    def drawn(self, wid, crop, ready, what):
        """The path of a screenshot of the window taken once ready(colours of the crop) holds:
        the window has been drawn that far."""
        shot = os.path.join(self.config, f"{wid}.png")
        wait_for(lambda: ready(self.desktop.colours(self.desktop.screenshot(shot, wid), crop)),
                 what=what)
        return shot
