"""How stale the figure a subject shows is: for each change of its window the X server reports,
the time since the second it shows began."""

import statistics

from desktop_subjects import shown_second


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
        shown = shown_second(title)
        if shown is None or title == last:
            last = title
            continue
        last = title
        lags.append((now - shown) * 1000.0)
    return lags


def coalesce(events, gap=0.1):
    """Damage arrives in bursts for one redraw: keep the first event of each burst."""
    out = []
    for e in events:
        if not out or e[0] - out[-1][0] > gap:
            out.append(e)
    return out


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
