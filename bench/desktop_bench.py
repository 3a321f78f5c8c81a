#!/usr/bin/python3
"""Side-by-side desktop benchmark; run through bench/desktop, which installs and builds first.

Each subject runs alone on a private Xvfb + openbox display for a warm-up and then a measured
interval. Processes are found through a marker in their environment, so Wine's processes and
its wineserver are counted together with the program they serve.
"""

import argparse
import contextlib
import json
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from Xlib import X, Xatom, display
from Xlib.ext import damage

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))
from desktop import Desktop  # noqa: E402  (Xvfb + openbox, shared with the end-to-end tests)
RESULTS = ROOT / "bench" / "results"
LINUX_EXE = ROOT / "build" / "linux" / "qv-tickspan"
WINDOWS_EXE = ROOT / "build" / "windows" / "qv-tickspan.exe"
TITLE_RE = re.compile(r"^QV-TICKSPAN: (-?\d+)d, (-?\d+)h, (-?\d+)m, (-?\d+)s$")
CLK_TCK = os.sysconf("SC_CLK_TCK")
MARKER = "QV_BENCH_TAG"


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


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK  # utime + stime


def scheduled_seconds(pid):
    """Time on a CPU from the scheduler's own clock: exact, where the tick-sampled user and
    system times of /proc/PID/stat over-count a program that wakes in step with the tick."""
    with open(f"/proc/{pid}/schedstat") as f:
        return int(f.read().split()[0]) / 1e9


