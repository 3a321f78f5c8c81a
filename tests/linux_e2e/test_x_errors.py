"""End-to-end tests of the Linux program in a hostile X session: a window manager that died and
left its check window's id on the root window, stored sizes far beyond any screen on an X
server with little memory, a window manager that places the window elsewhere than stored, and
an X server that goes away. Each class is one CTest test with a display of its own."""

import signal
import subprocess
import unittest

from desktop import SCREEN, wait_for, write_store
from program_case import SECTION, TWIPS_PER_PIXEL, DesktopTest, px

HUGE = 490000  # twips: about 32700 pixels at 96 DPI


class XErrorsTest(DesktopTest):
    def saved_position(self):
        store = self.store()
        return int(store["MAIN_Left"]), int(store["MAIN_Top"])

    def test_stale_window_manager_check_window_and_a_double_click(self):
        d = self.desktop
        # A client that stays connected, so that the server does not reset (which would wipe
        # the root window's properties) when the window manager goes; its first line says it
        # is connected.
        spy = subprocess.Popen(["xprop", "-root", "-spy", "_NET_SUPPORTING_WM_CHECK"], env=d.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        d.others.append(spy)
        self.assertIn("window id", spy.stdout.readline())
        d.openbox.send_signal(signal.SIGKILL)
        d.openbox.wait()
        self.assertIn("window id", d.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                      "the dead window manager's check window id stays on the root window")

        write_store(self.config, SECTION, {"MAIN_Left": 3000, "MAIN_Top": 3000})
        app = self.start()
        d.double_click(*app.strip_point())
        about = int(wait_for(app.about, what="the About window"))
        self.assertIsNone(app.proc.poll(), app.stderr())
        self.assertIn("IsViewable", d.x("xwininfo", "-id", str(app.main)))
        self.assertIn("IsViewable", d.x("xwininfo", "-id", str(about)))
        for line in app.stderr().splitlines():
            if "X error" in line:
                self.assertRegex(line, r"X error Bad\w+ .* in (extension )?request ", line)
        self.assertLessEqual(app.stderr().count("X error BadWindow"), 1, app.stderr())

        # Moved without a window manager: the program hears of it only from the server.
        x, y, _, _ = d.client_rect(app.main)
        d.x("xdotool", "windowmove", str(app.main), str(x + 100), str(y + 50), check=True)
        wait_for(lambda: d.client_rect(app.main)[:2] == (x + 100, y + 50), what="the move")
        app.signal(signal.SIGTERM)
        self.assertEqual(app.wait_exit(), 0, app.stderr())
        self.assertEqual(self.saved_position(),
                         (3000 + 100 * TWIPS_PER_PIXEL, 3000 + 50 * TWIPS_PER_PIXEL))


class OversizedTest(DesktopTest):
    def test_sizes_beyond_the_desktop_on_a_server_with_little_memory(self):
        d = self.desktop
        # NOTE: far less than a window of the stored size would take (4 GB of pixels), far more
        # than the server needs for its screen.
        subprocess.run(["prlimit", f"--pid={d.xvfb.pid}", "--as=400000000"], check=True)
        write_store(self.config, SECTION, {
            "MAIN_Left": 1500, "MAIN_Top": 1500, "MAIN_Width": HUGE, "MAIN_Height": HUGE,
            "ABOUT_Width": HUGE, "ABOUT_Height": HUGE})
        app = self.start()
        self.assertIn("IsViewable", d.x("xwininfo", "-id", str(app.main)))
        _, _, w, h = d.outer_rect(app.main)
        self.assertLessEqual(w, SCREEN[0])
        self.assertLessEqual(h, SCREEN[1])
        self.assertEqual(app.stderr().count("larger than the desktop"), 1, app.stderr())

        # An early move, before the window manager's first reports have settled.
        self.drag_title(app.main, 120, 60)
        moved = wait_for(lambda: (r := d.outer_rect(app.main))[:2] != (0, 0) and r,
                         what="the move")
        about = app.open_about()
        self.assertIn("IsViewable", d.x("xwininfo", "-id", str(about)))
        self.assertEqual(app.stderr().count("larger than the desktop"), 2, app.stderr())
        self.assertNotIn("X error", app.stderr())
        d.close_window(about)
        wait_for(lambda: app.about() is None, what="the About window gone")
        self.close_main(app)
        store = self.store()
        self.assertEqual((store["MAIN_Left"], store["MAIN_Top"]),
                         (str(moved[0] * TWIPS_PER_PIXEL), str(moved[1] * TWIPS_PER_PIXEL)))
        self.assertEqual((store["MAIN_Width"], store["ABOUT_Height"]), (str(HUGE), str(HUGE)),
                         "the store keeps what it holds")


class PlacementTest(DesktopTest):
    def test_a_place_the_window_manager_overrides_then_an_early_move(self):
        d = self.desktop
        # Below the bottom of the screen: openbox moves the window up into it.
        write_store(self.config, SECTION, {"MAIN_Left": 3000, "MAIN_Top": 790 * TWIPS_PER_PIXEL})
        app = self.start()
        placed = wait_for(lambda: (r := d.outer_rect(app.main))[1] < 790 and r,
                          what="the window manager's own place")
        # At once, as a person who grabs the window the moment it shows.
        x, y, w, _ = placed
        d.x("xdotool", "mousemove", str(x + w // 3), str(y + 8), "mousedown", "1", "sleep", "0.05",
            "mousemove", str(x + w // 3 + 75), str(y - 142), "sleep", "0.05", "mousemove",
            str(x + w // 3 + 150), str(y - 292), "sleep", "0.05", "mouseup", "1", check=True)
        moved = wait_for(lambda: (r := d.outer_rect(app.main))[:2] != placed[:2] and r,
                         what="the move")
        self.close_main(app)
        store = self.store()
        self.assertEqual((int(store["MAIN_Left"]), int(store["MAIN_Top"])),
                         (moved[0] * TWIPS_PER_PIXEL, moved[1] * TWIPS_PER_PIXEL))

    def test_the_window_managers_place_is_saved_when_the_user_never_moves(self):
        write_store(self.config, SECTION, {"MAIN_Left": 3000, "MAIN_Top": 790 * TWIPS_PER_PIXEL})
        app = self.start()
        placed = wait_for(lambda: (r := self.desktop.outer_rect(app.main))[1] < 790 and r,
                          what="the window manager's own place")
        self.close_main(app)
        self.assertEqual(int(self.store()["MAIN_Top"]), placed[1] * TWIPS_PER_PIXEL)


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
