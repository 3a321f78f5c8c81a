"""Wayland compositors, headless, with XWayland for the program: mutter, gnome-shell, KWin and
weston."""

import glob
import os
import re
import shutil
import subprocess
import tempfile

from desktop import command_line, descendants, wait_for

from .sessions import SCREEN, Refused, Session, frame_picture


class WaylandSession(Session):
    """A Wayland compositor, headless, with XWayland for the program."""
    socket = ""

    def start(self):
        self.start_session_bus()
        self.socket = f"qv-{self.name}-{os.getpid()}"
        compositor = self.start_compositor()
        self.env["WAYLAND_DISPLAY"] = self.socket
        number, auth = wait_for(lambda: self.xwayland(compositor), what=f"XWayland of {self.title}")
        self.display = f":{number}"
        self.env["DISPLAY"] = self.display
        if auth:
            self.env["XAUTHORITY"] = auth
            # NOTE: python-xlib, which sends the tests' double-clicks, reads XAUTHORITY from this
            # process's own environment.
            os.environ["XAUTHORITY"] = auth
        self.wait_window_manager(compositor, self.title)
        self.set_xft_dpi()

    def start_compositor(self):
        raise NotImplementedError

    def xwayland(self, compositor):
        """(display number, authority file or None) of the compositor's Xwayland, once it
        runs."""
        if compositor.poll() is not None:
            raise AssertionError(f"{self.title} ended with {compositor.returncode}: "
                                 f"{self.log_text()}")
        for pid in descendants(compositor.pid):
            args = command_line(pid)
            if args and os.path.basename(args[0]) == "Xwayland":
                number = next((a[1:] for a in args if re.fullmatch(r":\d+", a)), None)
                auth = args[args.index("-auth") + 1] if "-auth" in args else None
                if number:
                    return number, auth
        return None


class MutterWayland(WaylandSession):
    name, title = "mutter-wayland", "mutter, Wayland, headless"
    hidden_state, screen_comes_back = "the monitors are off (PowerSaveMode 3)", True

    def hide_screen(self, hidden):
        import dbus
        self.dbus_call("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                       "org.freedesktop.DBus.Properties", "Set",
                       "org.gnome.Mutter.DisplayConfig", "PowerSaveMode",
                       dbus.Int32(3 if hidden else 0), signature="ssv")

    def start_compositor(self):
        return self.spawn(["mutter", "--wayland", "--headless", "--virtual-monitor",
                           f"{SCREEN[0]}x{SCREEN[1]}", "--wayland-display", self.socket])

    def title_bar(self, window, path):
        return frame_picture(self, window, path)


