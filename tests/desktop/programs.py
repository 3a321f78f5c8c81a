"""The programs under test: a run of the Linux program, its settings file, and the Windows
program's registry section."""

import configparser
import os
import re
import signal
import subprocess
import tempfile
import time

from .processes import descendant_running
from .xserver import NET_S, RUNNING_TITLE, stop, wait_for

# 9999 days, 23 hours and 58 minutes: the widest figures the caption shows, for two minutes.
WIDEST_UPTIME_S = ((9999 * 24 + 23) * 60 + 58) * 60


class App:
    """One run of the Linux program on a desktop, with the settings folder it is given; with a
    prefix (such as `unshare --time ... --fork`), run by the prefix's command."""

    def __init__(self, desktop, config_home, exe, env=None, stdout=subprocess.DEVNULL,
                 prefix=(), stderr=None):
        """`stderr`: where its error stream goes (a file descriptor); else a file that
        stderr() reads."""
        self.desktop = desktop
        self.config_home = config_home
        self.exe = os.path.realpath(exe)
        self.errors = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([*prefix, exe], env=dict(env or desktop.env,
                                                              XDG_CONFIG_HOME=config_home),
                                     stdout=stdout,
                                     stderr=self.errors if stderr is None else stderr)
        self.pid = None if prefix else self.proc.pid
        try:
            self.main = int(wait_for(self._find_main, what="the main window"))
        except BaseException:
            self.stop()
            raise

    def _find_main(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"the program ended with {self.proc.returncode}: {self.stderr()}")
        self.pid = self.pid or descendant_running(self.proc.pid, self.exe)
        return self.pid and self.desktop.search("--pid", str(self.pid), "--name",
                                                "^QV-TICKSPAN: ")

    def about(self):
        return self.desktop.search("--pid", str(self.pid), "--name", "ABOUT$")

    def strip_point(self):
        """The middle of the client strip below the main window's title bar."""
        x, y, w, h = self.desktop.client_rect(self.main)
        return x + w // 2, y + h // 2

    def open_about(self):
        self.desktop.double_click(*self.strip_point())
        return int(wait_for(self.about, what="the About window"))

    def caption(self):
        return self.desktop.caption(self.main)

    def wait_exit(self, timeout=NET_S):
        try:
            return self.proc.wait(max(timeout, NET_S))
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end")

    def stop(self):
        stop(self.proc, 0)
        self.errors.close()

    def stderr(self):
        self.errors.seek(0)
        return self.errors.read().decode(errors="replace")

    def signal(self, sig=signal.SIGTERM):
        os.kill(self.pid, sig)


def uptime_prefix(uptime_s):
    """A command prefix that runs a program in a time namespace of its own, whose boot-time
    clock has been going for uptime_s seconds."""
    offset = uptime_s - int(time.clock_gettime(time.CLOCK_BOOTTIME))
    # NOTE: a time namespace takes effect in the children of the process that made it.
    user = [] if os.geteuid() == 0 else ["--user", "--map-root-user"]
    return ["unshare", *user, "--time", "--boottime", str(offset), "--fork", "--kill-child"]


def shown_seconds(caption):
    """The uptime in whole seconds that a running caption shows, or None for another text."""
    m = RUNNING_TITLE.match(caption or "")
    if not m:
        return None
    d, h, mi, s = (int(v) for v in m.groups())
    return ((d * 24 + h) * 60 + mi) * 60 + s


def read_store(config_home):
    """{section: {key: value}} of the Linux settings file, empty when there is none."""
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


class Registry:
    """The Windows program's settings section in a Wine prefix's registry, through `wine reg`."""

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
