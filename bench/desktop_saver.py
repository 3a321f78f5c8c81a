"""The screen-saver phase of the desktop benchmark: each subject with the X screen saver active,
its CPU and wake-ups meanwhile, and how fresh its display is once the saver ends."""

import json
import sys
import time
from pathlib import Path

from desktop_lag import coalesce, display_lags, lag_figures
from desktop_results import RESULTS, median_table
from desktop_subjects import boottime, running, shown_second, subjects, xset
from desktop_usage import sample, usage


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
        shown = shown_second(later[0][2])
        now = later[0][3] if subject.get("clock") == "raw" else later[0][0]
        if shown is not None:
            current = shown == int(now)
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
