"""The Linux program while the desktop session says nobody sees the screen, on a private session
bus and a private system bus with stand-ins for logind, the freedesktop and GNOME screen savers
and mutter (desktop.buses): it rests while any of them says so, with its title held, and when
the last one lets go its first title is current and it runs on as before. A peer that lies,
floods or sends nonsense, a service or a bus that goes away: it goes on, and rests only when
it should. Run like the other tests here (program_case.py)."""

import math
import os
import re
import shutil
import socket
import tempfile
import time
import unittest

import dbus
import dbus.lowlevel

from desktop import App, shown_seconds, wait_for, wake_ups
from desktop.buses import StandInSession
from program_case import DesktopTest

NAME_VALUE = re.compile(r'= "(.*)"$')


def boottime():
    return time.clock_gettime(time.CLOCK_BOOTTIME)


class SessionTest(DesktopTest):
    def setUp(self):
        super().setUp()
        self.root = tempfile.mkdtemp(prefix="qv-buses-")
        self.buses = StandInSession(self.root)

    def tearDown(self):
        super().tearDown()  # the programs first, then their buses
        self.buses.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def start_on_buses(self, session_id="1"):
        app = App(self.desktop, self.config, os.environ["QV_TICKSPAN"],
                  self.buses.env(self.desktop.env, session_id))
        self.apps.append(app)
        return app

    def assert_resting(self, app):
        """Waits until the program has heard the news and rests, then holds it to one or two
        wake-ups a second, with its title held."""
        wait_for(lambda: wake_ups(app.proc.pid, 1.0) <= 5, what="the program resting")
        self.assertLessEqual(wake_ups(app.proc.pid, 2.5), 5, "one or two wake-ups a second")
        held = shown_seconds(app.caption())
        if held is not None:
            self.assertLess(held, math.floor(boottime()) - 2, "the title is held")

    def assert_awake(self, app):
        wait_for(lambda: wake_ups(app.proc.pid, 1.0) >= 50,
                 what="the normal resolution (a hundred wake-ups a second)")

    def wake_with(self, app, action):
        """Runs `action`, which ends the rest, and checks that the first title the program
        shows then is current: it shows a second that had begun when the action started."""
        with self.desktop.spy(app.main, "_NET_WM_NAME") as spy:
            spy.wait_lines(1)
            since = math.floor(boottime())
            action()
            first = NAME_VALUE.search(spy.wait_lines(2)[1]).group(1)
        self.assertGreaterEqual(shown_seconds(first), since, first)
        self.assert_awake(app)

    def running(self, app):
        wait_for(lambda: shown_seconds(app.caption()) is not None, what="the running title")


class SessionRestTest(SessionTest):
    def test_each_service_rests_the_program_and_its_end_wakes_it_current(self):
        for source in ("login1", "freedesktop", "gnome", "mutter"):
            with self.subTest(source):
                self.buses.start(source)
                app = self.start_on_buses()
                self.running(app)
                self.buses.hide(source, True)
                self.assert_resting(app)
                self.wake_with(app, lambda: self.buses.hide(source, False))
                self.close_main(app)
                self.assertEqual(app.stderr(), "")
                self.buses.close()
                self.buses = StandInSession(self.root)

    def test_it_rests_while_any_source_says_so_the_x_screen_saver_included(self):
        for source in ("login1", "mutter", "gnome"):
            self.buses.start(source)
        app = self.start_on_buses()
        self.running(app)
        # Locked, then the monitors go off; unlocked while they are off.
        self.buses.hide("login1")
        self.buses.hide("mutter")
        self.buses.hide("login1", False)
        self.assert_resting(app)
        # The X screen saver starts and the monitors come on: the saver still hides the screen,
        # and then the shield comes up before it ends.
        self.desktop.x("xset", "s", "activate", check=True)
        try:
            self.buses.hide("mutter", False)
            self.buses.hide("gnome")
        finally:
            self.desktop.x("xset", "s", "reset", check=True)
        self.assert_resting(app)
        self.wake_with(app, lambda: self.buses.hide("gnome", False))

    def test_started_while_locked_it_rests_from_the_start(self):
        self.buses.start("freedesktop")
        self.buses.hide("freedesktop")
        app = self.start_on_buses()
        self.assert_resting(app)
        self.wake_with(app, lambda: self.buses.hide("freedesktop", False))

    def test_the_login_session_is_found_by_process_when_its_id_is_stale_or_unset(self):
        self.buses.start("login1")
        self.buses.hide("login1")
        for session_id in ("7", None):
            with self.subTest(session_id=session_id):
                app = self.start_on_buses(session_id)
                self.assert_resting(app)
                app.stop()
        self.apps.clear()


