"""A private X desktop (Xvfb + openbox) and a private Wine prefix for end-to-end tests of the
Windows program. Only the processes started here are ever stopped. A missing tool is a failure,
never a skip."""

import os
import re
import shutil
import subprocess
import tempfile
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xdisplay  # noqa: E402
from xdisplay import wait_for  # noqa: E402,F401  (the tests take it from here)

REQUIRED_TOOLS = ["Xvfb", "openbox", "xdotool", "wmctrl", "xprop", "xwininfo", "wine",
                  "wineserver", "wineboot", "import"]


def require_tools():
    xdisplay.require_tools(REQUIRED_TOOLS, "Debian packages: xvfb openbox xdotool wmctrl "
                           "x11-utils wine imagemagick")


class Desktop:
    """Xvfb on a free display, openbox on it, and a Wine prefix in a temporary folder."""

    def __init__(self, width=1280, height=800):
        require_tools()
        self.root = tempfile.mkdtemp(prefix="qv-win32-e2e-")
        self.home = os.path.join(self.root, "home")
        os.makedirs(os.path.join(self.home, ".config"))
        self.procs = []
        xvfb, number = xdisplay.start_xvfb(width, height)
        self.procs.append(xvfb)
        self.display = f":{number}"
        self.env = dict(os.environ)
        self.env.update({
            "DISPLAY": self.display,
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "WINEPREFIX": os.path.join(self.root, "wineprefix"),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })
        self.procs.append(xdisplay.start_openbox(self.env))
        # A persistent wineserver: each later Wine start then takes a fraction of a second.
        os.makedirs(self.env["WINEPREFIX"])
        self.procs.append(subprocess.Popen(["wineserver", "-p", "-f"], env=self.env))
        self.run(["wineboot", "--init"], timeout=180)

    def run(self, args, timeout=60, check=False):
        # NOTE: output goes to files, not pipes: the first Wine command starts Wine's services,
        # which inherit its output handles and would keep a pipe open long after it ends.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            proc = subprocess.Popen(args, env=self.env, stdout=out, stderr=err,
                                    stdin=subprocess.DEVNULL)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                raise
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(args, proc.returncode, out.read(), err.read())
        if check:
            result.check_returncode()
        return result

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    def screenshot(self, folder, name):
        """Saves the whole screen as PNG (for looking at, and for failures)."""
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name + ".png")
        self.run(["import", "-window", "root", path])
        return path

    def pixels(self, window, x, y, width, height):
        """{(x, y): "#RRGGBB"} of a rectangle of the window, as it shows on the screen."""
        out = self.run(["import", "-window", str(window), "-crop",
                        f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8", "txt:-"]).stdout
        result = {}
        for line in out.splitlines():
            m = re.match(r"(\d+),(\d+):.*?(#[0-9A-Fa-f]{6})", line)
            if m:
                result[(int(m.group(1)) + x, int(m.group(2)) + y)] = m.group(3).upper()
        return result

    # ---- windows ----

    def find_windows(self, name_regex):
        out = self.run(["xdotool", "search", "--onlyvisible", "--name", name_regex]).stdout
        return [int(w) for w in out.split()]

    def wait_window(self, name_regex, timeout=15):
        return wait_for(lambda: (self.find_windows(name_regex) or [None])[0], timeout,
                        what=f"a window named /{name_regex}/")

    def window_name(self, window):
        return self.run(["xdotool", "getwindowname", str(window)]).stdout.rstrip("\n")

    def geometry(self, window):
        """(x, y, width, height) of the X window on the screen."""
        out = self.run(["xwininfo", "-id", str(window)]).stdout
        field = lambda label: int(re.search(label + r":\s+(-?\d+)", out).group(1))
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                field("Height"))

    def net_wm_state(self, window):
        return self.run(["xprop", "-id", str(window), "_NET_WM_STATE"]).stdout

    def stacking(self):
        """The managed windows, bottom to top."""
        out = self.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]).stdout
        return [int(w, 16) for w in re.findall(r"0x[0-9a-fA-F]+", out)]

    def double_click(self, window, x, y):
        self.run(["xdotool", "mousemove", "--window", str(window), str(x), str(y), "click",
                  "--repeat", "2", "--delay", "60", "1"])

    def click(self, window, x, y):
        self.run(["xdotool", "mousemove", "--window", str(window), str(x), str(y), "click", "1"])

    def key(self, name):
        self.run(["xdotool", "key", name])

    def activate(self, window):
        self.run(["xdotool", "windowactivate", "--sync", str(window)], timeout=10)

    def close_window(self, window):
        """The window manager's close command (WM_DELETE_WINDOW)."""
        self.run(["wmctrl", "-i", "-c", hex(window)])

    def move(self, window, x, y):
        self.run(["wmctrl", "-i", "-r", hex(window), "-e", f"0,{x},{y},-1,-1"])


class Registry:
    """The program's settings section in the prefix's registry, through `wine reg`."""

    def __init__(self, desktop, section="qv-tickspan"):
        self.desktop = desktop
        self.key = "HKCU\\Software\\QV_TKS\\" + section

    def clear(self):
        self.desktop.run(["wine", "reg", "delete", "HKCU\\Software\\QV_TKS", "/f"])

    def query(self, name):
        """The value's text, None when absent."""
        out = self.desktop.run(["wine", "reg", "query", self.key, "/v", name]).stdout
        m = re.search(r"^\s*" + re.escape(name) + r"\s+(REG_\w+)\s*(.*?)\s*$", out, re.M)
        return m.group(2) if m else None

    def set(self, name, value, kind="REG_SZ"):
        self.desktop.run(["wine", "reg", "add", self.key, "/v", name, "/t", kind, "/d",
                          str(value), "/f"], check=True)
