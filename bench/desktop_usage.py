"""What a subject costs the machine, from /proc: CPU time (tick-sampled and the scheduler's
exact figure), voluntary context switches (its wake-ups) and memory, summed over its
processes."""

import os

from desktop_subjects import tagged_pids
from desktop import voluntary_switches  # noqa: E402  (desktop_subjects puts tests/ on the path)

CLK_TCK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK  # utime + stime


def scheduled_seconds(pid):
    """Time on a CPU from the scheduler's own clock: exact, where the tick-sampled user and
    system times of /proc/PID/stat over-count a program that wakes in step with the tick."""
    with open(f"/proc/{pid}/schedstat") as f:
        return int(f.read().split()[0]) / 1e9


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