SYSTEM_BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={path}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
"""


class GnomeShellWayland(WaylandSession):
    name, title = "gnome-shell-wayland", "gnome-shell, Wayland, headless"
    hidden_state, screen_comes_back = MutterWayland.hidden_state, True
    hide_screen = MutterWayland.hide_screen
    native_wayland = True

    def start_compositor(self):
        self.start_system_bus()
        command = ["gnome-shell", "--wayland", "--headless", "--virtual-monitor",
                   f"{SCREEN[0]}x{SCREEN[1]}", "--wayland-display", self.socket]
        # NOTE: where /run/systemd/seats exists without logind, gnome-shell asks logind for its
        # session and gives up; an empty folder over /run/systemd, in a mount namespace of its
        # own, sends it the headless way.
        if os.path.isdir("/run/systemd"):
            empty = os.path.join(self.root, "empty")
            os.mkdir(empty)
            prefix = [] if os.geteuid() == 0 else ["--user", "--map-root-user"]
            probe = subprocess.run(["unshare", *prefix, "-m", "true"], capture_output=True,
                                   text=True)
            if probe.returncode != 0:
                raise Refused(f"a mount namespace (unshare -m): {probe.stderr.strip()}")
            command = ["unshare", *prefix, "-m", "--propagation", "private", "sh", "-c",
                       'mount --bind "$0" /run/systemd && exec "$@"', empty, *command]
        return self.spawn(command)

    def start_system_bus(self):
        config = os.path.join(self.root, "system-bus.conf")
        with open(config, "w") as f:
            f.write(SYSTEM_BUS_CONFIG.format(path=os.path.join(self.runtime, "system_bus")))
        bus = subprocess.Popen(["dbus-daemon", f"--config-file={config}", "--nofork",
                                "--print-address=1"], env=self.env, stdout=subprocess.PIPE,
                               stderr=self.log, text=True)
        self.procs.append(bus)
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = bus.stdout.readline().strip()

    def wait_window_manager(self, proc, what):
        super().wait_window_manager(proc, what)
        # It opens the overview as it starts, over every window.
        shell = self.dbus_call("org.gnome.Shell", "/org/gnome/Shell",
                               "org.freedesktop.DBus.Properties", "Set", "org.gnome.Shell",
                               "OverviewActive", False)
        wait_for(lambda: not self.dbus_call("org.gnome.Shell", "/org/gnome/Shell",
                                            "org.freedesktop.DBus.Properties", "Get",
                                            "org.gnome.Shell", "OverviewActive"),
                 what="the overview closed")
        return shell

    def screenshot(self, path):
        import dbus
        bus = dbus.bus.BusConnection(self.bus_address)
        try:
            # NOTE: gnome-shell grants screenshots to the bus name of GNOME's screenshot tool.
            bus.request_name("org.gnome.Screenshot")
            shot = dbus.Interface(bus.get_object("org.gnome.Shell.Screenshot",
                                                 "/org/gnome/Shell/Screenshot"),
                                  "org.gnome.Shell.Screenshot")
            ok, _ = shot.Screenshot(False, False, path)
        finally:
            bus.close()
        if not ok:
            raise AssertionError("gnome-shell took no screenshot")
        return path

    def title_bar(self, window, path):
        return frame_picture(self, window, path)


class KwinWayland(WaylandSession):
    name, title = "kwin-wayland", "KWin, Wayland, virtual"
    native_wayland = True
    dpis = (96, 144)
    # KWin's own screen locker, for the check that locks the screen.
    screen_locker = True
    hidden_state, screen_comes_back = "locked (org.freedesktop.ScreenSaver Lock)", False

    def hide_screen(self, hidden):
        # The lock ends only through the greeter: once locked, the screen stays hidden.
        if hidden:
            self.dbus_call("org.freedesktop.ScreenSaver", "/ScreenSaver",
                           "org.freedesktop.ScreenSaver", "Lock")

    def start_compositor(self):
        # NOTE: Debian's kwin_wayland carries cap_sys_resource, which a container refuses to
        # run; a copy carries no capability.
        binary = os.path.join(self.root, "kwin_wayland")
        shutil.copy("/usr/bin/kwin_wayland", binary)
        env = dict(self.env, KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1",
                   QT_FONT_DPI=str(self.dpi))
        return self.spawn([binary, "--virtual", "--xwayland", "--width", str(SCREEN[0]),
                           "--height", str(SCREEN[1]), "--socket", self.socket]
                          + ([] if self.screen_locker else ["--no-lockscreen"]), env=env)

    def screenshot(self, path):
        import dbus
        bus = dbus.bus.BusConnection(self.bus_address)
        read_end, write_end = os.pipe()
        try:
            shot = dbus.Interface(bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
                                  "org.kde.KWin.ScreenShot2")
            meta = shot.CaptureWorkspace({"include-cursor": False}, dbus.types.UnixFd(write_end))
            os.close(write_end)
            write_end = None
            data = b""
            while chunk := os.read(read_end, 1 << 20):
                data += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
            bus.close()
        width, height, stride = int(meta["width"]), int(meta["height"]), int(meta["stride"])
        raw = path + ".bgra"
        with open(raw, "wb") as f:
            f.write(b"".join(data[r * stride:r * stride + width * 4] for r in range(height)))
        # QImage's 32-bit formats lie in memory as B, G, R, A on this little-endian machine.
        subprocess.run(["convert", "-size", f"{width}x{height}", "-depth", "8", f"bgra:{raw}",
                        "-alpha", "off", path], check=True, capture_output=True, timeout=60)
        os.remove(raw)
        return path


class Weston(WaylandSession):
    name, title = "weston", "weston, headless"
    xtest = False  # NOTE: an XTEST click makes weston 10's XWayland end

    def start_compositor(self):
        # --idle-time=0: an idle weston stops drawing, and places no new window.
        return self.spawn(["weston", "--backend=headless-backend.so", "--use-pixman",
                           f"--width={SCREEN[0]}", f"--height={SCREEN[1]}", "--xwayland",
                           "--debug", "--idle-time=0", f"--socket={self.socket}"])

    def xwayland(self, compositor):
        # NOTE: weston starts Xwayland at the first X client; it names the display at once.
        if compositor.poll() is not None:
            raise AssertionError(f"weston ended with {compositor.returncode}: {self.log_text()}")
        m = re.search(r"xserver listening on display :(\d+)", self.log_text())
        return (m.group(1), None) if m else None

    def screenshot(self, path):
        folder = tempfile.mkdtemp(dir=self.root)
        subprocess.run(["weston-screenshooter"], env=self.env, cwd=folder, check=True,
                       capture_output=True, timeout=60)
        shots = glob.glob(os.path.join(folder, "*.png"))
        if not shots:
            raise AssertionError("weston-screenshooter saved nothing")
        shutil.move(shots[0], path)
        shutil.rmtree(folder)
        return path

    def frame_band(self, window):
        # weston's frame reports no extents: its title bar is the band above the client.
        x, y, w, _ = self.client_rect(window)
        return (max(0, x - 8), max(0, y - WESTON_TITLE_PX), w + 16, min(y, WESTON_TITLE_PX))


WESTON_TITLE_PX = 30
