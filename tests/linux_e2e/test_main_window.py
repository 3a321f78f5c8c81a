"""The Linux program's main window end to end: the running caption, its place, frame and icon,
what it saves, and the always-on-top keeper."""

import re
import signal
import time
import unittest

from desktop import RUNNING_TITLE, SCREEN, wait_for, write_store
from program_case import SECTION, TWIPS_PER_PIXEL, DesktopTest, px


class MainWindowTest(DesktopTest):
    def test_first_run_shows_uptime_at_default_place(self):
        app = self.start()
        wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running title")
        # A second that turns over after `before` was read, received before `after` was: the
        # program counts on the system's clock of uptime, however late it gets to run.
        before = time.clock_gettime(time.CLOCK_BOOTTIME)
        with self.desktop.spy(app.main, "_NET_WM_NAME") as spy:
            changed = spy.wait_lines(2)[1]
        after = time.clock_gettime(time.CLOCK_BOOTTIME)
        title = RUNNING_TITLE.match(changed.split(" = ", 1)[1].strip('"'))
        d, h, m, s = (int(v) for v in title.groups())
        shown = ((d * 24 + h) * 60 + m) * 60 + s
        self.assertTrue(int(before) - 1 <= shown <= after, (before, shown, after))

        x, y, w, h = self.desktop.outer_rect(app.main)
        self.assertEqual((x, y), (px(1000), px(1000)))
        self.assertGreater(w, px(4410), "room for the whole caption in openbox's title bar")
        self.assertGreaterEqual(self.desktop.client_rect(app.main)[3], 5, "the client strip")

        # Fixed single border: move and close only, no resizing.
        hints = self.desktop.cardinals(app.main, "_MOTIF_WM_HINTS")
        self.assertEqual(hints[1], 4 | 32)
        normal = self.desktop.x("xprop", "-id", str(app.main), "WM_NORMAL_HINTS")
        sizes = re.findall(r"(minimum|maximum) size: (\d+) by (\d+)", normal)
        self.assertEqual(len(sizes), 2)
        self.assertEqual(sizes[0][1:], sizes[1][1:])
        actions = self.desktop.atoms(app.main, "_NET_WM_ALLOWED_ACTIONS")
        self.assertNotIn("_NET_WM_ACTION_RESIZE", actions)
        self.assertNotIn("_NET_WM_ACTION_MAXIMIZE_HORZ", actions)
        # The design's two icon images; xprop heads each with its size.
        icon = self.desktop.x("xprop", "-id", str(app.main), "_NET_WM_ICON")
        self.assertEqual(re.findall(r"Icon \((\d+) x (\d+)\)", icon), [("16", "16"), ("24", "24")])

        self.close_main(app)
        self.assertEqual(self.store(), {"MAIN_Left": "1000", "MAIN_Top": "1000",
                                        "AlwaysOnTop_TICKBOX": "1", "AUTOSTART_TICKBOX": "1"})

    def test_caption_reaches_the_server_only_when_it_changes(self):
        app = self.start()
        wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running title")
        # The first line is the value at the start, then one line for each change the server
        # sees: each differs from the one before, though the title composer runs a hundred
        # times a second.
        with self.desktop.spy(app.main, "_NET_WM_NAME") as spy:
            updates = spy.wait_lines(4)
        seconds = []
        for line in updates:
            m = RUNNING_TITLE.match(line.split(" = ", 1)[1].strip('"'))
            self.assertTrue(m, line)
            d, h, mi, sec = (int(v) for v in m.groups())
            seconds.append(((d * 24 + h) * 60 + mi) * 60 + sec)
        self.assertEqual(seconds, sorted(set(seconds)), updates)

    def start_with_resources(self, resources):
        """The program started while the server holds `resources` (RESOURCE_MANAGER), which it
        reads as it connects; they are gone again once its window is there."""
        root = ["xprop", "-root"]
        self.desktop.x(*root, "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                       resources, check=True)
        try:
            return self.start()
        finally:
            self.desktop.x(*root, "-remove", "RESOURCE_MANAGER", check=True)

    def test_xft_dpi_scales_the_twips(self):
        # A stored width: the default one follows the title font instead.
        write_store(self.config, SECTION, {"MAIN_Width": "4410"})
        for resources, expect in [("Xft.antialias:\t1\nXft.dpi:\t144\n", 441),
                                  # the more specific name wins, in whichever order
                                  ("Xft.dpi:\t144\n*dpi:\t120\n", 441),
                                  ("Xft.dpi:\tbig\n", 294)]:
            with self.subTest(resources):
                app = self.start_with_resources(resources)
                x, y, w, _ = self.desktop.outer_rect(app.main)
                self.assertEqual(w, expect)
                self.assertEqual((x, y), (px(1000), px(1000)) if expect == 294 else (100, 100))
                self.close_main(app)
                self.assertEqual(self.store()["MAIN_Left"], "1000")
                if expect == 294:
                    self.assertIn('Xft.dpi holds "big"', app.stderr())

    def test_every_spelling_of_the_dpi_resource_counts(self):
        app = self.start()
        width_at_96 = self.desktop.outer_rect(app.main)[2]
        self.close_main(app)
        widths = {}
        for spelling in ("Xft.dpi", "Xft*dpi", "*dpi"):
            app = self.start_with_resources(f"{spelling}:\t144\n")
            x, y, widths[spelling], _ = self.desktop.outer_rect(app.main)
            self.assertEqual((x, y), (100, 100), spelling)  # 1000 twips at 144 DPI
            self.close_main(app)
        print(f"widths at 144 DPI: {widths}; at 96 DPI: {width_at_96}")
        self.assertEqual(len(set(widths.values())), 1, widths)
        self.assertGreater(widths["Xft.dpi"], width_at_96 * 1.3, "the title font grew")

    def test_moved_window_comes_back_after_close_and_after_sigterm(self):
        for ending in ("close", "sigterm"):
            with self.subTest(ending):
                app = self.start()
                before = self.desktop.outer_rect(app.main)
                self.drag_title(app.main, 150, 90)
                after = wait_for(lambda: (r := self.desktop.outer_rect(app.main)) != before and r,
                                 what="the move")
                if ending == "close":
                    self.close_main(app)
                else:
                    app.signal(signal.SIGTERM)
                    self.assertEqual(app.wait_exit(), 0, app.stderr())
                store = self.store()
                self.assertEqual(store["MAIN_Left"], str(after[0] * TWIPS_PER_PIXEL))
                self.assertEqual(store["MAIN_Top"], str(after[1] * TWIPS_PER_PIXEL))

                again = self.start()
                self.assertEqual(self.desktop.outer_rect(again.main)[:2], after[:2])
                self.close_main(again)
                self.assertEqual(self.store()["MAIN_Left"], store["MAIN_Left"])

    def test_unusable_stored_values_fall_back(self):
        for values, expect in [
            ({"MAIN_Left": "abc", "MAIN_Top": "1e99", "AUTOSTART_TICKBOX": "x"}, "default"),
            ({"MAIN_Left": "-90000", "MAIN_Top": "60000"}, "on screen"),
        ]:
            with self.subTest(expect):
                write_store(self.config, SECTION, values)
                app = self.start()
                x, y, w, h = self.desktop.outer_rect(app.main)
                if expect == "default":
                    self.assertEqual((x, y), (px(1000), px(1000)))
                    self.assertIn("MAIN_Left", app.stderr())
                    wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""),
                             what="the running title")
                else:
                    self.assertTrue(0 <= x and x + w <= SCREEN[0] and 0 <= y < SCREEN[1] - 20,
                                    (x, y, w, h))
                self.close_main(app)

    def test_whole_designed_client_area_shows_only_the_line(self):
        # Client area 12060 x 5730 twips plus the frame.
        write_store(self.config, SECTION, {"MAIN_Width": "12300", "MAIN_Height": "6300",
                                           "AlwaysOnTop_TICKBOX": "0"})
        app = self.start()
        _, _, w, h = self.desktop.client_rect(app.main)
        self.assertGreaterEqual((w, h), (px(12060), px(5730)))
        shot = self.drawn(app.main, (0, 0, w, h), lambda c: len(c) > 1, "the window drawn")
        colours = self.desktop.colours(shot, (0, 0, w, h))
        self.assertEqual(len(colours), 2, colours)
        line = min(colours, key=colours.get)
        length = px(5400) - px(1320)
        self.assertIn(colours[line], (length, length + 1))  # with or without its end point
        column = self.desktop.colours(shot, (px(5160), px(1320), 1, length))
        self.assertEqual(list(column), [line])


