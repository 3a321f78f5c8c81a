"""End-to-end tests of the Linux program's width and the hint on its strip, on a private Xvfb
display with openbox: the window is wide enough for openbox's title bar unless the user stored a
width, and resting the pointer on the strip shows "Double-click for options" below the title
bar, while a double-click there still opens the About window."""

import os
import unittest

from desktop import wait_for, write_store
from program_case import SECTION, DesktopTest, px

import title_ocr

TOOLTIP = "Double-click for options"


class StripHintTest(DesktopTest):
    def other_windows(self, app):
        """The program's visible windows other than the main window."""
        out = self.desktop.x("xdotool", "search", "--onlyvisible", "--pid", str(app.proc.pid))
        return [int(w) for w in out.split() if int(w) != app.main]

    def test_hover_shows_the_hint_below_the_title_bar_and_double_click_still_opens_about(self):
        app = self.start()
        self.assertEqual(self.other_windows(app), [])
        x, y = app.strip_point()
        # Two moves: the pointer enters the window, then rests on it as a hand's would.
        self.desktop.x("xdotool", "mousemove", str(x - 1), str(y), check=True)
        self.desktop.x("xdotool", "mousemove", str(x), str(y), check=True)
        tip = wait_for(lambda: self.other_windows(app), timeout=5, what="the tooltip")[0]

        tx, ty, tw, th = self.desktop.client_rect(tip)
        cx, cy, _, _ = self.desktop.client_rect(app.main)
        self.assertGreaterEqual(ty, cy, "the tooltip covers the title bar")
        shot = os.path.join(self.desktop.home, "tooltip.png")
        self.desktop.screenshot(shot)
        shown, seen = title_ocr.shows_whole(shot, (tx, ty, tw, th), [TOOLTIP])
        self.assertTrue(shown, f"the tooltip reads {seen}")

        # The double-click lands on the strip, not on the tooltip, and opens the About window.
        self.desktop.double_click(x, y)
        about = int(wait_for(app.about, what="the About window"))
        self.desktop.close_window(about)
        wait_for(lambda: not app.about(), what="the About window closed")
        self.close_main(app)

    def test_width_fits_the_caption_unless_one_is_stored(self):
        app = self.start()
        _, _, width, _ = self.desktop.outer_rect(app.main)
        # openbox's title bar, with its icon and three buttons, cuts the caption at the
        # design's 4410 twips.
        self.assertGreater(width, px(4410))
        self.close_main(app)

        write_store(self.config, SECTION, {"MAIN_Width": "4410"})
        app = self.start()
        self.assertEqual(self.desktop.outer_rect(app.main)[2], px(4410))
        self.close_main(app)
        self.assertEqual(self.store()["MAIN_Width"], "4410", "the stored width stays")


if __name__ == "__main__":
    unittest.main()
