"""End-to-end tests of qv-tickspan.exe under Wine on a private Xvfb + openbox desktop.

Usage: program_test.py EXE UPTIME_PROBE_EXE SESSION_PROBE_EXE [SCREENSHOT_FOLDER]"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

from desktop import Registry, WineDesktop, wait_for

EXE = PROBE = SESSION_PROBE = SHOTS = None
DESKTOP = None

RUNNING = r"^QV-TICKSPAN: (\d+)d, (\d+)h, (\d+)m, (\d+)s$"
DISABLED = "QV-TICKSPAN: TIMERS DISABLED !!!"
ABOUT = "^QV-TICKSPAN - ABOUT$"
MAIN = "^QV-TICKSPAN: "
TWIPS_PER_PIXEL = 15  # Wine's desktop runs at 96 DPI

# Control centres in the About window's client area, in pixels at 96 DPI (twips / 15).
AUTOSTART_BOX = (265, 96)
ALWAYS_ON_TOP_BOX = (85, 96)


def setUpModule():
    global DESKTOP
    DESKTOP = WineDesktop()


def tearDownModule():
    if DESKTOP:
        DESKTOP.close()


class Program:
    """One run of the .exe; the main window's X window once it shows."""

    def __init__(self, desktop):
        self.desktop = desktop
        self.err = tempfile.TemporaryFile("w+")
        self.proc = subprocess.Popen(["wine", EXE], env=desktop.env, stdout=subprocess.DEVNULL,
                                     stderr=self.err, stdin=subprocess.DEVNULL)
        self.main = desktop.wait_window(MAIN, timeout=60)

    def caption(self):
        return self.desktop.window_name(self.main)

    def run_on(self, seconds):
        """Returns once the program has shown `seconds` more running captions: its loop has run
        that long since, so its one-second keeper has had its turn."""
        with self.desktop.spy(self.main, "_NET_WM_NAME") as spy:
            spy.wait_lines(1 + seconds)

    def open_about(self):
        _, _, width, height = self.desktop.geometry(self.main)
        self.desktop.double_click(self.main, width // 2, height // 2)
        return self.desktop.wait_window(ABOUT, timeout=10)

    def close(self):
        """The close command of the title bar; returns the program's standard error."""
        if self.proc.poll() is None:
            self.desktop.close_window(self.main)
        try:
            self.proc.wait(60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise AssertionError("the program did not end after its close command")
        return self.errors()

    def errors(self):
        self.err.seek(0)
        return self.err.read()


def running_seconds(caption):
    m = re.match(RUNNING, caption)
    if not m:
        return None
    d, h, mi, s = (int(g) for g in m.groups())
    return ((d * 24 + h) * 60 + mi) * 60 + s


class EndToEnd(unittest.TestCase):
    def setUp(self):
        self.desktop = DESKTOP
        self.registry = Registry(DESKTOP)
        self.registry.clear()
        self.programs = []

    def tearDown(self):
        # The screen as the test left it, to look at when a test fails.
        if SHOTS:
            self.desktop.screenshot(SHOTS, self.id().split(".")[-1])
        for p in self.programs:
            if p.proc.poll() is None:
                p.proc.kill()
                p.proc.wait()
            p.err.close()

    def shot(self, name):
        """A screenshot to look at, when the run keeps them."""
        if SHOTS:
            self.desktop.screenshot(SHOTS, name)

    def start(self):
        # The pointer away from where windows open: resting on the main window's strip, it
        # brings up the strip's tooltip over what a test reads off the screen.
        self.desktop.run(["xdotool", "mousemove", "1270", "790"])
        p = Program(self.desktop)
        self.programs.append(p)
        return p

    def wine_uptime_s(self):
        out = self.desktop.run(["wine", PROBE]).stdout
        return int(out.strip()) / 1000.0


class FirstRun(EndToEnd):
    def test_running_caption_agrees_with_the_uptime_wine_reports(self):
        p = self.start()
        caption = wait_for(lambda: (lambda c: c if re.match(RUNNING, c) else None)(p.caption()),
                           5, what="the running caption")
        with self.desktop.spy(p.main, "_NET_WM_NAME") as spy:
            spy.wait_lines(1)  # the value at the start, read before the probe runs
            shown = running_seconds(caption)
            before = self.wine_uptime_s()
            # The first caption the program makes after the probe ended, however late.
            made_after = spy.wait_lines(len(spy.lines) + 1)[-1]
        shown_after = running_seconds(made_after.split(" = ", 1)[1].strip('"'))
        # The probe ran between the two captions.
        self.assertLessEqual(shown - 2, before)
        self.assertLessEqual(before, shown_after + 2 + 1)

    def test_keeps_a_client_strip_and_saves_the_defaults_on_close(self):
        p = self.start()
        x, y, width, height = self.desktop.geometry(p.main)
        self.shot("main_window_default")
        self.assertGreaterEqual(height, 5)
        # 4410 twips wide outer frame: 294 pixels less the side borders.
        self.assertTrue(280 <= width <= 294, width)
        self.assertEqual("", p.close().strip())
        self.assertEqual("1", self.registry.query("AlwaysOnTop_TICKBOX"))
        self.assertEqual("1", self.registry.query("AUTOSTART_TICKBOX"))
        self.assertEqual("1000", self.registry.query("MAIN_Left"))
        self.assertEqual("1000", self.registry.query("MAIN_Top"))
        self.assertIsNone(self.registry.query("MAIN_Width"))


class AboutWindow(EndToEnd):
    def test_autostart_switches_the_steps_and_persists(self):
        p = self.start()
        wait_for(lambda: re.match(RUNNING, p.caption()), 5, what="the running caption")
        about = p.open_about()
        self.desktop.click(about, *AUTOSTART_BOX)
        wait_for(lambda: p.caption() == DISABLED, 2, what="the disabled title")
        self.assertEqual("0", self.registry.query("AUTOSTART_TICKBOX"))
        self.desktop.close_window(about)
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="the About window to close")
        # The program has handled the close since: the steps stay stopped.
        self.assertEqual(DISABLED, p.caption())
        p.close()

        again = self.start()
        about = again.open_about()
        # Its loop has run on to open About: the steps would have set the caption by now.
        self.assertEqual(DISABLED, again.caption())
        self.desktop.click(about, *AUTOSTART_BOX)
        wait_for(lambda: re.match(RUNNING, again.caption()), 2, what="the running caption")
        self.assertEqual("1", self.registry.query("AUTOSTART_TICKBOX"))
        self.desktop.close_window(about)
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="the About window to close")
        again.close()

    def test_keyboard_enter_and_escape_close_nothing_tab_moves_space_presses(self):
        p = self.start()
        p.open_about()
        # Past a run of the always-on-top keeper, which activates the main window: the
        # keyboard must still reach the About window.
        p.run_on(2)
        for key in ("Return", "Escape", "KP_Enter"):
            self.desktop.key(key)
        # Tab order: OK, AutoStart, Always On Top; the focus starts on OK.
        self.desktop.key("Tab")
        self.desktop.key("space")
        wait_for(lambda: p.caption() == DISABLED, 2, what="Space on AutoStart")
        # Handled after Enter and Escape, in the About window still open.
        self.assertTrue(self.desktop.find_windows(ABOUT), "Enter or Escape closed the About window")
        self.assertIsNone(p.proc.poll())
        self.desktop.key("shift+Tab")
        self.desktop.key("space")
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="OK to close the About window")
        self.assertEqual("1000", self.registry.query("ABOUT_Left"))
        p.close()

    def test_main_window_takes_no_input_while_about_is_open(self):
        p = self.start()
        about = p.open_about()
        self.desktop.close_window(p.main)
        # Past a run of the keeper, which makes the main window topmost: the About window it
        # owns stays above it.
        p.run_on(2)
        self.assertIsNone(p.proc.poll(), "the main window closed under its modal About window")
        stacking = self.desktop.stacking()
        self.assertGreater(stacking.index(about), stacking.index(p.main))
        self.desktop.close_window(about)
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="the About window to close")
        # The steps ran on while the About window was open.
        wait_for(lambda: re.match(RUNNING, p.caption()), 2, what="the running caption")
        p.close()


