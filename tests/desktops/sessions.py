"""The desktops people run, each started headless by the suite and ended by it: a session of its
own (home, XDG_RUNTIME_DIR, session bus) with its compositor or window manager, the X display
the program runs on, and the way to see its screen.

A session is a context manager. What it offers a check:
  env            the environment of a program of that desktop (DISPLAY, XAUTHORITY,
                 WAYLAND_DISPLAY where there is one, DBUS_SESSION_BUS_ADDRESS, HOME, ...)
  bus_address    the session bus the desktop runs on
  start_program  the Linux program on it (desktop.App), optionally under a command prefix
  screenshot     the whole screen as a PNG, as the compositor shows it
  title_bar      a PNG and the crop of it that holds a window's title bar
and the X queries and input of desktop.XQueries on its X display."""

import ctypes
import glob
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

from desktop import App, XQueries, redirect_held, start_xvfb, stop, wait_for

SCREEN = (1280, 800)
PR_SET_CHILD_SUBREAPER = 36


def adopt_orphans():
    """Makes this process the reaper of whatever its desktops leave behind (services the session
    bus starts, Xwayland), so that closing a desktop can end them all."""
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def children(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [int(c) for c in f.read().split()]
    except OSError:
        return []


def descendants(pid):
    out = []
    for child in children(pid):
        out += [child] + descendants(child)
    return out


def command_line(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return []


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
    dpis = (96,)             # the DPIs the caption is read at

    def __init__(self, dpi=96):
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
                            "DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS",
                            "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "SESSION_MANAGER")}
        self.env = dict(env, HOME=self.home, XDG_RUNTIME_DIR=self.runtime,
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

    def log_text(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()[-3000:]

    def x(self, *args, check=False):
        r = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=60)
        if check and r.returncode != 0:
            raise AssertionError(f"{' '.join(args)} failed: {r.stderr.strip()}")
        return r.stdout

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


class XvfbSession(Session):
    """A window manager on a private Xvfb screen."""
    wm_command = []

    def start(self):
        xvfb, number = start_xvfb(*SCREEN)
        self.procs.append(xvfb)
        self.display = f":{number}"
        self.env["DISPLAY"] = self.display
        self.set_xft_dpi()
        self.start_session_bus()
        self.wait_window_manager(self.spawn(self.wm_command, env=self.wm_env()), self.title)

    def wm_env(self):
        return self.env


class MutterX11(XvfbSession):
    name, title = "mutter-x11", "mutter --x11 on Xvfb"
    wm_command = ["mutter", "--x11", "--replace"]

    # NOTE: mutter composites; the root window holds none of it, but each frame is an X window
    # whose own picture is its title bar.
    def title_bar(self, window, path):
        return frame_picture(self, window, path)


class KwinX11(XvfbSession):
    name, title = "kwin-x11", "kwin_x11 on Xvfb"
    wm_command = ["kwin_x11", "--replace"]
    dpis = (96, 144)

    def wm_env(self):
        # Without compositing the root window shows what the screen shows.
        return dict(self.env, KWIN_COMPOSE="N")


class Twm(XvfbSession):
    """A window manager that frames windows and sets no _NET_FRAME_EXTENTS, nor any EWMH."""
    name, title = "twm", "twm on Xvfb (no frame extents)"
    wm_command = ["twm"]

    def wait_window_manager(self, proc, what):
        def ready():
            if proc.poll() is not None:
                raise AssertionError(f"{what} ended with {proc.returncode}")
            return redirect_held(self.display)
        wait_for(ready, what=what)


def frame_picture(session, window, path):
    """The frame window around `window`, captured on its own, and the title bar in it."""
    tree = session.x("xwininfo", "-children", "-id", str(window))
    frame = int(re.search(r"Parent window id: (0x[0-9a-f]+)", tree).group(1), 16)
    fx, fy, fw, _ = session.client_rect(frame)
    cx, cy, _, _ = session.client_rect(window)
    session.x("import", "-window", str(frame), path, check=True)
    return path, (0, 0, fw, cy - fy)


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
                       f'mount --bind "$0" /run/systemd && exec "$@"', empty, *command]
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

    def dbus_call(self, name, path, interface, method, *args):
        import dbus
        bus = dbus.bus.BusConnection(self.bus_address)
        try:
            return getattr(dbus.Interface(bus.get_object(name, path), interface), method)(*args)
        finally:
            bus.close()

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

    def start_compositor(self):
        # NOTE: Debian's kwin_wayland carries cap_sys_resource, which a container refuses to
        # run; a copy carries no capability.
        binary = os.path.join(self.root, "kwin_wayland")
        shutil.copy("/usr/bin/kwin_wayland", binary)
        env = dict(self.env, KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1",
                   QT_FONT_DPI=str(self.dpi))
        return self.spawn([binary, "--virtual", "--xwayland", "--width", str(SCREEN[0]),
                           "--height", str(SCREEN[1]), "--socket", self.socket,
                           "--no-lockscreen"], env=env)

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

DESKTOPS = [MutterX11, KwinX11, MutterWayland, GnomeShellWayland, KwinWayland, Weston, Twm]