class SessionFaultsTest(SessionTest):
    def lie(self, destination, hidden):
        """An ActiveChanged from the test's own connection, which owns no saver's name, sent
        straight to the program."""
        m = dbus.lowlevel.SignalMessage("/org/freedesktop/ScreenSaver",
                                        "org.freedesktop.ScreenSaver", "ActiveChanged")
        m.set_destination(destination)
        m.append(hidden, signature="b")
        self.buses.session.client.send_message(m)
        self.buses.session.client.flush()

    def blink(self, source):
        """The monitors off and on again: news that the program has handled, in order, all
        sent to it before."""
        self.buses.hide(source)
        self.buses.hide(source, False)

    def test_only_the_owner_of_a_name_is_heard(self):
        self.buses.start("freedesktop")
        self.buses.start("mutter")
        app = self.start_on_buses()
        self.running(app)
        me = wait_for(lambda: self.buses.session.owner_of_pid(app.proc.pid),
                      what="the program on the session bus")
        # A liar's "hidden" would keep it resting after the blink.
        self.lie(me, True)
        self.blink("mutter")
        self.assert_awake(app)
        # The saver's owner hides the screen; a liar's "visible" would wake it.
        self.buses.hide("freedesktop")
        self.assert_resting(app)
        self.lie(me, False)
        self.blink("mutter")
        self.assert_resting(app)
        # A new owner takes the name from the old one: its own state counts, which is visible.
        self.buses.start("freedesktop", "--replace")
        self.assert_awake(app)
        self.assertEqual(app.stderr(), "")

    def test_nonsense_and_a_flood_leave_it_running_in_the_state_last_said(self):
        self.buses.start("gnome", "--malformed-answers")
        self.buses.start("login1")
        self.buses.start("mutter")
        app = self.start_on_buses()
        self.running(app)
        for source in ("gnome", "login1", "mutter"):
            self.buses.control(source, "Malformed")
        self.blink("mutter")
        self.assert_awake(app)
        # Floods of changes that end hidden, then visible: 10 000 a second, 2 s each, and each
        # over when its call returns.
        self.buses.control("login1", "Flood", 20000, 10000, True, signature="uub")
        self.assert_resting(app)
        self.buses.control("mutter", "Flood", 20000, 10000, False, signature="uub")
        self.assert_resting(app)
        self.wake_with(app, lambda: self.buses.hide("login1", False))
        self.close_main(app)
        self.assertEqual(app.stderr(), "")

    def test_services_and_buses_that_go_away_wake_it_without_a_word(self):
        gnome = self.buses.start("gnome")
        self.buses.start("login1")
        app = self.start_on_buses()
        self.running(app)
        self.buses.hide("gnome")
        self.assert_resting(app)
        self.wake_with(app, gnome.stop)  # the shell crashed
        self.buses.hide("login1")
        self.assert_resting(app)
        self.wake_with(app, self.buses.system.close)  # the system bus stopped
        self.close_main(app)
        self.assertEqual(app.stderr(), "")

    def test_a_broken_bus_is_named_once_and_the_program_runs_as_without_one(self):
        dead = os.path.join(self.root, "dead-socket")
        with socket.socket(socket.AF_UNIX) as unheard:
            unheard.bind(dead)  # nobody listens
            env = dict(self.buses.env(self.desktop.env),
                       DBUS_SESSION_BUS_ADDRESS=f"unix:path={dead}")
            app = App(self.desktop, self.config, os.environ["QV_TICKSPAN"], env)
            self.apps.append(app)
            self.running(app)
            self.assert_awake(app)
            self.close_main(app)
        lines = app.stderr().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(f"the session D-Bus (unix:path={dead}) cannot be used", lines[0])


if __name__ == "__main__":
    unittest.main()
