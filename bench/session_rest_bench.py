#!/usr/bin/python3
"""The Linux program while the desktop session says nobody sees the screen; run through
bench/session-rest, which installs and builds first.

For each desktop and state: the program's wake-ups a second and CPU, beside conky's, on Xvfb +
openbox (screen on, X screen saver; the build before the session's signals were heard too, when
given), on private buses with the stand-in services of tests/desktop/buses.py (logind locked,
the freedesktop and GNOME screen savers active, mutter's monitors off), and on a real mutter
(Wayland, headless, the program through XWayland) with its monitors on and off. Then how soon the
caption is current after each of many unlocks, and the program's CPU and memory while a service
floods it with signals. Writes bench/results/desktop-rest.md and desktop-rest.json.
"""

import argparse
import contextlib
import json
import statistics
import sys
import tempfile
import time
from pathlib import Path

import desktop_subjects as ds  # Xvfb desktops, the subjects and the title watcher
import desktop_usage as du  # CPU, wake-ups and memory from /proc
from desktop_lag import percentile
from desktop_results import RESULTS
from desktop import wait_for, wake_ups  # noqa: E402  (desktop_subjects puts tests/ on the path)
from desktop.buses import StandInSession  # noqa: E402
# The desktop suite's real desktops, each headless on a session bus of its own. Closing one ends
# every process below this one, so each runs while nothing else of the benchmark does.
from desktops import KwinWayland, MutterWayland  # noqa: E402

DEFAULT_BEFORE = ds.ROOT / "build" / "before" / "qv-tickspan"
STANDIN_STATES = [
    ("login1", "stand-in logind (system bus)", "locked: LockedHint"),
    ("freedesktop", "stand-in KDE: org.freedesktop.ScreenSaver", "screen saver active"),
    ("gnome", "stand-in GNOME: org.gnome.ScreenSaver", "shield up: Active"),
    ("mutter", "stand-in mutter: DisplayConfig", "monitors off: PowerSaveMode 3"),
]
X11 = "X11: Xvfb + openbox"
MUTTER = "mutter 43, Wayland headless (XWayland)"
KWIN = "KWin 5.27, Wayland virtual (XWayland)"


@contextlib.contextmanager
def stand_in(source):
    """A session bus and a system bus of their own, with the stand-in for `source` on its bus."""
    with tempfile.TemporaryDirectory(prefix="qv-buses-") as root:
        buses = StandInSession(root)
        try:
            buses.start(source)
            yield buses
        finally:
            buses.close()


def subjects(before):
    linux, conky = ds.subjects(True)[0], ds.subjects(True)[1]
    out = [dict(linux, label="qv-tickspan")]
    if before:
        out.append(dict(linux, name="before", label="qv-tickspan before",
                        argv=lambda wd: [str(before)]))
    return out + [dict(conky, label="conky")]


def measure_state(desk, subject, hide, seconds, warmup):
    """Wake-ups a second and CPU of `subject` over `seconds`, once `hide` has had its effect
    (a second and a half after it), and the screen shown again afterwards."""
    with ds.running(desk, subject, warmup, "-rest") as (tag, _watcher):
        hide(True)
        try:
            time.sleep(1.5)
            before = du.sample(tag)
            t0 = time.monotonic()
            time.sleep(seconds)
            after = du.sample(tag)
            elapsed = time.monotonic() - t0
        finally:
            hide(False)
    return du.usage(before, after, elapsed)


def rest_rows(args):
    """{(desktop, state): {subject label: usage}} for every desktop and state measured."""
    rows = {}

    def add(desktop, state, desk, subject, hide):
        print(f"{desktop}, {state}: {subject['label']}", file=sys.stderr)
        rows.setdefault((desktop, state), {}).setdefault(subject["label"], []).append(
            measure_state(desk, subject, hide, args.seconds, args.warmup))

    nothing = lambda hidden: None  # noqa: E731
    for _ in range(args.runs):
        with ds.quiet_desktop() as desk:
            saver = lambda hidden: ds.xset(desk, "activate" if hidden else "reset")  # noqa
            for s in subjects(args.before):
                add(X11, "screen on", desk, s, nothing)
                add(X11, "X screen saver active", desk, s, saver)
            for source, desktop, state in STANDIN_STATES:
                with stand_in(source) as buses:
                    for s in subjects(None):
                        add(desktop, state, desk, dict(s, env=buses.env({})),
                            lambda hidden: buses.hide(source, hidden))
        if not args.skip_wayland:
            with MutterWayland() as mutter:
                for s in subjects(None):
                    add(MUTTER, "screen on", mutter, s, nothing)
                    add(MUTTER, "monitors off: PowerSaveMode 3", mutter, s, mutter.hide_screen)
            for s in subjects(None):
                # KWin's lock ends only through its greeter: a desktop of its own each.
                with KwinWayland() as kwin:
                    add(KWIN, "locked: org.freedesktop.ScreenSaver Lock", kwin, s,
                        kwin.hide_screen)
    return {key: {label: {k: statistics.median(u[k] for u in runs) for k in runs[0]}
                  for label, runs in by_subject.items()} for key, by_subject in rows.items()}


