"""Real Wayland desktops for the benchmark, each started and ended here, headless, on a session
bus of its own, with the Linux program running on its XWayland: mutter (monitors on and off
through DisplayConfig's PowerSaveMode) and KWin (locked through org.freedesktop.ScreenSaver)."""

import glob
import os
import re
import shutil
import subprocess
import tempfile

from desktop.buses import PrivateBus, no_buses
from desktop.xserver import stop, wait_for

MUTTER = "mutter 43, Wayland headless (XWayland)"
KWIN = "KWin 5.27, Wayland virtual (XWayland)"


def _without_randr():
    # NOTE: python-xlib 0.33 fails to open a display whose RANDR events are numbered as XWayland
    # numbers them; the benchmark's watcher needs no RANDR.
    import Xlib.ext
    Xlib.ext.__extensions__ = [e for e in Xlib.ext.__extensions__ if e[0] != "RANDR"]


class WaylandDesktop:
    """What both share: a folder, a runtime folder and a session bus of their own; `env` and
    `name` (the X display) as the benchmark's Xvfb desktops have them."""

    def __init__(self, prefix):
        self.root = tempfile.mkdtemp(prefix=prefix)
        self.run = os.path.join(self.root, "run")
        os.makedirs(self.run, mode=0o700)
        self.proc = None
        self.bus = PrivateBus(self.root, "session")
        self.base = no_buses(os.environ, self.root)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"):
            self.base.pop(name, None)
        self.base.update(XDG_RUNTIME_DIR=self.run, DBUS_SESSION_BUS_ADDRESS=self.bus.address,
                         HOME=self.root)
        self.log = open(os.path.join(self.root, "desktop.log"), "w+")

    def _use_display(self, name, auth=None):
        self.name = name
        self.env = dict(self.base, DISPLAY=name)
        if auth:
            self.env["XAUTHORITY"] = auth
            # python-xlib, for the watcher, takes the authority from this process's environment.
            os.environ["XAUTHORITY"] = auth
        _without_randr()

    def _alive(self):
        if self.proc.poll() is not None:
            self.log.seek(0)
            raise AssertionError(f"the desktop ended with {self.proc.returncode}: "
                                 f"{self.log.read()[-2000:]}")

    def close(self):
        stop(self.proc)
        self.bus.close()
        self.log.close()
        os.environ.pop("XAUTHORITY", None)
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class MutterDesktop(WaylandDesktop):
    def __init__(self):
        super().__init__("qv-mutter-")
        try:
            self.proc = subprocess.Popen(
                ["mutter", "--wayland", "--headless", "--virtual-monitor", "1920x1080",
                 "--wayland-display", f"qv-rest-{os.getpid()}"],
                env=self.base, stdout=self.log, stderr=subprocess.STDOUT)
            name = wait_for(self._public_display, what="mutter's X display")
            auth = wait_for(lambda: glob.glob(os.path.join(self.run, ".mutter-Xwaylandauth.*")),
                            what="mutter's X authority")[0]
            self._use_display(name, auth)
        except BaseException:
            self.close()
            raise

    def _public_display(self):
        self._alive()
        self.log.seek(0)
        m = re.search(r"Using public X11 display (:\d+)", self.log.read())
        return m and m.group(1)

    def power(self, off):
        import dbus
        self.bus.call("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                      "org.freedesktop.DBus.Properties", "Set", "org.gnome.Mutter.DisplayConfig",
                      "PowerSaveMode", dbus.Int32(3 if off else 0), signature="ssv")


class KwinDesktop(WaylandDesktop):
    """KWin with its lock screen (no --no-lockscreen). Its lock ends only through the greeter,
    so a desktop is locked once and then ended."""

    def __init__(self):
        super().__init__("qv-kwin-")
        try:
            # NOTE: Debian's kwin_wayland carries a file capability (cap_sys_resource), which a
            # container refuses to run; a copy has none.
            kwin = os.path.join(self.root, "kwin_wayland")
            shutil.copy(shutil.which("kwin_wayland"), kwin)
            # KWin tells the X display and its authority only to the program it starts.
            facts = os.path.join(self.root, "x-display")
            starter = os.path.join(self.root, "session")
            with open(starter, "w") as f:
                f.write(f'#!/bin/sh\necho "$DISPLAY $XAUTHORITY" > "{facts}.new"\n'
                        f'mv "{facts}.new" "{facts}"\nexec sleep infinity\n')
            os.chmod(starter, 0o755)
            self.proc = subprocess.Popen(
                [kwin, "--virtual", "--xwayland", "--width", "1920", "--height", "1080",
                 "--socket", f"qv-rest-{os.getpid()}", starter],
                env=self.base, stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
            # (KWin's XWayland may take no authority.)
            self._use_display(*wait_for(lambda: self._alive() or (
                os.path.exists(facts) and open(facts).read().split()), what="KWin's X display"))
        except BaseException:
            self.close()
            raise

    def lock(self, hidden):
        if hidden:
            self.bus.call("org.freedesktop.ScreenSaver", "/ScreenSaver",
                          "org.freedesktop.ScreenSaver", "Lock")

    def close(self):
        if self.proc is not None:
            # its session's sleep ends with it
            try:
                os.killpg(self.proc.pid, 15)
            except ProcessLookupError:
                pass
        super().close()
