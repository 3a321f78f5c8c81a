"""The Linux program while the X screen saver runs (MIT-SCREEN-SAVER, as Xvfb has it): it rests,
holding its title, and when the saver ends its title is current at once and it goes on as
before. Run like the other tests here."""

import math
import subprocess
import time
import unittest

from desktop import shown_seconds, voluntary_switches, wait_for, wake_ups
from program_case import DesktopTest


class ScreenSaverTest(DesktopTest):
    def tearDown(self):
        self.saver("reset")
        super().tearDown()

    def saver(self, command):
        self.desktop.x("xset", "s", command, check=True)

    def title_changes(self, app, seconds):
        """How often the title changed on the server within `seconds`."""
        spy = subprocess.Popen(["xprop", "-spy", "-id", str(app.main), "_NET_WM_NAME"],
                               env=self.desktop.env, stdout=subprocess.PIPE, text=True)
        time.sleep(seconds)
        spy.terminate()
        return len(spy.communicate()[0].splitlines()) - 1  # the first line is the start value

    def current(self, app):
        """The title, once it shows the second of uptime that has begun (or the one before,
        read across its turn)."""
        caption = app.caption()
        shown = shown_seconds(caption)
        now = time.clock_gettime(time.CLOCK_BOOTTIME)
        return caption if shown is not None and 0 <= now - shown < 1.5 else None

    def wait_resting(self, app):
        # A visible screen turns the title over every second: 2.5 s without a change means the
        # program has heard of the saver and holds its title.
        wait_for(lambda: self.title_changes(app, 2.5) == 0, timeout=20,
                 what="the title held under the screen saver")

    def test_rests_under_the_saver_and_shows_the_current_second_when_it_ends(self):
        app = self.start()
        wait_for(lambda: self.current(app), what="the running title")
        self.saver("activate")
        self.wait_resting(app)
        rate = wake_ups(app.proc.pid, 3.0)
        self.assertLessEqual(rate, 5, "one or two wake-ups a second, not a hundred")
        held = shown_seconds(app.caption())
        self.assertLess(held, math.floor(time.clock_gettime(time.CLOCK_BOOTTIME)) - 2)

        self.saver("reset")
        wait_for(lambda: self.current(app), what="the current title")
        self.assertGreaterEqual(self.title_changes(app, 2.5), 1, "it runs on")
        before = voluntary_switches(app.proc.pid)
        wait_for(lambda: voluntary_switches(app.proc.pid) - before >= 50, timeout=10,
                 what="the normal resolution (a hundred wake-ups a second)")
        about = app.open_about()
        self.desktop.close_window(about)
        wait_for(lambda: app.about() is None, what="the About window closed")
        self.close_main(app)
        self.assertEqual(self.store()["AUTOSTART_TICKBOX"], "1")
        self.assertNotIn("error", app.stderr())

    def test_started_under_the_saver_it_rests_from_the_start(self):
        self.saver("activate")
        app = self.start()
        self.assertIsNone(shown_seconds(app.caption()), "no title shown before the screen is")
        self.assertEqual(self.title_changes(app, 2.5), 0)
        self.saver("reset")
        wait_for(lambda: self.current(app), what="the current title")
        self.close_main(app)


if __name__ == "__main__":
    unittest.main()
