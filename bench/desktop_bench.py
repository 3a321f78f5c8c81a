#!/usr/bin/python3
"""Side-by-side desktop benchmark; run through bench/desktop, which installs and builds first.

Each subject (desktop_subjects) runs alone on a private Xvfb + openbox display for a warm-up and
then a measured interval: what it costs (desktop_usage) and how stale its display is
(desktop_lag), with the screen on and then under the screen saver (desktop_saver); then the
Linux program's start-up time and memory over a long run (desktop_startup).
"""

import argparse
import json
import os
import subprocess
import sys
import time

from desktop_lag import display_lags, lag_figures
from desktop_results import RESULTS, median_table
from desktop_saver import saver_runs, write_saver_results
from desktop_startup import private_growth, startup_ms
from desktop_subjects import LINUX_EXE, WINDOWS_EXE, quiet_desktop, running, subjects
from desktop_usage import memory_kib, sample, usage


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