class Appearance(EndToEnd):
    def test_about_labels_are_green_on_black_and_the_creator_answers_a_double_click(self):
        p = self.start()
        about = p.open_about()
        # QV_TITLE_1 at (120, 120) twips, 2295 x 375: (8, 8) pixels, 153 x 25.
        label = wait_for(lambda: (lambda px: "#00FF00" in px.values() and px)(
            self.desktop.pixels(about, 8, 8, 153, 25)), what="the About window drawn")
        self.assertEqual(153 * 25, len(label))
        colours = set(label.values())
        self.assertEqual({"#000000", "#00FF00"}, colours & {"#000000", "#00FF00"})
        for corner in ((8, 8), (160, 8), (8, 32), (160, 32)):
            self.assertEqual("#000000", label[corner], corner)
        # Between the labels of the top row: the face colour.
        gap = self.desktop.pixels(about, 162, 12, 5, 5)
        self.assertNotIn("#000000", set(gap.values()))
        self.shot("about_window")
        # CREATOR_TEXTBOX, (120, 600) twips, 5175 x 375: a double-click shows another text.
        creator = lambda: sorted(pos for pos, c in self.desktop.pixels(about, 8, 40, 345, 25).items()
                                 if c == "#00FF00")
        before = creator()
        self.desktop.double_click(about, 180, 52)
        wait_for(lambda: creator() != before, 2, what="the creator label's new text")
        self.desktop.close_window(about)
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="the About window to close")
        p.close()

    def test_enlarged_main_window_shows_only_the_separator_line(self):
        # The designed client area, 12060 x 5730 twips, with the frame around it.
        self.registry.set("MAIN_Width", str(12060 + 90))
        self.registry.set("MAIN_Height", str(5730 + 375))
        p = self.start()
        x, y, width, height = self.desktop.geometry(p.main)
        self.assertGreaterEqual(width, 780)
        self.assertGreaterEqual(height, 360)
        client = wait_for(lambda: (lambda px: len(set(px.values())) > 1 and px)(
            self.desktop.pixels(p.main, 0, 0, 800, 380)), what="the main window drawn")
        # Line1 from (5160, 1320) to (5160, 5400) twips: x = 344, y = 88 to 360 pixels.
        line = {pos: c for pos, c in client.items() if pos[0] == 344 and 88 <= pos[1] <= 360}
        self.assertEqual({"#000000"}, set(line.values()))
        rest = {c for pos, c in client.items() if pos not in line}
        self.assertEqual(1, len(rest), "something besides the line is drawn: " + str(rest))
        self.shot("main_window_enlarged")
        p.close()