class AlwaysOnTopTest(DesktopTest):
    def other_topmost_then_program(self):
        """The program, then another program's window in the topmost band and the foreground.
        The band is seen through a spy: the keeper may take it away at any moment after."""
        app = self.start()
        other = self.desktop.start_other_window()
        with self.desktop.spy(other, "_NET_WM_STATE") as spy:
            spy.wait_lines(1)
            self.desktop.x("wmctrl", "-i", "-r", str(other), "-b", "add,above", check=True)
            wait_for(lambda: any("_NET_WM_STATE_ABOVE" in line for line in spy.lines),
                     what="the other window in the topmost band")
        self.desktop.activate(other)
        return app, other

    def test_keeper_takes_the_topmost_band_without_taking_focus(self):
        app, other = self.other_topmost_then_program()
        wait_for(lambda: "_NET_WM_STATE_ABOVE" not in self.desktop.atoms(other, "_NET_WM_STATE")
                 and "_NET_WM_STATE_ABOVE" in self.desktop.atoms(app.main, "_NET_WM_STATE"),
                 what="the keeper")
        stacking = self.desktop.root_windows("_NET_CLIENT_LIST_STACKING")
        self.assertGreater(stacking.index(app.main), stacking.index(other))
        self.assertEqual(self.desktop.active(), other)

    def test_nothing_changes_with_the_option_cleared(self):
        write_store(self.config, SECTION, {"AlwaysOnTop_TICKBOX": "0"})
        app, other = self.other_topmost_then_program()
        self.run_on(app, 3)  # the keeper would have run twice
        self.assertIn("_NET_WM_STATE_ABOVE", self.desktop.atoms(other, "_NET_WM_STATE"))
        self.assertNotIn("_NET_WM_STATE_ABOVE", self.desktop.atoms(app.main, "_NET_WM_STATE"))


if __name__ == "__main__":
    unittest.main()
