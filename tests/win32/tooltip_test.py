"""The hint on the Windows program's strip, end to end under Wine on a private Xvfb + openbox
desktop: resting the pointer on the strip shows "Double-click for options" below the title bar,
and a double-click there still opens the About window.

Usage: tooltip_test.py EXE"""

import re
import subprocess
import sys
import tempfile
import unittest

import title_ocr
from desktop import WineDesktop, require_tools, wait_for

EXE = None
TOOLTIP = "Double-click for options"
MAIN = "^QV-TICKSPAN: "
ABOUT = "^QV-TICKSPAN - ABOUT$"


class StripTooltipTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tools(title_ocr.TOOLS)
        cls.desktop = WineDesktop()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    def visible_windows(self):
        out = self.desktop.run(["xdotool", "search", "--onlyvisible", "--name", ""]).stdout
        return {int(w) for w in out.split()}

    def override_redirect(self, window):
        out = self.desktop.run(["xwininfo", "-id", str(window)]).stdout
        return re.search(r"Override Redirect State:\s+yes", out) is not None

    def test_hover_shows_the_hint_below_the_title_bar_and_double_click_still_opens_about(self):
        d = self.desktop
        proc = subprocess.Popen(["wine", EXE], env=d.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        try:
            main = d.wait_window(MAIN, timeout=30)
            before = self.visible_windows()
            x, y, w, h = d.geometry(main)  # the client area: the strip
            d.run(["xdotool", "mousemove", str(x + w // 2 - 1), str(y + h // 2)])
            d.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2)])

            def tooltip():
                new = [v for v in self.visible_windows() - before if self.override_redirect(v)]
                return new[0] if new else None

            tip = wait_for(tooltip, 10, what="the tooltip")
            tx, ty, tw, th = d.geometry(tip)
            self.assertGreaterEqual(ty, y, "the tooltip covers the title bar")
            shot = d.screenshot(tempfile.mkdtemp(dir=d.root), "tooltip")
            shown, seen = title_ocr.shows_whole(shot, (tx, ty, tw, th), [TOOLTIP])
            self.assertTrue(shown, f"the tooltip reads {seen}")

            # The double-click lands on the strip, not on the tooltip.
            d.double_click(main, w // 2, h // 2)
            about = d.wait_window(ABOUT, timeout=10)
            d.close_window(about)
            wait_for(lambda: not d.find_windows(ABOUT), 10, what="the About window closed")
            d.close_window(main)
            proc.wait(20)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


if __name__ == "__main__":
    EXE = sys.argv.pop(1)
    unittest.main(verbosity=2)