class HighDpi(EndToEnd):
    def setUp(self):
        super().setUp()
        self.desktop.run(["wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels",
                          "/t", "REG_DWORD", "/d", "144", "/f"], check=True)

    def tearDown(self):
        super().tearDown()
        self.desktop.run(["wine", "reg", "delete", "HKCU\\Control Panel\\Desktop", "/v",
                          "LogPixels", "/f"])

    def test_sizes_fonts_and_the_strip_scale_with_the_dpi(self):
        p = self.start()
        x, y, width, height = self.desktop.geometry(p.main)
        # 4410 twips at 144 DPI: 441 pixels with the frame; the strip is 5 pixels at 96 DPI.
        self.assertTrue(425 <= width <= 441, width)
        self.assertGreaterEqual(height, 8)
        about = p.open_about()
        # QV_TITLE_1 at (120, 120) twips, 2295 x 375: (12, 12) pixels, 230 x 38.
        label = wait_for(lambda: (lambda px: "#00FF00" in px.values() and px)(
            self.desktop.pixels(about, 10, 10, 235, 42)), what="the About window drawn")
        self.shot("about_window_144dpi")
        for corner in ((12, 12), (241, 12), (12, 49), (241, 49)):
            self.assertEqual("#000000", label[corner], corner)
        for outside in ((11, 11), (243, 30), (100, 51)):
            self.assertNotEqual("#000000", label[outside], outside)
        # Arial 12 point bold is 24 pixels high at 144 DPI: its capitals span more than 14 rows.
        rows = {pos[1] for pos, c in label.items() if c == "#00FF00"}
        self.assertGreater(max(rows) - min(rows), 14)
        self.desktop.close_window(about)
        wait_for(lambda: not self.desktop.find_windows(ABOUT), 5, what="the About window to close")
        p.close()


