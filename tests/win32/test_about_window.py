"""The Windows program's About window end to end under Wine: its AutoStart option, its keys,
and the main window that takes no input meanwhile. Run through program_test.py."""

import re

from desktop import wait_for
from program_case import ABOUT, AUTOSTART_BOX, DISABLED, RUNNING, EndToEnd


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
