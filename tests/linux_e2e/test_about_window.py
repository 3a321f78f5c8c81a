"""The Linux program's About window end to end: modal above its owner, its labels, its options
by mouse and keyboard, and what it saves."""

import signal
import unittest

from desktop import DISABLED_TITLE, RUNNING_TITLE, wait_for
from program_case import TWIPS_PER_PIXEL, DesktopTest, px


class AboutWindowTest(DesktopTest):
    def label_rect(self, about, left, top, width, height):
        return (px(left), px(top), px(width), px(height))

    def test_modal_transient_and_above_its_owner(self):
        app = self.start()
        about = app.open_about()
        transient = self.desktop.x("xprop", "-id", str(about), "WM_TRANSIENT_FOR")
        self.assertIn(hex(app.main), transient)
        self.run_on(app, 3)  # the keeper runs twice, with About in the foreground
        self.assertIn("_NET_WM_STATE_ABOVE", self.desktop.atoms(app.main, "_NET_WM_STATE"))
        stacking = self.desktop.root_windows("_NET_CLIENT_LIST_STACKING")
        self.assertGreater(stacking.index(about), stacking.index(app.main))

        # Out of the way, then the main window takes no double-click and Escape closes nothing.
        self.drag_title(about, 0, 200)
        moved = wait_for(lambda: self.desktop.outer_rect(about)[1] > px(1000) + 100 and
                         self.desktop.outer_rect(about), what="About moved")
        self.desktop.double_click(*app.strip_point())
        self.desktop.key(about, "Escape")
        # Keys after those, which About handles in turn: Tab to AutoStart, Space clears it.
        self.desktop.key(about, "Tab", "space")
        wait_for(lambda: app.caption() == DISABLED_TITLE, what="AutoStart cleared")
        pid = str(app.proc.pid)
        self.assertEqual(len(self.desktop.x("xdotool", "search", "--all", "--onlyvisible", "--pid", pid,
                                            "--name", "ABOUT$").split()), 1)
        self.desktop.close_window(app.main)  # the owner takes no input, its close included
        self.desktop.close_window(about)  # handled after the main window's close
        wait_for(lambda: app.about() is None, what="About closed")
        # Still there to open About again: the main window's close did nothing.
        about = app.open_about()
        self.assertIsNone(app.proc.poll(), "the main window closed under its About window")
        self.desktop.close_window(about)
        wait_for(lambda: app.about() is None, what="About closed")
        self.assertEqual(self.store()["ABOUT_Top"], str(moved[1] * TWIPS_PER_PIXEL))
        self.desktop.key(app.main, "Escape")
        app.open_about()  # handled after the Escape
        self.assertIsNone(app.proc.poll(), "Escape closed the main window")

    def test_labels_green_on_black_and_creator_address(self):
        app = self.start()
        about = app.open_about()
        green, black = (0, 255, 0), (0, 0, 0)
        labels = {"QV_TITLE_1": (120, 120, 2295, 375), "CREATOR": (120, 600, 5175, 375),
                  "VERSION": (6840, 120, 1695, 375), "FREEWARE": (5400, 600, 3135, 375),
                  "QV_TITLE_3": (5400, 120, 1335, 375), "QV_TITLE_2": (2520, 120, 2775, 375)}
        shot = self.drawn(about, self.label_rect(about, *labels["CREATOR"]),
                          lambda c: green in c, "the About window drawn")
        for name, rect in labels.items():
            with self.subTest(name):
                colours = self.desktop.colours(shot, self.label_rect(about, *rect))
                self.assertIn(green, colours)
                self.assertGreater(colours.get(black, 0), sum(colours.values()) // 2)
                # Only black, green and the green's antialiased shades.
                self.assertTrue(all(r == 0 and b == 0 for r, _, b in colours), colours)

        creator = self.label_rect(about, *labels["CREATOR"])
        before = self.desktop.colours(shot, creator)
        x, y, _, _ = self.desktop.client_rect(about)
        self.desktop.double_click(x + creator[0] + creator[2] // 2, y + creator[1] + 10)
        self.drawn(about, creator, lambda c: c != before, "the contact address")
        ok = self.label_rect(about, 6000, 1200, 2055, 615)
        self.desktop.click(x + ok[0] + ok[2] // 2, y + ok[1] + ok[3] // 2)
        wait_for(lambda: app.about() is None, what="OK closes About")
        about = app.open_about()
        shot = self.drawn(about, creator, lambda c: green in c, "About drawn again")
        self.assertEqual(self.desktop.colours(shot, creator), before)

    def test_autostart_click_stops_steps_and_persists(self):
        app = self.start()
        wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running title")
        about = app.open_about()
        x, y, _, _ = self.desktop.client_rect(about)
        box = self.label_rect(about, 3720, 1200, 975, 495)
        self.desktop.click(x + box[0] + 8, y + box[1] + box[3] // 2)
        wait_for(lambda: app.caption() == DISABLED_TITLE, what="the disabled title")
        self.assertEqual(self.store()["AUTOSTART_TICKBOX"], "0")
        self.desktop.close_window(about)
        wait_for(lambda: app.about() is None, what="About closed")
        self.close_main(app)

        app = self.start()
        about = app.open_about()
        # Its loop has run on to open About: the steps would have set the caption by now.
        self.assertEqual(app.caption(), DISABLED_TITLE)
        self.desktop.click(x + box[0] + 8, y + box[1] + box[3] // 2)
        wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running title")
        self.assertEqual(self.store()["AUTOSTART_TICKBOX"], "1")

    def test_keyboard_focus_starts_on_ok_then_autostart_then_always_on_top(self):
        app = self.start()
        about = app.open_about()
        self.desktop.key(about, "space")
        wait_for(lambda: app.about() is None, what="space on OK closes About")
        about = app.open_about()
        self.desktop.key(about, "Tab", "space")
        wait_for(lambda: app.caption() == DISABLED_TITLE, what="AutoStart cleared")
        self.desktop.key(about, "Tab", "space")
        wait_for(lambda: self.store().get("AlwaysOnTop_TICKBOX") == "0",
                 what="Always On Top cleared")
        # Space after Enter, handled in turn, sets Always On Top again in the About still open.
        self.desktop.key(about, "Return", "space")
        wait_for(lambda: self.store().get("AlwaysOnTop_TICKBOX") == "1",
                 what="Always On Top set again")
        self.assertIsNotNone(app.about(), "Enter closed About: it has no default button")


    def test_sigterm_with_about_open_saves_both_windows(self):
        app = self.start()
        app.open_about()
        app.signal(signal.SIGTERM)
        self.assertEqual(app.wait_exit(), 0, app.stderr())
        store = self.store()
        for key in ("ABOUT_Left", "ABOUT_Top", "MAIN_Left", "MAIN_Top", "AUTOSTART_TICKBOX"):
            self.assertIn(key, store)


if __name__ == "__main__":
    unittest.main()
