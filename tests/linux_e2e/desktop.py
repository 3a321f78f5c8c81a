"""A private X desktop for end-to-end tests of the Linux program: its own Xvfb display and
openbox, driven with xdotool, wmctrl, xprop and xwininfo, and screenshots with ImageMagick.

Every process started here is ended here, by its own handle; nothing else is touched."""

import configparser
import os
import re
import shutil
import signal
import subprocess
import tempfile
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xdisplay  # noqa: E402
from xdisplay import wait_for  # noqa: E402,F401  (the tests take it from here)

TOOLS = ["Xvfb", "openbox", "xdotool", "wmctrl", "xprop", "xwininfo", "xmessage", "import",
         "convert"]
SCREEN = (1280, 800)
RUNNING_TITLE = re.compile(r"^QV-TICKSPAN: (\d+)d, (\d+)h, (\d+)m, (\d+)s$")
DISABLED_TITLE = "QV-TICKSPAN: TIMERS DISABLED !!!"


def require_tools():
    xdisplay.require_tools(TOOLS)


class Desktop:
    def __init__(self):
        require_tools()
        self.xvfb = self.openbox = self.wm_log = None
        self.others = []
        self.home = tempfile.mkdtemp(prefix="qv-e2e-")
        try:
            self.env = dict(os.environ, DISPLAY=":%d" % self._start_xvfb())
            self.env.pop("XDG_CONFIG_HOME", None)
            self._start_openbox()
        except BaseException:
            self.close()
            raise

    def _start_xvfb(self):
        self.xvfb, number = xdisplay.start_xvfb(*SCREEN)
        return number

    def _start_openbox(self):
        self.wm_log = open(os.path.join(self.home, "openbox.log"), "w+")
        try:
            self.openbox = xdisplay.start_openbox(dict(self.env, HOME=self.home), self.wm_log)
        except AssertionError as e:
            self.wm_log.seek(0)
            raise AssertionError(f"{e}: {self.wm_log.read()}") from None

    def close(self):
        for p in self.others + [self.openbox, self.xvfb]:
            if p is not None and p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if self.wm_log:
            self.wm_log.close()
        shutil.rmtree(self.home, ignore_errors=True)

    def x(self, *args, check=False):
        r = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=20)
        if check and r.returncode != 0:
            raise AssertionError(f"{' '.join(args)} failed: {r.stderr.strip()}")
        return r.stdout

    def start_other_window(self):
        """Another program's window (xmessage) for the keeper to push around."""
        name = f"qv-other-{len(self.others)}"
        p = subprocess.Popen(["xmessage", "-name", name, name], env=self.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.others.append(p)
        return int(wait_for(lambda: self.search("--classname", f"^{name}$"),
                            what="the xmessage window"))

    # --- windows ---
    def search(self, *args):
        out = self.x("xdotool", "search", "--all", "--onlyvisible", *args).split()
        return out[0] if out else None

    def caption(self, wid):
        m = re.search(r'_NET_WM_NAME\(UTF8_STRING\) = "(.*)"', self.x("xprop", "-id", str(wid),
                                                                         "_NET_WM_NAME"))
        return m.group(1) if m else None

    def atoms(self, wid, prop):
        out = self.x("xprop", "-id", str(wid), prop)
        return [a.strip() for a in out.split("=", 1)[1].split(",")] if "=" in out else []

    def cardinals(self, wid, prop):
        out = self.x("xprop", "-id", str(wid), prop)
        return [int(v, 0) for v in re.findall(r"0x[0-9a-f]+|\d+", out.split("=", 1)[1])] \
            if "=" in out else []

    def root_windows(self, prop):
        out = self.x("xprop", "-root", prop)
        return [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", out)]

    def active(self):
        ids = self.root_windows("_NET_ACTIVE_WINDOW")
        return ids[0] if ids else 0

    def client_rect(self, wid):
        out = self.x("xwininfo", "-id", str(wid))
        values = {k: int(v) for k, v in re.findall(
            r"(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)", out)}
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    def outer_rect(self, wid):
        left, right, top, bottom = self.cardinals(wid, "_NET_FRAME_EXTENTS")
        x, y, w, h = self.client_rect(wid)
        return (x - left, y - top, w + left + right, h + top + bottom)

    # --- input, as a person gives it ---
    def double_click(self, x, y):
        self.x("xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "80",
               "1", check=True)

    def click(self, x, y):
        self.x("xdotool", "mousemove", str(x), str(y), "click", "1", check=True)

    def drag(self, x, y, dx, dy):
        self.x("xdotool", "mousemove", str(x), str(y), "mousedown", "1", "sleep", "0.1",
               "mousemove", str(x + dx // 2), str(y + dy // 2), "sleep", "0.1",
               "mousemove", str(x + dx), str(y + dy), "sleep", "0.1", "mouseup", "1", check=True)

    def key(self, wid, *keys):
        """Keys typed into `wid`, which must be the active window (a real keyboard's events)."""
        self.activate(wid)
        self.x("xdotool", "key", "--delay", "50", *keys, check=True)

    def activate(self, wid):
        if self.active() != wid:
            self.x("wmctrl", "-i", "-a", str(wid), check=True)
        wait_for(lambda: self.active() == wid, what="the window active")

    def close_window(self, wid):
        """The window manager's close command, as the title bar's close button gives it."""
        self.x("wmctrl", "-i", "-c", str(wid), check=True)

    def screenshot(self, path, wid=None):
        self.x("import", "-window", str(wid) if wid else "root", path, check=True)

    def colours(self, path, crop=None):
        """{(r, g, b): pixel count} of a PNG, optionally of a crop (x, y, w, h)."""
        args = ["convert", path]
        if crop:
            args += ["-crop", "%dx%d+%d+%d" % (crop[2], crop[3], crop[0], crop[1]), "+repage"]
        out = self.x(*args, "-format", "%c", "histogram:info:-", check=True)
        counts = {}
        for count, r, g, b in re.findall(r"(\d+): \(\s*(\d+),\s*(\d+),\s*(\d+)", out):
            counts[(int(r), int(g), int(b))] = counts.get((int(r), int(g), int(b)), 0) + int(count)
        return counts


class App:
    """One run of the program on a desktop, with its own settings folder unless given one."""

    def __init__(self, desktop, config_home, exe):
        self.desktop = desktop
        self.config_home = config_home
        self.errors = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([exe], env=dict(desktop.env, XDG_CONFIG_HOME=config_home),
                                     stdout=subprocess.DEVNULL, stderr=self.errors)
        try:
            self.main = int(wait_for(self._find_main, what="the main window"))
        except BaseException:
            self.stop()
            raise

    def _find_main(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"the program ended with {self.proc.returncode}: {self.stderr()}")
        return self.desktop.search("--pid", str(self.proc.pid), "--name", "^QV-TICKSPAN: ")

    def about(self):
        return self.desktop.search("--pid", str(self.proc.pid), "--name", "ABOUT$")

    def strip_point(self):
        """The middle of the client strip below the main window's title bar."""
        x, y, w, h = self.desktop.client_rect(self.main)
        return x + w // 2, y + h // 2

    def open_about(self):
        self.desktop.double_click(*self.strip_point())
        return int(wait_for(self.about, what="the About window"))

    def caption(self):
        return self.desktop.caption(self.main)

    def wait_exit(self, timeout=5):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.errors.close()

    def stderr(self):
        self.errors.seek(0)
        return self.errors.read().decode(errors="replace")

    def signal(self, sig=signal.SIGTERM):
        self.proc.send_signal(sig)


def read_store(config_home):
    """{section: {key: value}} of the settings file, empty when there is none."""
    path = os.path.join(config_home, "QV_TKS", "settings.ini")
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    if os.path.exists(path):
        parser.read(path, encoding="utf-8")
    return {s: dict(parser[s]) for s in parser.sections()}


def write_store(config_home, section, values):
    folder = os.path.join(config_home, "QV_TKS")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "settings.ini"), "w", encoding="utf-8") as f:
        f.write(f"[{section}]\n" + "".join(f"{k}={v}\n" for k, v in values.items()))