class AlwaysOnTop(EndToEnd):
    def test_keeper_puts_the_main_window_above_the_foreground_window(self):
        p = self.start()
        # In the foreground, the window is left where it is: not in the topmost band. (Once
        # another window shows, the keeper may take the band at any moment.)
        self.desktop.activate(p.main)
        self.assertNotIn("_NET_WM_STATE_ABOVE", self.desktop.net_wm_state(p.main))
        # Another program's window over the main window's title bar, in the foreground.
        other = subprocess.Popen(["xmessage", "-geometry", "400x80+90+50", "another program"],
                                 env=self.desktop.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            window = self.desktop.wait_window("^xmessage$")
            self.desktop.activate(window)
            wait_for(lambda: "_NET_WM_STATE_ABOVE" in self.desktop.net_wm_state(p.main), 2,
                     what="_NET_WM_STATE_ABOVE on the main window")
            stacking = self.desktop.stacking()
            self.assertGreater(stacking.index(p.main), stacking.index(window))
            self.shot("main_window_above_another")
        finally:
            other.terminate()
            other.wait()
        p.close()

    def test_keeper_stays_off_when_the_option_is_off(self):
        self.registry.set("AlwaysOnTop_TICKBOX", "0")
        p = self.start()
        other = subprocess.Popen(["xmessage", "-geometry", "+300+300", "another program"],
                                 env=self.desktop.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            self.desktop.activate(self.desktop.wait_window("^xmessage$"))
            p.run_on(2)  # the keeper would have run
            self.assertNotIn("_NET_WM_STATE_ABOVE", self.desktop.net_wm_state(p.main))
        finally:
            other.terminate()
            other.wait()
        p.close()


class Position(EndToEnd):
    def test_a_moved_window_is_saved_in_twips_and_comes_back_there(self):
        p = self.start()
        self.desktop.move(p.main, 400, 300)
        moved = wait_for(lambda: (lambda g: g if g[0] > 300 else None)(self.desktop.geometry(p.main)),
                         5, what="the window to move")
        p.close()
        left = float(self.registry.query("MAIN_Left"))
        top = float(self.registry.query("MAIN_Top"))
        # The saved outer corner lies just left of and above the client area, by the frame.
        self.assertTrue(0 <= moved[0] - left / TWIPS_PER_PIXEL <= 10, (moved, left))
        self.assertTrue(0 <= moved[1] - top / TWIPS_PER_PIXEL <= 40, (moved, top))
        self.assertEqual(left, int(left))

        again = self.start()
        wait_for(lambda: self.desktop.geometry(again.main) == moved, 3,
                 what=f"the window back at {moved}, not {self.desktop.geometry(again.main)}")
        again.close()
        self.assertEqual(left, float(self.registry.query("MAIN_Left")))
        self.assertEqual(top, float(self.registry.query("MAIN_Top")))

    def test_logging_off_saves_both_windows_as_a_close_does(self):
        p = self.start()
        self.desktop.move(p.main, 500, 350)
        moved = wait_for(lambda: (lambda g: g if g[0] > 400 else None)(self.desktop.geometry(p.main)),
                         5, what="the window to move")
        p.open_about()
        self.desktop.run(["wineboot", "--end-session"], timeout=60)
        p.proc.wait(60)
        left = float(self.registry.query("MAIN_Left"))
        self.assertTrue(0 <= moved[0] - left / TWIPS_PER_PIXEL <= 10, (moved, left))
        self.assertEqual("1000", self.registry.query("ABOUT_Left"))
        self.assertEqual("1", self.registry.query("AUTOSTART_TICKBOX"))


    def test_a_logoff_query_then_cancelled_saves_and_leaves_the_program_running(self):
        p = self.start()
        self.desktop.move(p.main, 450, 320)
        moved = wait_for(lambda: (lambda g: g if g[0] > 350 else None)(self.desktop.geometry(p.main)),
                         5, what="the window to move")
        answer = self.desktop.run(["wine", SESSION_PROBE], check=True).stdout.strip()
        self.assertEqual(answer, "1", "the program lets the session end")
        # Saved before any close, and still running: its caption goes on counting.
        left = float(self.registry.query("MAIN_Left"))
        self.assertTrue(0 <= moved[0] - left / TWIPS_PER_PIXEL <= 10, (moved, left))
        self.assertEqual("1", self.registry.query("AUTOSTART_TICKBOX"))
        self.assertIsNone(p.proc.poll(), "the program ended although the logoff was cancelled")
        first = p.caption()
        wait_for(lambda: p.caption() != first and re.match(RUNNING, p.caption()), 5,
                 what="the caption counting on")
        p.close()


class StoredValues(EndToEnd):
    def test_unusable_values_give_the_defaults(self):
        first = self.start()
        default_place = self.desktop.geometry(first.main)
        first.close()
        self.registry.clear()
        self.registry.set("MAIN_Left", "abc")
        self.registry.set("MAIN_Top", "1e999")
        self.registry.set("AUTOSTART_TICKBOX", "1", kind="REG_DWORD")
        self.registry.set("AlwaysOnTop_TICKBOX", "abc")
        p = self.start()
        self.assertEqual(default_place, self.desktop.geometry(p.main))
        wait_for(lambda: re.match(RUNNING, p.caption()), 5, what="the running caption")
        err = p.close()
        self.assertIn("MAIN_Left", err)

    def test_a_position_on_no_monitor_comes_back_on_screen(self):
        self.registry.set("MAIN_Left", "-300000")
        self.registry.set("MAIN_Top", "400000")
        p = self.start()
        x, y, width, height = self.desktop.geometry(p.main)
        self.assertTrue(0 <= x and x + width <= 1280, x)
        self.assertTrue(0 <= y and y + height <= 800, y)
        p.close()


if __name__ == "__main__":
    EXE, PROBE, SESSION_PROBE = (os.path.abspath(a) for a in sys.argv[1:4])
    SHOTS = sys.argv[4] if len(sys.argv) > 4 else None
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[5:])
