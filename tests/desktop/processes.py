"""Processes as /proc shows them: the ones below a process, what they run, and how often one
wakes."""

import os
import time


def children(pid):
    """The processes whose parent is pid (none once it has gone)."""
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [int(c) for c in f.read().split()]
    except OSError:
        return []


def descendants(pid):
    out = []
    for child in children(pid):
        out += [child] + descendants(child)
    return out


def command_line(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return []


def descendant_running(pid, exe):
    """The first process below pid that runs the file exe (a resolved path), or None."""
    for child in descendants(pid):
        try:
            if os.path.realpath(f"/proc/{child}/exe") == exe:
                return child
        except OSError:
            continue
    return None


def voluntary_switches(pid):
    """How often the process's main thread has given up the CPU to wait: its wake-ups so far."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    raise AssertionError(f"no switch count for {pid}")


def wake_ups(pid, seconds):
    """Voluntary context switches a second over the next `seconds`."""
    start = voluntary_switches(pid)
    time.sleep(seconds)
    return (voluntary_switches(pid) - start) / seconds
