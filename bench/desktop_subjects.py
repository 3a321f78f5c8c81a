"""The programs the desktop benchmark measures, and how each is run: alone on a private Xvfb +
openbox display, with a fresh settings folder, its processes found through a marker in their
environment (so Wine's processes and its wineserver are counted with the program they serve),
and a thread that stamps every change the X server reports on its window."""

import contextlib
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from Xlib import X, Xatom
from Xlib.ext import damage

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))
from desktop import Desktop, connect  # noqa: E402  (Xvfb + openbox, shared with the tests)
LINUX_EXE = ROOT / "build" / "linux" / "qv-tickspan"
WINDOWS_EXE = ROOT / "build" / "windows" / "qv-tickspan.exe"
TITLE_RE = re.compile(r"^QV-TICKSPAN: (-?\d+)d, (-?\d+)h, (-?\d+)m, (-?\d+)s$")
MARKER = "QV_BENCH_TAG"


def shown_second(title):
    """The uptime in whole seconds that a caption shows, or None for another text."""
    m = TITLE_RE.match(title or "")
    if not m:
        return None
    d, h, mi, s = map(int, m.groups())
    return ((d * 24 + h) * 60 + mi) * 60 + s


def boottime():
    return time.clock_gettime(time.CLOCK_BOOTTIME)


def raw_monotonic():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


def xset(desk, command):
    subprocess.run(["xset", "s", command], env=desk.env, check=True)


def quiet_desktop():
    """A private desktop whose screen saver starts only when a phase asks for it, never after
    ten idle minutes."""
    desk = Desktop(1920, 1080)
    xset(desk, "off")
    return desk


def tagged_pids(tag):
    needle = f"{MARKER}={tag}".encode()
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if needle in f.read().split(b"\0"):
                    pids.append(int(entry))
        except OSError:
            pass
    return pids


def find_window(disp, predicate, timeout):
    """The first client window (below the window manager's frames) that satisfies predicate."""
    root = disp.screen().root
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        stack = [(root, 0)]
        while stack:
            w, depth = stack.pop()
            try:
                if depth > 0 and predicate(disp, w):
                    return w
                if depth < 3:
                    stack.extend((c, depth + 1) for c in w.query_tree().children)
            except Exception:  # windows come and go while we walk
                pass
        time.sleep(0.1)
    return None


def window_title(disp, w):
    net_name = disp.intern_atom("_NET_WM_NAME")
    utf8 = disp.intern_atom("UTF8_STRING")
    prop = w.get_full_property(net_name, utf8)
    if prop is not None:
        return prop.value.decode("utf-8", "replace")
    prop = w.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
    if prop is not None:
        value = prop.value
        return value.decode("latin-1") if isinstance(value, bytes) else str(value)
    return None


def window_pid(disp, w):
    prop = w.get_full_property(disp.intern_atom("_NET_WM_PID"), Xatom.CARDINAL)
    return int(prop.value[0]) if prop is not None else None


class Watcher(threading.Thread):
    """Stamps every change the X server reports on one window with CLOCK_BOOTTIME."""

    def __init__(self, display_name, window_id, use_damage):
        super().__init__(daemon=True)
        self.disp = connect(display_name)
        self.window = self.disp.create_resource_object("window", window_id)
        self.use_damage = use_damage
        self.events = []  # (boottime, realtime, title or None, raw monotonic time)
        self.stop_flag = threading.Event()
        self.net_name = self.disp.intern_atom("_NET_WM_NAME")
        # Count the title property the program keeps: _NET_WM_NAME when it sets one.
        has_net = self.window.get_full_property(self.net_name, X.AnyPropertyType) is not None
        self.title_atom = self.net_name if has_net else Xatom.WM_NAME

    def run(self):
        self.window.change_attributes(event_mask=X.PropertyChangeMask)
        dmg = None
        if self.use_damage:
            self.disp.damage_query_version()
            # Toolkits draw into child windows: watch the whole tree below the client window.
            targets, stack = [], [self.window]
            while stack:
                w = stack.pop()
                targets.append(w)
                stack.extend(w.query_tree().children)
            # NOTE: raw rectangles; the non-empty level needs a subtract per event, which
            # python-xlib leaves unsent in its buffer while it only reads.
            dmg = [w.damage_create(damage.DamageReportRawRectangles) for w in targets]
        self.disp.sync()
        fd = self.disp.fileno()
        while not self.stop_flag.is_set():
            if not self.disp.pending_events():
                select.select([fd], [], [], 0.2)
            while self.disp.pending_events():
                ev = self.disp.next_event()
                now, wall, raw = boottime(), time.time(), raw_monotonic()
                if (ev.type == X.PropertyNotify and ev.atom == self.title_atom
                        and not self.use_damage):
                    try:
                        title = window_title(self.disp, self.window)
                    except Exception:
                        title = None
                    self.events.append((now, wall, title, raw))
                elif dmg is not None and type(ev).__name__ == "DamageNotify":  # a per-display class
                    self.events.append((now, wall, None, raw))
        self.disp.close()