def voluntary_switches(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    return 0


def memory_kib(pid):
    rss = private = 0
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key == "Rss":
                rss += int(rest.split()[0])
            elif key in ("Private_Clean", "Private_Dirty"):
                private += int(rest.split()[0])
    return rss, private


def sample(tag):
    """CPU seconds and voluntary switches summed over the subject's processes, by pid."""
    out = {}
    for pid in tagged_pids(tag):
        try:
            out[pid] = (cpu_seconds(pid), voluntary_switches(pid), scheduled_seconds(pid))
        except OSError:
            pass
    return out


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
        self.disp = display.Display(display_name)
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


def percentile(values, p):
    if not values:
        return float("nan")
    values = sorted(values)
    k = (len(values) - 1) * p / 100.0
    lo, hi = int(k), min(int(k) + 1, len(values) - 1)
    return values[lo] + (values[hi] - values[lo]) * (k - lo)


def caption_lags(events, clock):
    """Milliseconds between the start of the uptime second a caption shows and its arrival, on
    the clock the program's own tick source follows."""
    lags = []
    last = None
    for boot, _wall, title, raw in events:
        now = raw if clock == "raw" else boot
        m = TITLE_RE.match(title or "")
        if not m or title == last:
            last = title
            continue
        last = title
        d, h, mi, s = map(int, m.groups())
        shown = d * 86400 + h * 3600 + mi * 60 + s
        lags.append((now - shown) * 1000.0)
    return lags


def coalesce(events, gap=0.1):
    """Damage arrives in bursts for one redraw: keep the first event of each burst."""
    out = []
    for e in events:
        if not out or e[0] - out[-1][0] > gap:
            out.append(e)
    return out


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
    disp = display.Display(desk.name)
    watcher = None
    try:
        window = find_window(disp, subject["match"], subject.get("find_timeout", 20))
        if window is None:
            raise RuntimeError(f"{subject['name']}: no window appeared")
        time.sleep(warmup)
        watcher = Watcher(desk.name, window.id, subject["kind"] != "caption")
        watcher.start()
        yield tag, watcher
    finally:
        if watcher:
            watcher.stop_flag.set()
            watcher.join(2)
        disp.close()
        stop_tagged(proc, tag)
        shutil.rmtree(workdir, ignore_errors=True)


def usage(before, after, elapsed):
    """CPU (stat and schedstat) as % of a core, and voluntary switches a second, between two
    samples of the same processes."""
    def total(i):
        return sum(after[p][i] - before.get(p, (0, 0, 0))[i] for p in after)
    return {
        "cpu_percent": 100.0 * total(0) / elapsed,
        "cpu_sched_percent": 100.0 * total(2) / elapsed,
        "switches_per_s": total(1) / elapsed,
    }


def display_lags(subject, events):
    """The lag of each change the X server reported, in ms, and how many changes there were (a
    burst of damage counting as one)."""
    if subject["kind"] == "caption":
        return caption_lags(events, subject.get("clock", "boot")), len(events)
    bursts = coalesce(events)
    clock = (lambda e: e[0]) if subject["kind"] == "uptime-text" else (lambda e: e[1])
    return [(clock(e) % 1.0) * 1000.0 for e in bursts], len(bursts)


def lag_figures(lags):
    return {"lag_median_ms": statistics.median(lags) if lags else float("nan"),
            "lag_p99_ms": percentile(lags, 99), "lag_samples": len(lags)}


def measure(desk, subject, seconds, warmup):
    with running(desk, subject, warmup) as (tag, watcher):
        time.sleep(0.3)
        before = sample(tag)
        t0 = time.monotonic()
        time.sleep(seconds)
        after = sample(tag)
        elapsed = time.monotonic() - t0
        mem = [memory_kib(pid) for pid in after if os.path.exists(f"/proc/{pid}")]
    lags, updates = display_lags(subject, watcher.events)
    return {
        "program": subject["label"],
        "processes": len(after),
        **usage(before, after, elapsed),
        "rss_mib": sum(m[0] for m in mem) / 1024.0,
        "private_mib": sum(m[1] for m in mem) / 1024.0,
        "x_updates_per_s": updates / elapsed,
        **lag_figures(lags),
    }


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


def startup_ms(desk, argv, env_extra, starts):
    """Median time from spawn to the first running caption."""
    times = []
    for _ in range(starts):
        workdir = Path(tempfile.mkdtemp(prefix="qv-start-"))
        env = dict(desk.env, XDG_CONFIG_HOME=str(workdir / "config"), **env_extra)
        disp = display.Display(desk.name)
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


COLUMNS = [
    ("cpu_percent", "CPU, % of a core (stat)", "{:.2f}"),
    ("cpu_sched_percent", "CPU, % of a core (schedstat)", "{:.2f}"),
    ("switches_per_s", "voluntary switches/s", "{:.0f}"),
    ("rss_mib", "RSS, MiB", "{:.1f}"),
    ("private_mib", "private, MiB", "{:.1f}"),
    ("x_updates_per_s", "X updates/s", "{:.2f}"),
    ("lag_median_ms", "lag median, ms", "{:.1f}"),
    ("lag_p99_ms", "lag p99, ms", "{:.1f}"),
]


def median_table(runs, columns):
    """Each program's medians over the runs, and the Markdown table of them."""
    programs = [r["program"] for r in runs[0]]
    medians = {}
    for p in programs:
        rows = [r for run in runs for r in run if r["program"] == p]
        medians[p] = {k: statistics.median(r[k] for r in rows) for k, _, _ in columns}
    table = ["| program | " + " | ".join(title for _, title, _ in columns) + " |",
             "|---" * (len(columns) + 1) + "|"]
    for p in programs:
        cells = [fmt.format(medians[p][k]) for k, _, fmt in columns]
        table.append(f"| {p} | " + " | ".join(cells) + " |")
    return medians, table


def write_results(runs, startup, growth, sizes, seconds):
    RESULTS.mkdir(parents=True, exist_ok=True)
    (RESULTS / "desktop.json").write_text(json.dumps(
        {"runs": runs, "startup_ms": startup, "private_growth_kib": growth, "sizes": sizes,
         "seconds": seconds}, indent=2))
    medians, table = median_table(runs, COLUMNS)
    lines = [
        f"Medians of {len(runs)} runs of {seconds} s each on a private Xvfb + openbox display "
        f"(2-core machine). Wine's processes and wineserver are counted together. CPU (stat) "
        f"is user + system time from /proc/PID/stat, sampled at the kernel's tick; CPU "
        f"(schedstat) is the scheduler's exact run time from /proc/PID/schedstat. Lag: for "
        f"each change of the display the X server reports, the time since the second it shows "
        f"began (the captions on their program's tick clock; conky on CLOCK_BOOTTIME and "
        f"xclock on the wall clock, from damage events).",
        "",
        *table,
        "",
    ]
    for name, ms in startup.items():
        lines.append(f"- Start-up to the first running caption, {name}: median {ms:.0f} ms "
                     f"(10 starts).")
    for name, size in sizes.items():
        lines.append(f"- Size of {name}: {size / 1024:.0f} KiB.")
    if growth:
        lines.append(f"- Private memory of the Linux program: {growth[0]} KiB after 5 s, "
                     f"{growth[1]} KiB after {growth[2]} s more.")
    (RESULTS / "desktop.md").write_text("\n".join(lines) + "\n")

    data = RESULTS / "desktop.dat"
    with data.open("w") as f:
        for p in medians:
            f.write('"{}" {:.3f} {:.3f} {:.3f}\n'.format(
                p, medians[p]["cpu_percent"], medians[p]["private_mib"],
                medians[p]["lag_p99_ms"]))
    script = f"""
set terminal pngcairo size 1200,440 font ',10'
set output '{RESULTS / "desktop.png"}'
set termoption noenhanced
set multiplot layout 1,3
set style data histogram
set style fill solid 0.8
set boxwidth 0.7
set xtics rotate by -25
set grid ytics
set logscale y
set title 'CPU, % of one core (log scale, lower is better)'
plot '{data}' using 2:xtic(1) notitle lc rgb '#2e7d32'
set title 'Private memory, MiB (log scale, lower is better)'
plot '{data}' using 3:xtic(1) notitle lc rgb '#1565c0'
unset logscale y
set title 'Lag of the shown second, p99, ms (lower is better)'
plot '{data}' using 4:xtic(1) notitle lc rgb '#c62828'
unset multiplot
"""
    subprocess.run(["gnuplot"], input=script.encode(), check=False)
    data.unlink()
    print((RESULTS / "desktop.md").read_text())


def measure_saver(desk, subject, seconds, warmup, after):
    """The subject with the X screen saver active for `seconds`, then `after` seconds more with
    it ended: CPU and wake-ups under the saver; how soon the display changed after it ended and
    whether that change showed the current second; the lag of the later changes."""
    try:
        with running(desk, subject, warmup, "-saver") as (tag, watcher):
            xset(desk, "activate")
            time.sleep(1.0)
            before = sample(tag)
            t0 = time.monotonic()
            time.sleep(seconds)
            after_sample = sample(tag)
            elapsed = time.monotonic() - t0
            ended = boottime()
            xset(desk, "reset")
            time.sleep(after)
    finally:
        xset(desk, "reset")
    return saver_figures(subject, watcher.events, ended, before, after_sample, elapsed)


def saver_figures(subject, events, ended, before, after, elapsed):
    later = [e for e in events if e[0] >= ended]
    if subject["kind"] != "caption":
        later = coalesce(later)
    first_ms = (later[0][0] - ended) * 1000.0 if later else float("nan")
    current = None
    if later and subject["kind"] == "caption":
        m = TITLE_RE.match(later[0][2] or "")
        now = later[0][3] if subject.get("clock") == "raw" else later[0][0]
        if m:
            d, h, mi, s = map(int, m.groups())
            current = d * 86400 + h * 3600 + mi * 60 + s == int(now)
    lags, _ = display_lags(subject, later[1:])
    return {
        "program": subject["label"],
        **usage(before, after, elapsed),
        "first_change_ms": first_ms,
        "first_change_current": current,
        **lag_figures(lags),
    }


SAVER_COLUMNS = [
    ("cpu_percent", "CPU under the saver, % of a core (stat)", "{:.3f}"),
    ("cpu_sched_percent", "CPU under the saver, % (schedstat)", "{:.3f}"),
    ("switches_per_s", "wake-ups/s under the saver", "{:.2f}"),
    ("first_change_ms", "first change after it ends, ms", "{:.1f}"),
    ("lag_median_ms", "lag median after, ms", "{:.1f}"),
    ("lag_p99_ms", "lag p99 after, ms", "{:.1f}"),
]


def write_saver_results(runs, seconds, after):
    (RESULTS / "desktop-saver.json").write_text(json.dumps(
        {"runs": runs, "seconds": seconds, "after": after}, indent=2))
    _, table = median_table(runs, SAVER_COLUMNS)
    lines = [
        f"Screen-saver phase: medians of {len(runs)} runs on a private Xvfb + openbox display "
        f"(2-core machine). Each program runs alone: after the warm-up the X screen saver is "
        f"activated (`xset s activate`), CPU and voluntary context switches (wake-ups) are "
        f"measured over {seconds} s, then the saver is ended (`xset s reset`) and the display "
        f"is watched for {after} s more. \"First change\" is the time from the saver's end to "
        f"the first change the X server reports; the lag after is that of the later changes, "
        f"as in the table above.",
        "",
        *table,
    ]
    current = [r["first_change_current"] for run in runs for r in run
               if r["first_change_current"] is not None]
    if current:
        lines.append("")
        lines.append(f"- The first caption after the saver ended showed the current second in "
                     f"{sum(current)} of {len(current)} runs.")
    (RESULTS / "desktop-saver.md").write_text("\n".join(lines) + "\n")
    print((RESULTS / "desktop-saver.md").read_text())


def keeper_cleared(env, workdir):
    folder = Path(env["XDG_CONFIG_HOME"]) / "QV_TKS"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "settings.ini").write_text("[qv-tickspan]\nAlwaysOnTop_TICKBOX=0\n")


