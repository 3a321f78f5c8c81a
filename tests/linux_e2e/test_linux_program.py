"""End-to-end tests of the Linux program (build/linux/qv-tickspan, path in $QV_TICKSPAN) on a
private Xvfb display with openbox. Each test class is one CTest test with a display of its own;
each test starts the program with its own settings folder."""

import configparser
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from desktop import (DISABLED_TITLE, RUNNING_TITLE, SCREEN, App, Desktop, read_store,
                     wait_for, write_store)

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


class SeveralCopiesTest(DesktopTest):
    def test_two_copies_ended_together_both_save(self):
        names = ["qv-first", "qv-second.bin"]
        folder = tempfile.mkdtemp(prefix="qv-copies-", dir=self.config)
        apps = []
        for name in names:
            exe = os.path.join(folder, name)
            shutil.copy(BINARY, exe)
            apps.append(self.start(exe))
        for app in apps:
            app.signal(signal.SIGTERM)
        for app in apps:
            self.assertEqual(app.wait_exit(), 0, app.stderr())
        store = read_store(self.config)
        for section in ("qv-first", "qv-second"):
            self.assertEqual(sorted(store[section]), ["AUTOSTART_TICKBOX", "AlwaysOnTop_TICKBOX",
                                                      "MAIN_Left", "MAIN_Top"])


    def test_a_copy_under_a_non_ascii_name_in_the_c_locale(self):
        # The program relies on no locale of the user's: under C it keeps its UTF-8 name whole.
        exe = os.path.join(tempfile.mkdtemp(prefix="qv-copies-", dir=self.config), "Übersicht ⏱")
        shutil.copy(BINARY, exe)
        env = {k: v for k, v in self.desktop.env.items() if not k.startswith(("LC_", "LANG"))}
        app = App(self.desktop, self.config, exe, dict(env, LC_ALL="C"))
        self.apps.append(app)
        wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running title")
        self.close_main(app)
        self.assertEqual(app.stderr(), "")
        self.assertIn("MAIN_Left", read_store(self.config)["Übersicht ⏱"])


class InstallTest(DesktopTest):
    def test_installed_program_menu_entry_and_icons(self):
        build = os.environ.get("QV_BUILD_DIR", "")
        prefix = tempfile.mkdtemp(prefix="qv-prefix-", dir=self.config)
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       capture_output=True)
        entries = [f for f in os.listdir(os.path.join(prefix, "share", "applications"))]
        self.assertEqual(len(entries), 1)
        self.assertRegex(entries[0], r"^[a-z]+\.[a-z]+\.[A-Za-z]+\.desktop$")  # reverse DNS
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(prefix, "share", "applications", entries[0]))
        desktop = entry["Desktop Entry"]
        self.assertEqual(desktop["Type"], "Application")
        program = os.path.join(prefix, "bin", desktop["Exec"])
        for size in (16, 22, 24, 32, 48, 64, 128, 256):
            icon = os.path.join(prefix, "share", "icons", "hicolor", f"{size}x{size}", "apps",
                                desktop["Icon"] + ".png")
            self.assertTrue(os.path.isfile(icon), icon)

        # The binary stands alone: its icon is inside it.
        app = self.start(program)
        self.assertEqual(self.desktop.cardinals(app.main, "_NET_WM_ICON")[:2], [16, 16])
        self.close_main(app)
        self.assertIn(SECTION, read_store(self.config))


class DisplayLossTest(DesktopTest):
    def test_lost_x_server_saves_last_position(self):
        app = self.start()
        self.drag_title(app.main, 120, 60)
        moved = wait_for(lambda: (r := self.desktop.outer_rect(app.main))[0] != px(1000) and r,
                         what="the move")
        self.run_on(app, 1)  # the program has heard of the move
        self.desktop.xvfb.terminate()
        self.desktop.xvfb.wait()
        self.assertEqual(app.wait_exit(), 1)
        self.assertIn("X server", app.stderr())
        self.assertEqual(self.store()["MAIN_Left"], str(moved[0] * TWIPS_PER_PIXEL))


if __name__ == "__main__":
    unittest.main()
