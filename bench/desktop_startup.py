"""How long the Linux program takes to show its first running caption, and whether its private
memory grows over a long run."""

import os
import select
import shutil
import signal
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

from Xlib import X

from desktop_subjects import LINUX_EXE, TITLE_RE, window_title
from desktop import connect  # noqa: E402  (desktop_subjects puts tests/ on the path)
from desktop_usage import memory_kib


def startup_ms(desk, argv, env_extra, starts):
    """Median time from spawn to the first running caption."""
    times = []
    for _ in range(starts):
        workdir = Path(tempfile.mkdtemp(prefix="qv-start-"))
        env = dict(desk.env, XDG_CONFIG_HOME=str(workdir / "config"), **env_extra)
        disp = connect(desk.display)
        # Short-lived windows vanish between their creation and our look at them.
        disp.set_error_handler(lambda *args: None)
        root = disp.screen().root
        root.change_attributes(event_mask=X.SubstructureNotifyMask)
        disp.sync()
        t0 = time.monotonic()
        proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        found = None
        watched = set()
        deadline = t0 + 20
        while found is None and time.monotonic() < deadline:
            if not disp.pending_events():
                select.select([disp.fileno()], [], [], 0.05)
            while disp.pending_events():
                ev = disp.next_event()
                if ev.type == X.CreateNotify and ev.window.id not in watched:
                    watched.add(ev.window.id)
                    ev.window.change_attributes(event_mask=X.PropertyChangeMask)
                    disp.sync()
                    try:
                        if TITLE_RE.match(window_title(disp, ev.window) or ""):
                            found = time.monotonic()
                    except Exception:
                        pass
                elif ev.type == X.PropertyNotify:
                    try:
                        if TITLE_RE.match(window_title(disp, ev.window) or ""):
                            found = time.monotonic()
                    except Exception:
                        pass
        if found is not None:
            times.append((found - t0) * 1000.0)
        os.killpg(proc.pid, signal.SIGTERM)
        proc.wait(5)
        disp.close()
        shutil.rmtree(workdir, ignore_errors=True)
    return statistics.median(times) if times else float("nan")


def private_growth(desk, seconds):
    """Private memory of the Linux program at the start and after `seconds`."""
    workdir = Path(tempfile.mkdtemp(prefix="qv-soak-"))
    env = dict(desk.env, XDG_CONFIG_HOME=str(workdir / "config"))
    proc = subprocess.Popen([str(LINUX_EXE)], env=env, start_new_session=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(5)
    start = memory_kib(proc.pid)[1]
    time.sleep(seconds)
    end = memory_kib(proc.pid)[1]
    os.killpg(proc.pid, signal.SIGTERM)
    proc.wait(5)
    shutil.rmtree(workdir, ignore_errors=True)
    return start, end
