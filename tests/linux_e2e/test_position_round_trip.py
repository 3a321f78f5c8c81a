"""The saved position survives starts and closes unchanged where no window manager reports a
frame: on a bare Xvfb display, and under twm, which frames windows without _NET_FRAME_EXTENTS."""

import os
import shutil
import signal
import subprocess
import tempfile
import unittest

from desktop import RUNNING_TITLE, App, XQueries, read_store, redirect_held, require_tools, \
    start_xvfb, stop, wait_for, write_store

BINARY = os.environ.get("QV_TICKSPAN", "")
SECTION = "qv-tickspan"
CYCLES = 3


class BareDisplay(XQueries):
    """Xvfb with, at most, a window manager that is no EWMH one."""

    def __init__(self, wm):
        self.procs = []
        self.xvfb, number = start_xvfb(1280, 800)
        self.display = f":{number}"
        self.env = dict(os.environ, DISPLAY=self.display)
        if wm:
            self.procs.append(subprocess.Popen([wm], env=self.env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
            wait_for(lambda: redirect_held(self.display), what=f"{wm} on {self.display}")

    def close(self):
        for p in self.procs + [self.xvfb]:
            stop(p)


class RoundTripTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tools(["Xvfb", "twm", "xdotool", "xprop"], "scripts/test installs them")
        if not os.access(BINARY, os.X_OK):
            raise AssertionError(f"QV_TICKSPAN does not name the program: {BINARY!r}")

    def cycles(self, wm):
        """The stored (MAIN_Left, MAIN_Top) after each start that ended in a SIGTERM."""
        desk = BareDisplay(wm)
        config = tempfile.mkdtemp(prefix="qv-config-")
        try:
            write_store(config, SECTION, {"MAIN_Left": "1095", "MAIN_Top": "1410"})
            positions = []
            for _ in range(CYCLES):
                app = App(desk, config, BINARY)
                try:
                    wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""),
                             what="the running title")
                    app.signal(signal.SIGTERM)
                    self.assertEqual(app.wait_exit(), 0, app.stderr())
                finally:
                    app.stop()
                store = read_store(config)[SECTION]
                positions.append((store["MAIN_Left"], store["MAIN_Top"]))
            return positions
        finally:
            desk.close()
            shutil.rmtree(config, ignore_errors=True)

    def test_no_window_manager_and_twm_keep_the_place_that_was_read(self):
        for wm in (None, "twm"):
            with self.subTest(wm or "no window manager"):
                self.assertEqual(self.cycles(wm), [("1095", "1410")] * CYCLES)


if __name__ == "__main__":
    unittest.main()
