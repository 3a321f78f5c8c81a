"""The whole running caption in the title bars of real window managers: openbox, xfwm4 and icewm
on private Xvfb displays at 96 and 144 DPI (Xft.dpi), with the Linux program ($QV_TICKSPAN) run
in a time namespace whose clock has been going for nearly 10000 days. The title bar is read off
the screen with OCR and must hold the whole caption, days included."""

import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import title_ocr
from desktop import (RUNNING_TITLE, WIDEST_UPTIME_S, XQueries, children, no_buses,
                     require_tools, start_xvfb, stop, uptime_prefix, wait_for)

BINARY = os.environ.get("QV_TICKSPAN", "")
SHOTS = os.path.join(os.environ.get("QV_BUILD_DIR", tempfile.gettempdir()), "screenshots",
                     "caption")
TOOLS = ["Xvfb", "xrdb", "openbox", "xfwm4", "icewm", "dbus-run-session", "unshare", "xdotool",
         "xprop", "xwininfo", "import"] + title_ocr.TOOLS


class WindowManagerDesktop(XQueries):
    """Xvfb at a DPI with one window manager on it."""

    def __init__(self, wm, dpi):
        self.procs = []
        self.runners = []  # processes that run another one and end with it
        self.home = tempfile.mkdtemp(prefix=f"qv-{wm}-{dpi}-")
        try:
            self._start(wm, dpi)
        except BaseException:
            self.close()
            raise

    def _start(self, wm, dpi):
        xvfb, number = start_xvfb(1280, 800)
        self.procs.append(xvfb)
        self.display = f":{number}"
        self.env = no_buses(dict(os.environ, DISPLAY=self.display, HOME=self.home,
                                 XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                                 NO_AT_BRIDGE="1"), self.home)
        # NOTE: Xvfb resets itself, resources included, whenever its last client leaves; a
        # connection held here keeps xrdb's Xft.dpi for the window manager and the program.
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        self.hold = xlib.XOpenDisplay(self.env["DISPLAY"].encode())
        if not self.hold:
            raise AssertionError("cannot connect to " + self.env["DISPLAY"])
        subprocess.run(["xrdb", "-nocpp", "-merge"], input=f"Xft.dpi: {dpi}\n", text=True,
                       env=self.env, check=True, timeout=20)
        command = {"openbox": ["openbox", "--sm-disable"],
                   "xfwm4": ["dbus-run-session", "--", "xfwm4", "--compositor=off"],
                   "icewm": ["icewm"]}[wm]
        self.wm = subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.procs.append(self.wm)
        if wm == "xfwm4":
            self.runners.append(self.wm)
        wait_for(self._wm_ready, 20, what=f"{wm} on {self.env['DISPLAY']}")

    def _wm_ready(self):
        if self.wm.poll() is not None:
            raise AssertionError(f"the window manager ended with {self.wm.returncode}")
        return "window id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK")

    def close(self):
        for p in reversed(self.procs):
            # dbus-run-session and unshare end once the program they run has ended (unshare
            # ignores SIGTERM itself); nothing else runs under them.
            for child in children(p.pid) if p in self.runners else []:
                try:
                    os.kill(child, signal.SIGTERM)
                except ProcessLookupError:
                    pass
            stop(p, 10)
        shutil.rmtree(self.home, ignore_errors=True)


class TitleShot:
    """The main window's title bar as the screen shows it, with the captions it held around the
    screenshot."""

    def __init__(self, desktop, wid, path):
        self.before = desktop.caption(wid) or ""
        desktop.x("import", "-window", "root", path)
        self.after = desktop.caption(wid) or ""
        self.path = path
        left, right, top, _ = desktop.cardinals(wid, "_NET_FRAME_EXTENTS")
        x, y, width, _ = desktop.client_rect(wid)
        self.bar = (x - left, y - top, width + left + right, top)


class CaptionInTitleBarsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tools(TOOLS)
        if not os.access(BINARY, os.X_OK):
            raise AssertionError(f"QV_TICKSPAN does not name the program: {BINARY!r}")
        os.makedirs(SHOTS, exist_ok=True)

    def start_program(self, desktop):
        app = subprocess.Popen([*uptime_prefix(WIDEST_UPTIME_S), BINARY], env=desktop.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        desktop.procs.append(app)
        desktop.runners.append(app)

        def main_window():
            if app.poll() is not None:
                raise AssertionError(f"the program ended with {app.returncode}")
            return desktop.search("--name", "^QV-TICKSPAN: ")

        wid = wait_for(main_window, 15, what="the main window")
        wait_for(lambda: desktop.cardinals(wid, "_NET_FRAME_EXTENTS"), 10,
                 what="the frame extents")
        days = wait_for(lambda: RUNNING_TITLE.match(desktop.caption(wid) or ""), 10,
                        what="the running caption")
        self.assertEqual(days.group(1), "9999", "the time namespace's uptime")
        return wid

    def read_title(self, wm, dpi):
        """(the title font's height in pixels, None once the title bar has shown the whole
        caption or else what it showed)."""
        desktop = WindowManagerDesktop(wm, dpi)
        try:
            wid = self.start_program(desktop)
            path = os.path.join(SHOTS, f"{wm}-{dpi}.png")
            deadline = time.monotonic() + title_ocr.READ_TIMEOUT_S
            while True:
                shot = TitleShot(desktop, wid, path)
                whole, seen = title_ocr.shows_whole(path, shot.bar, [shot.before, shot.after],
                                                    title_ocr.CAPTION_WHITELIST)
                if whole or time.monotonic() > deadline:
                    break
            height = title_ocr.word_height(path, shot.bar, "TICKSPAN",
                                           title_ocr.CAPTION_WHITELIST)
            self.assertIsNotNone(height, f"no title read in {shot.bar} of {path}: {seen}")
            return height, None if whole else (
                f"{wm} at {dpi} DPI shows no whole caption: {shot.before!r} was read as "
                f"{seen} in {shot.bar} of {path}")
        finally:
            desktop.close()

    def check_both_dpis(self, wm):
        low, cut_low = self.read_title(wm, 96)
        high, cut_high = self.read_title(wm, 144)
        # First: the window manager's title font really grows with Xft.dpi.
        self.assertGreaterEqual(high / low, title_ocr.LEAST_GROWTH,
                                f"{wm}'s title font does not grow at 144 DPI: {low} -> {high}")
        self.assertIsNone(cut_low)
        self.assertIsNone(cut_high)

    def test_openbox(self):
        self.check_both_dpis("openbox")

    def test_xfwm4(self):
        self.check_both_dpis("xfwm4")

    def test_icewm(self):
        # Its default theme keeps a 21-pixel title bar, which clips its own larger font at
        # 144 DPI.
        self.assertIsNone(self.read_title("icewm", 96)[1])


if __name__ == "__main__":
    unittest.main()