def unlock_latencies(desk, env, hide, count, sent_at=None):
    """Milliseconds from each unlock to the first title the X server shows after it, and how
    many of those titles were current (showed a second that had begun when the unlock went
    out). An unlock starts when `sent_at()` says its signal went out, or else when it is asked
    for."""
    lags, current = [], 0
    subject = dict(ds.subjects(True)[0], env=env)
    with ds.running(desk, subject, 1.0, "-unlock") as (_tag, watcher):
        for _ in range(count):
            hide(True)
            time.sleep(1.5)
            seen = len(watcher.events)
            t0 = ds.boottime()
            hide(False)
            event = wait_for(lambda: next((e for e in watcher.events[seen:] if e[2]), None),
                             what="the title after the unlock")
            if sent_at:
                t0 = sent_at()
            lags.append((event[0] - t0) * 1000.0)
            # Current: the second it shows had begun when the unlock went out.
            current += int(t0) <= ds.shown_second(event[2]) <= event[0]
            time.sleep(0.3)
    return lags, current


def private_kib(pid):
    return du.memory_kib(pid)[1]


def peak_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        return int(next(line for line in f if line.startswith("VmHWM:")).split()[1])


def flood(desk, source, count, per_second):
    """A stand-in that floods the program with changes of its state, ending visible and then
    hidden: the program's CPU and wake-ups during the first flood, its memory before and after
    both, and whether it was awake and resting as the floods last said."""
    with stand_in(source) as buses:
        subject = dict(ds.subjects(True)[0], env=buses.env({}))
        with ds.running(desk, subject, 2.0, "-flood") as (tag, _watcher):
            pid = min(ds.tagged_pids(tag))
            memory = [private_kib(pid)]
            before = du.sample(tag)
            t0 = time.monotonic()
            took = buses.control(source, "Flood", count, per_second, False,
                                 signature="uub", timeout=count / per_second * 3 + 30)
            after = du.sample(tag)
            elapsed = time.monotonic() - t0
            awake = wake_ups(pid, 2.0)
            buses.control(source, "Flood", count, per_second, True, signature="uub",
                          timeout=count / per_second * 3 + 30)
            time.sleep(1.5)
            resting = wake_ups(pid, 3.0)
            memory += [private_kib(pid), peak_kib(pid)]
    return {"source": source, "signals": count, "sent_per_s": count / took,
            **du.usage(before, after, elapsed), "private_kib_before": memory[0],
            "private_kib_after": memory[1], "peak_rss_kib": memory[2],
            "wake_ups_after_visible": awake, "wake_ups_after_hidden": resting}


REST_COLUMNS = [("switches_per_s", "wake-ups/s", "{:.2f}"),
                ("cpu_sched_percent", "CPU, % of a core", "{:.3f}")]


def rest_table(rows):
    labels = []
    for by_subject in rows.values():
        labels += [label for label in by_subject if label not in labels]
    head = "| desktop | state | " + " | ".join(
        f"{label} {title}" for label in labels for _, title, _ in REST_COLUMNS) + " |"
    table = [head, "|---|---|" + "---|" * (len(labels) * len(REST_COLUMNS))]
    for (desktop, state), by_subject in rows.items():
        cells = [fmt.format(by_subject[label][key]) if label in by_subject else "–"
                 for label in labels for key, _, fmt in REST_COLUMNS]
        table.append(f"| {desktop} | {state} | " + " | ".join(cells) + " |")
    return table


