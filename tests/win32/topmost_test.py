"""Clearing Always On Top in the Windows program, end to end under Wine on a private Xvfb +
openbox desktop: the keeper stops and nothing else changes, so the main window keeps the topmost
state it has, whichever option is cleared first and however the About window closes.

Usage: topmost_test.py EXE"""

import re
import subprocess
import sys
import unittest

from desktop import Registry, WineDesktop, wait_for

EXE = None
RUNNING = r"^QV-TICKSPAN: (\d+)d, (\d+)h, (\d+)m, (\d+)s$"
DISABLED = "QV-TICKSPAN: TIMERS DISABLED !!!"
ABOUT = "^QV-TICKSPAN - ABOUT$"
MAIN = "^QV-TICKSPAN: "
ABOVE = "_NET_WM_STATE_ABOVE"
# Control centres in the About window's client area, in pixels at 96 DPI (twips / 15).
AUTOSTART_BOX = (265, 96)
ALWAYS_ON_TOP_BOX = (85, 96)
OK_BUTTON = (468, 100)


class TopmostKeptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desktop = WineDesktop()
        cls.registry = Registry(cls.desktop)

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    def run_on(self, main, seconds):
        """Returns once the program has shown `seconds` more running captions: its loop has run
        that long since, so its one-second keeper would have had its turns."""
        with self.desktop.spy(main, "_NET_WM_NAME") as spy:
            spy.wait_lines(1 + seconds)

    def above(self, main):
        return ABOVE in self.desktop.net_wm_state(main)

    def check_kept(self, autostart_first, close):
        d = self.desktop
        self.registry.clear()  # both options on
        d.run(["xdotool", "mousemove", "1270", "790"])  # away from the strip and its tooltip
        proc = subprocess.Popen(["wine", EXE], env=d.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        other = None
        try:
            main = d.wait_window(MAIN, timeout=60)
            wait_for(lambda: re.match(RUNNING, d.window_name(main)), what="the running caption")
            # NOTE: Wine keeps the main window the X server's active window while its About
            # window is open, so the keeper is first given another program's window to act on.
            other = subprocess.Popen(["xmessage", "-geometry", "+600+400", "another program"],
                                     env=d.env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
            d.activate(d.wait_window("^xmessage$"))
            wait_for(lambda: self.above(main), what="the main window in the topmost band")
            _, _, width, height = d.geometry(main)
            d.double_click(main, width // 2, height // 2)
            about = d.wait_window(ABOUT, timeout=10)
            self.run_on(main, 2)  # the keeper has run with the About window open
            self.assertTrue(self.above(main))
            if autostart_first:
                d.click(about, *AUTOSTART_BOX)
                wait_for(lambda: d.window_name(main) == DISABLED, what="AutoStart cleared")
            d.click(about, *ALWAYS_ON_TOP_BOX)
            wait_for(lambda: self.registry.query("AlwaysOnTop_TICKBOX") == "0",
                     what="Always On Top cleared")
            # From here on the keeper no longer runs, and nothing may take the band away.
            with d.spy(main, "_NET_WM_STATE") as spy:
                spy.wait_lines(1)
                if autostart_first:
                    d.click(about, *AUTOSTART_BOX)  # the captions show the loop running on
                    wait_for(lambda: re.match(RUNNING, d.window_name(main)),
                             what="AutoStart ticked again")
                self.run_on(main, 3)
                if close == "ok":
                    d.click(about, *OK_BUTTON)
                else:
                    d.close_window(about)
                wait_for(lambda: not d.find_windows(ABOUT), what="the About window closed")
                self.run_on(main, 3)
                changes = list(spy.lines)
            self.assertTrue(all(ABOVE in line for line in changes), changes)
            d.close_window(main)
            proc.wait(60)
        finally:
            for p in (other, proc):
                if p and p.poll() is None:
                    p.kill()
                    p.wait()

    def test_cleared_while_the_steps_run(self):
        for close in ("ok", "close command"):
            with self.subTest(close):
                self.check_kept(autostart_first=False, close=close)

    def test_cleared_after_autostart(self):
        for close in ("ok", "close command"):
            with self.subTest(close):
                self.check_kept(autostart_first=True, close=close)


if __name__ == "__main__":
    EXE = sys.argv.pop(1)
    unittest.main(verbosity=2)
