"""The programs under test: a run of the Linux program, its settings file, and the Windows
program's registry section."""

import configparser
import os
import re
import signal
import subprocess
import tempfile

from .xserver import NET_S, stop, wait_for


class App:
    """One run of the Linux program on a desktop, with the settings folder it is given; with a
    prefix (such as `unshare --time ... --fork`), run by the prefix's command."""

    def __init__(self, desktop, config_home, exe, env=None, stdout=subprocess.DEVNULL,
                 prefix=()):
        self.desktop = desktop
        self.config_home = config_home
        self.exe = os.path.realpath(exe)
        self.errors = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([*prefix, exe], env=dict(env or desktop.env,
                                                              XDG_CONFIG_HOME=config_home),
                                     stdout=stdout, stderr=self.errors)
        self.pid = None if prefix else self.proc.pid
        try:
            self.main = int(wait_for(self._find_main, what="the main window"))
        except BaseException:
            self.stop()
            raise

    def _find_main(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"the program ended with {self.proc.returncode}: {self.stderr()}")
        self.pid = self.pid or _descendant_running(self.proc.pid, self.exe)
        return self.pid and self.desktop.search("--pid", str(self.pid), "--name",
                                                "^QV-TICKSPAN: ")

    def about(self):
        return self.desktop.search("--pid", str(self.pid), "--name", "ABOUT$")

    def wakeups(self):
        """How often the program has woken so far: its voluntary context switches."""
        total = 0
        for task in os.listdir(f"/proc/{self.pid}/task"):
            with open(f"/proc/{self.pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        return total

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


def _descendant_running(pid, exe):
    """The first process below pid that runs the file exe, or None."""
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            kids = [int(c) for c in f.read().split()]
    except OSError:
        return None
    for kid in kids:
        try:
            if os.path.realpath(f"/proc/{kid}/exe") == exe:
                return kid
        except OSError:
            continue
        found = _descendant_running(kid, exe)
        if found:
            return found
    return None


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
