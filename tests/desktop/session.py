"""A private desktop: Xvfb, openbox and a home folder of its own; a Wine prefix on it for the
Windows program; and spies on window properties."""

import os
import shutil
import subprocess
import tempfile
import threading

from .buses import no_buses
from .queries import XQueries
from .xserver import (NET_S, PACKAGES_HINT, SCREEN, TOOLS, WINE_TOOLS, require_tools,
                      start_openbox, start_xvfb, stop, wait_for)


class PropertySpy:
    """Every value a property of a window (or of "root") takes from now on, as `xprop -spy`
    prints it, one line a change: a test waits for changes instead of sleeping."""

    def __init__(self, env, window, prop):
        self.lines = []
        self._changed = threading.Condition()
        where = ["-root"] if window == "root" else ["-id", str(window)]
        self.proc = subprocess.Popen(["xprop", "-spy", *where, prop], env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.proc.stdout:
            with self._changed:
                self.lines.append(line.rstrip("\n"))
                self._changed.notify_all()

    def wait_lines(self, count, timeout=NET_S):
        """The first `count` lines (the value at the start, then one line per change)."""
        with self._changed:
            if not self._changed.wait_for(lambda: len(self.lines) >= count, timeout):
                raise AssertionError(f"{count} values awaited, {len(self.lines)} came: "
                                     f"{self.lines}")
            return list(self.lines[:count])

    def close(self):
        stop(self.proc, 2)
        self._reader.join()
        self.proc.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Desktop(XQueries):
    """Xvfb on a free display with openbox on it, and a home folder of its own, whose HOME and
    XDG_CONFIG_HOME every program started here gets, and no message bus: nothing depends on the
    user's own."""

    def __init__(self, width=SCREEN[0], height=SCREEN[1], tools=TOOLS):
        require_tools(tools, PACKAGES_HINT)
        self.root = tempfile.mkdtemp(prefix="qv-desktop-")
        self.home = os.path.join(self.root, "home")
        os.makedirs(os.path.join(self.home, ".config"))
        self.xvfb = self.openbox = self.wm_log = None
        self.procs, self.others = [], []
        try:
            self.xvfb, number = start_xvfb(width, height)
            self.display = f":{number}"
            self.env = no_buses(dict(os.environ, DISPLAY=self.display, HOME=self.home,
                                     XDG_CONFIG_HOME=os.path.join(self.home, ".config")),
                                self.root)
            # Xlib would read X resources (the DPI among them) from the file this names.
            self.env.pop("XENVIRONMENT", None)
            self._start_openbox()
        except BaseException:
            self.close()
            raise

    def _start_openbox(self):
        self.wm_log = open(os.path.join(self.root, "openbox.log"), "w+")
        try:
            self.openbox = start_openbox(self.env, self.wm_log)
        except AssertionError as e:
            self.wm_log.seek(0)
            raise AssertionError(f"{e}: {self.wm_log.read()}") from None

    def close(self):
        for p in self.others + list(reversed(self.procs)) + [self.openbox, self.xvfb]:
            stop(p)
        if self.wm_log:
            self.wm_log.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def run(self, args, timeout=60, check=False):
        """Runs a program on this display; the CompletedProcess with its output as text."""
        # NOTE: output goes to files, not pipes: the first Wine command starts Wine's services,
        # which inherit its output handles and would keep a pipe open long after it ends.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            proc = subprocess.Popen(args, env=self.env, stdout=out, stderr=err,
                                    stdin=subprocess.DEVNULL)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                stop(proc, 0)
                raise
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(args, proc.returncode, out.read(), err.read())
        if check:
            result.check_returncode()
        return result

    def spy(self, window, prop):
        return PropertySpy(self.env, window, prop)

    def start_other_window(self):
        """Another program's window (xmessage) for the keeper to push around."""
        name = f"qv-other-{len(self.others)}"
        p = subprocess.Popen(["xmessage", "-name", name, name], env=self.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.others.append(p)
        return int(wait_for(lambda: self.search("--classname", f"^{name}$"),
                            what="the xmessage window"))


class WineDesktop(Desktop):
    """A desktop with a private Wine prefix and a persistent wineserver on it."""

    def __init__(self, width=SCREEN[0], height=SCREEN[1]):
        super().__init__(width, height, WINE_TOOLS)
        try:
            self.env.update({
                "WINEPREFIX": os.path.join(self.root, "wineprefix"),
                "WINEDEBUG": "-all",
                # No Mono or Gecko prompts, and no menu entries or file associations made.
                "WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe=",
            })
            os.makedirs(self.env["WINEPREFIX"])
            # Each later Wine start then takes a fraction of a second.
            self.procs.append(subprocess.Popen(["wineserver", "-p", "-f"], env=self.env))
            self.run(["wineboot", "--init"], timeout=300, check=True)
        except BaseException:
            self.close()
            raise

    def close(self):
        if "WINEPREFIX" in getattr(self, "env", {}):
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        super().close()