@contextlib.contextmanager
def running(desk, subject, warmup, phase=""):
    """Starts `subject` with a fresh settings folder and, once its window is up and `warmup`
    seconds have passed, yields (tag, watcher) with the watcher on that window running; ends
    the subject and the watcher afterwards."""
    tag = f"{subject['name']}{phase}-{os.getpid()}-{time.monotonic_ns()}"
    env = dict(desk.env, **subject.get("env", {}))
    env[MARKER] = tag
    workdir = Path(tempfile.mkdtemp(prefix="qv-bench-"))
    env["XDG_CONFIG_HOME"] = str(workdir / "config")
    if "prepare" in subject:
        subject["prepare"](env, workdir)
    proc = subprocess.Popen(subject["argv"](workdir), env=env, cwd=workdir,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    disp = connect(desk.display)
    watcher = None
    try:
        window = find_window(disp, subject["match"], subject.get("find_timeout", 20))
        if window is None:
            raise RuntimeError(f"{subject['name']}: no window appeared")
        time.sleep(warmup)
        watcher = Watcher(desk.display, window.id, subject["kind"] != "caption")
        watcher.start()
        yield tag, watcher
    finally:
        if watcher:
            watcher.stop_flag.set()
            watcher.join(2)
        disp.close()
        stop_tagged(proc, tag)
        shutil.rmtree(workdir, ignore_errors=True)


def stop_tagged(proc, tag):
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    try:
        proc.wait(5)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
    for pid in tagged_pids(tag):  # a wineserver outlives its session
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def subjects(skip_wine):
    def has_qv_title(disp, w):
        return TITLE_RE.match(window_title(disp, w) or "") is not None

    def named(name):
        return lambda disp, w: window_title(disp, w) == name

    def conky_config(env, workdir):
        (workdir / "conky.conf").write_text(
            "conky.config = { update_interval = 1, own_window = true, own_window_type = 'normal',\n"
            "  own_window_title = 'conky-bench', out_to_x = true, double_buffer = true,\n"
            "  background = false, minimum_width = 200, minimum_height = 30 }\n"
            "conky.text = [[${uptime}]]\n")

    def wine_prefix(env, workdir):
        env["WINEPREFIX"] = str(ROOT / "build" / "bench-wineprefix")
        env["WINEDEBUG"] = "-all"
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml,winemenubuilder.exe="
        subprocess.run(["wineboot", "--init"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)

    out = [{"name": "linux", "label": "qv-tickspan (Linux)", "kind": "caption",
            "argv": lambda wd: [str(LINUX_EXE)], "match": has_qv_title}]
    if not skip_wine:
        out.append({"name": "wine", "label": "qv-tickspan.exe (Wine)", "kind": "caption",
                    "argv": lambda wd: ["wine", str(WINDOWS_EXE)], "match": has_qv_title,
                    "prepare": wine_prefix, "find_timeout": 60,
                    # NOTE: Wine's tick count follows CLOCK_MONOTONIC_RAW, which drifts from
                    # CLOCK_BOOTTIME wherever NTP slews the clock (185 ms apart on this machine).
                    "clock": "raw"})
    out.append({"name": "conky", "label": "conky, update_interval 1", "kind": "uptime-text",
                "argv": lambda wd: ["conky", "-c", str(wd / "conky.conf")],
                "match": named("conky-bench"), "prepare": conky_config})
    out.append({"name": "xclock", "label": "xclock -d -update 1", "kind": "clock-text",
                "argv": lambda wd: ["xclock", "-d", "-update", "1"], "match": named("xclock")})
    return out
