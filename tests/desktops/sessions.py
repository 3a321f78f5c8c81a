"""The desktops people run, each started headless by the suite and ended by it: a session of its
own (home, XDG_RUNTIME_DIR, session bus) with its compositor or window manager, the X display
the program runs on, and the way to see its screen.

A session is a context manager. What it offers a check:
  env            the environment of a program of that desktop (DISPLAY, XAUTHORITY,
                 WAYLAND_DISPLAY where there is one, DBUS_SESSION_BUS_ADDRESS, HOME, ...)
  bus_address    the session bus the desktop runs on (dbus_call: a call on it)
  start_program  the Linux program on it (desktop.App), optionally under a command prefix
  screenshot     the whole screen as a PNG, as the compositor shows it
  title_bar      a PNG and the crop of it that holds a window's title bar
  hide_screen    where hidden_state names how, hides the screen as the desktop does when
                 nobody sees it (True), and shows it again (False) where screen_comes_back
and the X queries and input of desktop.XQueries on its X display."""

import ctypes
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

from desktop import App, XQueries, descendants, no_buses, stop, wait_for

SCREEN = (1280, 800)
PR_SET_CHILD_SUBREAPER = 36


def adopt_orphans():
    """Makes this process the reaper of whatever its desktops leave behind (services the session
    bus starts, Xwayland), so that closing a desktop can end them all."""
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def end_leftovers(grace=5):
    """Ends every process still below this one (and reaps it): what the desktop left."""
    left = descendants(os.getpid())
    for pid in left:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + grace
    while left and time.monotonic() < deadline:
        left = [p for p in left if _alive(p)]
        time.sleep(0.05)
    for pid in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    _reap()


def _alive(pid):
    try:
        reaped, _ = os.waitpid(pid, os.WNOHANG)
        if reaped:
            return False
    except ChildProcessError:
        pass  # not our child: adopted or gone; /proc tells
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ", 1)[1][0] != "Z"
    except OSError:
        return False


def _reap():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


class Refused(Exception):
    """The machine refuses something the desktop needs (a namespace, a capability)."""


class Session(XQueries):
    name = ""                # the table's key
    title = ""               # the table's row heading
    native_wayland = False   # a compositor whose screen the suite can see over native clients
    xtest = True             # XTEST input reaches the program
    hidden_state = None      # what hide_screen(True) does, where the suite can hide the screen
    screen_comes_back = False  # whether hide_screen(False) shows it again
    dpis = (96,)             # the DPIs the caption is read at

    def __init__(self, dpi=96):
        adopt_orphans()
        self.dpi = dpi
        self.root = tempfile.mkdtemp(prefix=f"qv-{self.name}-")
        self.home = os.path.join(self.root, "home")
        self.runtime = os.path.join(self.root, "runtime")
        os.makedirs(os.path.join(self.home, ".config"))
        os.mkdir(self.runtime, 0o700)
        self.procs = []
        self.log = open(os.path.join(self.root, "desktop.log"), "w+")
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET",
                            "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "SESSION_MANAGER")}
        # Neither the desktop nor the program hears the machine's buses: a lock of the
        # developer's own session would rest the program. The session's own bus comes later.
        self.env = dict(no_buses(env, self.root), HOME=self.home, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        # No accessibility bus nor input method: nothing the checks need.
                        NO_AT_BRIDGE="1", GTK_A11Y="none", GTK_IM_MODULE="gtk-im-context-simple",
                        QT_IM_MODULE="compose")
        self.display = None
        self.bus_address = None
        try:
            self.start()
        except BaseException:
            self.close()
            raise

    # --- what each desktop says ---
    def start(self):
        raise NotImplementedError

    def screenshot(self, path):
        """The whole screen as a PNG at path (the X root window, by default)."""
        self.x("import", "-window", "root", path, check=True)
        return path

    def title_bar(self, window, path):
        """(png, (x, y, w, h)): where the title bar of `window` (an X client window) shows."""
        self.screenshot(path)
        return path, self.frame_band(window)

    def frame_band(self, window):
        left, right, top, _ = self.cardinals(window, "_NET_FRAME_EXTENTS") or [0, 0, 0, 0]
        x, y, w, _ = self.client_rect(window)
        return (x - left, y - top, w + left + right, top)

    # --- shared parts ---
    def spawn(self, args, env=None, **kwargs):
        proc = subprocess.Popen(args, env=env or self.env, stdout=self.log,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, **kwargs)
        self.procs.append(proc)
        return proc

    def start_session_bus(self):
        path = os.path.join(self.runtime, "bus")
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                                f"--address=unix:path={path}"], env=self.env,
                               stdout=subprocess.PIPE, stderr=self.log, text=True)
        self.procs.append(bus)
        self.bus_address = bus.stdout.readline().strip()
        if not self.bus_address:
            raise AssertionError(f"the session bus did not start: {self.log_text()}")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address

    def wait_window_manager(self, proc, what):
        def ready():
            if proc.poll() is not None:
                raise AssertionError(f"{what} ended with {proc.returncode}: {self.log_text()}")
            return "window id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK")
        wait_for(ready, what=what)

    def dbus_call(self, name, path, interface, method, *args, signature=None):
        """A call on the desktop's session bus, from a connection of its own."""
        import dbus
        bus = dbus.bus.BusConnection(self.bus_address)
        try:
            options = {"signature": signature} if signature else {}
            return bus.get_object(name, path).get_dbus_method(method, interface)(*args, **options)
        finally:
            bus.close()

    def log_text(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()[-3000:]

    def set_xft_dpi(self):
        subprocess.run(["xrdb", "-nocpp", "-merge"], input=f"Xft.dpi: {self.dpi}\n", text=True,
                       env=self.env, check=True, timeout=30)

    def start_program(self, exe, config_home, prefix=()):
        """The Linux program on this desktop, with its settings in config_home."""
        return App(self, config_home, exe, prefix=prefix)

    def close(self):
        for p in reversed(self.procs):
            stop(p)
        end_leftovers()
        self.log.close()
        if os.environ.get("XAUTHORITY") == self.env.get("XAUTHORITY"):
            os.environ.pop("XAUTHORITY", None)
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def frame_picture(session, window, path):
    """The frame window around `window`, captured on its own, and the title bar in it."""
    tree = session.x("xwininfo", "-children", "-id", str(window))
    frame = int(re.search(r"Parent window id: (0x[0-9a-f]+)", tree).group(1), 16)
    fx, fy, fw, _ = session.client_rect(frame)
    cx, cy, _, _ = session.client_rect(window)
    session.x("import", "-window", str(frame), path, check=True)
    return path, (0, 0, fw, cy - fy)
