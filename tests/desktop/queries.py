"""What a test asks of the X server about windows, and the input it gives as a person would.
Windows are X window ids (ints). Points are on the screen, or, where a window comes first, in
that window's client area."""

import os
import re
import subprocess

from Xlib import X
from Xlib.ext import xtest

from .xserver import connect, wait_for


class XQueries:
    """Mixed into a desktop that has `env` (its programs' environment, DISPLAY among it) and
    `display` (the X display's name)."""

    def x(self, *args, check=False):
        """Runs an X tool on this display; its standard output."""
        r = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=60)
        if check and r.returncode != 0:
            raise AssertionError(f"{' '.join(args)} failed: {r.stderr.strip()}")
        return r.stdout

    # --- windows ---
    def search(self, *args):
        """The first visible window xdotool finds with these arguments (its id text), or None."""
        out = self.x("xdotool", "search", "--all", "--onlyvisible", *args).split()
        return out[0] if out else None

    def find_windows(self, name_regex):
        out = self.x("xdotool", "search", "--onlyvisible", "--name", name_regex)
        return [int(w) for w in out.split()]

    def wait_window(self, name_regex, timeout=15):
        return wait_for(lambda: (self.find_windows(name_regex) or [None])[0], timeout,
                        what=f"a window named /{name_regex}/")

    def caption(self, wid):
        m = re.search(r'_NET_WM_NAME\(UTF8_STRING\) = "(.*)"',
                      self.x("xprop", "-id", str(wid), "_NET_WM_NAME"))
        return m.group(1) if m else None

    def window_name(self, window):
        return self.x("xdotool", "getwindowname", str(window)).rstrip("\n")

    def atoms(self, wid, prop):
        out = self.x("xprop", "-id", str(wid), prop)
        return [a.strip() for a in out.split("=", 1)[1].split(",")] if "=" in out else []

    def net_wm_state(self, window):
        return self.x("xprop", "-id", str(window), "_NET_WM_STATE")

    def cardinals(self, wid, prop):
        out = self.x("xprop", "-id", str(wid), prop)
        return [int(v, 0) for v in re.findall(r"0x[0-9a-f]+|\d+", out.split("=", 1)[1])] \
            if "=" in out else []

    def root_windows(self, prop):
        out = self.x("xprop", "-root", prop)
        return [int(v, 16) for v in re.findall(r"0x[0-9a-fA-F]+", out)]

    def stacking(self):
        """The managed windows, bottom to top."""
        return self.root_windows("_NET_CLIENT_LIST_STACKING")

    def active(self):
        ids = self.root_windows("_NET_ACTIVE_WINDOW")
        return ids[0] if ids else 0

    def client_rect(self, wid):
        """(x, y, width, height) of the X window on the screen."""
        out = self.x("xwininfo", "-id", str(wid))
        values = {k: int(v) for k, v in re.findall(
            r"(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)", out)}
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    geometry = client_rect

    def outer_rect(self, wid):
        left, right, top, bottom = self.cardinals(wid, "_NET_FRAME_EXTENTS")
        x, y, w, h = self.client_rect(wid)
        return (x - left, y - top, w + left + right, h + top + bottom)

    # --- input, as a person gives it ---
    def _pointer(self, where):
        """xdotool's mousemove arguments for (x, y) on the screen or (window, x, y) in it."""
        if len(where) == 3:
            return ["mousemove", "--window", str(where[0]), str(where[1]), str(where[2])]
        return ["mousemove", str(where[0]), str(where[1])]

    def click(self, *where):
        """A click at (x, y) on the screen, or at (window, x, y) in the window."""
        self.x("xdotool", *self._pointer(where), "click", "1", check=True)

    def double_click(self, *where):
        """A double-click at (x, y) on the screen, or at (window, x, y) in the window."""
        self.x("xdotool", *self._pointer(where), check=True)
        # NOTE: the four button events go to the server in one request: separate clicks (as
        # xdotool sends them) lie as far apart as the machine's load keeps this process from
        # running, and more than a double-click's time apart they are two single clicks.
        server = connect(self.display)
        try:
            for kind in (X.ButtonPress, X.ButtonRelease) * 2:
                xtest.fake_input(server, kind, 1)
            server.sync()
        finally:
            server.close()

    def drag(self, x, y, dx, dy):
        self.x("xdotool", "mousemove", str(x), str(y), "mousedown", "1", "sleep", "0.1",
               "mousemove", str(x + dx // 2), str(y + dy // 2), "sleep", "0.1",
               "mousemove", str(x + dx), str(y + dy), "sleep", "0.1", "mouseup", "1", check=True)

    def key(self, *keys):
        """Keys typed as a keyboard types them: key(window, "Tab", ...) activates the window
        first and waits until it is active; key("Tab", ...) types into whatever has the focus."""
        if keys and isinstance(keys[0], int):
            self.activate(keys[0])
            keys = keys[1:]
        self.x("xdotool", "key", "--delay", "50", *keys, check=True)

    def activate(self, wid):
        if self.active() != wid:
            self.x("wmctrl", "-i", "-a", str(wid), check=True)
        wait_for(lambda: self.active() == wid, what="the window active")

    def close_window(self, wid):
        """The window manager's close command (WM_DELETE_WINDOW), as the title bar's gives it."""
        self.x("wmctrl", "-i", "-c", str(wid), check=True)

    def move(self, window, x, y):
        self.x("wmctrl", "-i", "-r", str(window), "-e", f"0,{x},{y},-1,-1", check=True)

    # --- pixels ---
    def screenshot(self, path, window=None):
        """Saves the screen, or one window, as a PNG at path, and returns path. Given a folder
        and a name instead, saves the screen as folder/name.png."""
        if isinstance(window, str):
            os.makedirs(path, exist_ok=True)
            path, window = os.path.join(path, window + ".png"), None
        self.x("import", "-window", str(window) if window else "root", path, check=True)
        return path

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

    def pixels(self, window, x, y, width, height):
        """{(x, y): "#RRGGBB"} of a rectangle of the window, as it shows on the screen."""
        out = self.x("import", "-window", str(window), "-crop", f"{width}x{height}+{x}+{y}",
                     "+repage", "-depth", "8", "txt:-")
        result = {}
        for line in out.splitlines():
            m = re.match(r"(\d+),(\d+):.*?(#[0-9A-Fa-f]{6})", line)
            if m:
                result[(int(m.group(1)) + x, int(m.group(2)) + y)] = m.group(3).upper()
        return result