def write_results(args, rows, latency, floods):
    RESULTS.mkdir(parents=True, exist_ok=True)
    (RESULTS / "desktop-rest.json").write_text(json.dumps(
        {"rows": [{"desktop": d, "state": s, "subjects": v} for (d, s), v in rows.items()],
         "unlocks": latency, "floods": floods, "seconds": args.seconds, "runs": args.runs},
        indent=2))
    lines = [f"While the session says nobody sees the screen: medians of {args.runs} runs of "
             f"{args.seconds} s each, measured from 1.5 s after the screen was hidden; 2-core "
             f"machine. Wake-ups are voluntary context switches (/proc/PID/status), CPU the "
             f"scheduler's run time (/proc/PID/schedstat). The program has Always On Top ticked, "
             f"as it first starts. Stand-ins: private session and system buses "
             f"(dbus-daemon) with the services of tests/desktop/buses.py.", "",
             *rest_table(rows), ""]
    all_lags = [x for lags, _ in latency.values() for x in lags]
    if all_lags:
        current = sum(c for _, c in latency.values())
        each = ", ".join(f"{k} {percentile(v[0], 99):.1f} ms over {len(v[0])}"
                         for k, v in latency.items())
        lines.append(f"- From each unlock (a stand-in's signal going out; the call that sets the "
                     f"real mutter's PowerSaveMode to 0) to the first title the X server shows: "
                     f"p99 {percentile(all_lags, 99):.1f} ms, median "
                     f"{statistics.median(all_lags):.1f} ms, longest {max(all_lags):.1f} ms over "
                     f"{len(all_lags)} unlocks (p99 by service: {each}); {current} of those "
                     f"titles were current (showed a second that had begun when the unlock "
                     f"went out).")
    for f in floods:
        lines.append(
            f"- A flood of {f['signals']} {f['source']} signals at {f['sent_per_s']:.0f} a "
            f"second: the program used {f['cpu_sched_percent']:.1f} % of a core and woke "
            f"{f['switches_per_s']:.0f} times a second meanwhile; private memory "
            f"{f['private_kib_before']} KiB before, {f['private_kib_after']} KiB after two "
            f"floods (peak RSS {f['peak_rss_kib']} KiB); afterwards {f['wake_ups_after_visible']:.0f}"
            f" wake-ups a second when the flood ended visible, {f['wake_ups_after_hidden']:.1f} "
            f"when it ended hidden.")
    (RESULTS / "desktop-rest.md").write_text("\n".join(lines) + "\n")
    print((RESULTS / "desktop-rest.md").read_text())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=int, default=10)
    ap.add_argument("--warmup", type=float, default=2.0)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--unlocks", type=int, default=25, help="unlocks per stand-in service")
    ap.add_argument("--flood-seconds", type=int, default=10)
    ap.add_argument("--before", type=Path, default=DEFAULT_BEFORE,
                    help="the program as built before, for X11's figures beside")
    ap.add_argument("--skip-wayland", action="store_true", help="no real mutter or KWin")
    ap.add_argument("--unlocks-only", action="store_true",
                    help="measure the unlocks anew, keeping the other figures of the last results")
    args = ap.parse_args()
    if not args.before.exists():
        args.before = None
    if args.unlocks_only:
        saved = json.loads((RESULTS / "desktop-rest.json").read_text())
        rows = {(r["desktop"], r["state"]): r["subjects"] for r in saved["rows"]}
        floods, args.seconds, args.runs = saved["floods"], saved["seconds"], saved["runs"]
    else:
        rows = rest_rows(args)
    latency = {}
    with ds.quiet_desktop() as desk:
        for source, _, _ in STANDIN_STATES:
            with stand_in(source) as buses:
                latency[source] = unlock_latencies(
                    desk, buses.env({}), lambda hidden: buses.hide(source, hidden),
                    args.unlocks, lambda: buses.control(source, "LastChange"))
        if not args.unlocks_only:
            floods = [flood(desk, source, 10000 * args.flood_seconds, 10000)
                      for source in ("freedesktop", "mutter")]
    if not args.skip_wayland:
        with MutterWayland() as mutter:
            latency["mutter (real)"] = unlock_latencies(mutter, mutter.env, mutter.hide_screen,
                                                        args.unlocks)
    write_results(args, rows, latency, floods)


if __name__ == "__main__":
    main()