def saver_subjects():
    """The Linux program as it starts first (Always On Top ticked: its keeper asks the window
    manager once a second) and with that option cleared, beside conky and xclock."""
    out = subjects(True)
    cleared = dict(out[0], name="linux-cleared", prepare=keeper_cleared,
                   label="qv-tickspan (Linux), Always On Top cleared")
    return out[:1] + [cleared] + out[1:]


def saver_runs(desk, args):
    runs = []
    for i in range(args.runs):
        run = []
        for s in saver_subjects():
            if args.only and s["name"] not in args.only:
                continue
            print(f"saver run {i + 1}/{args.runs}: {s['label']}", file=sys.stderr)
            run.append(measure_saver(desk, s, args.saver_seconds, args.warmup, args.saver_after))
        runs.append(run)
    return runs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=int, default=30)
    ap.add_argument("--warmup", type=float, default=3.0)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--soak", type=int, default=0, help="also watch private memory this long")
    ap.add_argument("--keep-soak", action="store_true",
                    help="without --soak, keep the memory figures of the last results")
    ap.add_argument("--skip-wine", action="store_true")
    ap.add_argument("--saver-seconds", type=int, default=30,
                    help="length of the screen-saver phase (0: none)")
    ap.add_argument("--saver-after", type=int, default=30,
                    help="seconds watched after the screen saver ends")
    ap.add_argument("--saver-only", action="store_true",
                    help="run only the screen-saver phase and write its results")
    ap.add_argument("--replot", action="store_true",
                    help="rewrite the table and chart from bench/results/desktop.json")
    ap.add_argument("--only", action="append", help="measure only these subjects (linux, wine, "
                    "conky, xclock); results are then printed, not written")
    args = ap.parse_args()
    if args.replot:
        saved = json.loads((RESULTS / "desktop.json").read_text())
        growth = saved["private_growth_kib"]
        write_results(saved["runs"], saved["startup_ms"], tuple(growth) if growth else None,
                      saved["sizes"], saved["seconds"])
        return
    if args.saver_only:
        with quiet_desktop() as desk:
            saver = saver_runs(desk, args)
        if args.only:
            print(json.dumps(saver, indent=2))
        else:
            write_saver_results(saver, args.saver_seconds, args.saver_after)
        return
    runs = []
    with quiet_desktop() as desk:
        for i in range(args.runs):
            run = []
            for s in subjects(args.skip_wine):
                if args.only and s["name"] not in args.only:
                    continue
                print(f"run {i + 1}/{args.runs}: {s['label']}", file=sys.stderr)
                run.append(measure(desk, s, args.seconds, args.warmup))
            runs.append(run)
        saver = saver_runs(desk, args) if args.saver_seconds > 0 else None
        if args.only:
            print(json.dumps(runs + (saver or []), indent=2))
            return
        startup = {"Linux": startup_ms(desk, [str(LINUX_EXE)], {}, 10)}
        growth = None
        if args.keep_soak and (RESULTS / "desktop.json").exists():
            kept = json.loads((RESULTS / "desktop.json").read_text())["private_growth_kib"]
            growth = tuple(kept) if kept else None
        if args.soak:
            start, end = private_growth(desk, args.soak)
            growth = (start, end, args.soak)
    sizes = {"qv-tickspan": LINUX_EXE.stat().st_size}
    if WINDOWS_EXE.exists():
        sizes["qv-tickspan.exe"] = WINDOWS_EXE.stat().st_size
    write_results(runs, startup, growth, sizes, args.seconds)
    if saver:
        write_saver_results(saver, args.saver_seconds, args.saver_after)


if __name__ == "__main__":
    main()
