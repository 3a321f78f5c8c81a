"""The Windows program's main window end to end under Wine: the running caption against the
uptime Wine reports, its strip and what it saves, the always-on-top keeper, its position through
a close and a logoff, and stored values it cannot use. Run through program_test.py."""

import re
import subprocess

from desktop import wait_for
from program_case import RUNNING, TWIPS_PER_PIXEL, EndToEnd, paths, running_seconds


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
        answer = self.desktop.run(["wine", paths.session_probe], check=True).stdout.strip()
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
