"""End-to-end test of the Linux program: clearing Always On Top stops the keeper and nothing
else, so the main window keeps the topmost state it has, whichever option is cleared first and
however the About window closes. One CTest test with a display of its own."""

import os
import shutil
import unittest

from desktop import DISABLED_TITLE, RUNNING_TITLE, wait_for
from program_case import DesktopTest, px

ABOVE = "_NET_WM_STATE_ABOVE"
AUTOSTART_BOX = (3720, 1200, 975, 495)
ALWAYS_ON_TOP_BOX = (840, 1200, 1575, 495)


class TopmostKeptTest(DesktopTest):
    def click_box(self, about, box):
        x, y, _, _ = self.desktop.client_rect(about)
        left, top, _, height = box
        self.desktop.click(x + px(left) + 8, y + px(top) + px(height) // 2)

    def main_above(self, app):
        return ABOVE in self.desktop.atoms(app.main, "_NET_WM_STATE")

    def check_kept(self, autostart_first, close):
        shutil.rmtree(os.path.join(self.config, "QV_TKS"), ignore_errors=True)  # both options on
        app = self.start()
        wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running title")
        about = app.open_about()
        # The keeper has run with the About window in the foreground: the main window is on top.
        wait_for(lambda: self.main_above(app), what="the main window in the topmost band")
        with self.desktop.spy(app.main, "_NET_WM_STATE") as spy:
            spy.wait_lines(1)
            if autostart_first:
                self.click_box(about, AUTOSTART_BOX)
                wait_for(lambda: app.caption() == DISABLED_TITLE, what="AutoStart cleared")
            self.click_box(about, ALWAYS_ON_TOP_BOX)
            wait_for(lambda: self.store().get("AlwaysOnTop_TICKBOX") == "0",
                     what="Always On Top cleared")
            if autostart_first:
                self.click_box(about, AUTOSTART_BOX)  # the captions show the loop running on
                wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""),
                         what="AutoStart ticked again")
            self.run_on(app, 3)  # the keeper would have run twice
            if close == "ok":
                self.click_box(about, (6000, 1200, 2055, 615))
            else:
                self.desktop.close_window(about)
            wait_for(lambda: app.about() is None, what="About closed")
            self.run_on(app, 3)
            changes = list(spy.lines)
        self.assertTrue(all(ABOVE in line for line in changes), changes)
        self.assertTrue(self.main_above(app))
        self.close_main(app)

    def test_cleared_while_the_steps_run(self):
        for close in ("ok", "close command"):
            with self.subTest(close):
                self.check_kept(autostart_first=False, close=close)

    def test_cleared_after_autostart(self):
        for close in ("ok", "close command"):
            with self.subTest(close):
                self.check_kept(autostart_first=True, close=close)


if __name__ == "__main__":
    unittest.main()
