"""Runs every check on every desktop it applies to, one desktop at a time, and writes the table.

    python3 -m desktops --exe build/linux/qv-tickspan [--table docs/desktops.md]
                        [--shots DIR] [--only NAME,...]

Prints one line per check and a closing 'N passed, N failed'; exits 1 on any failure."""

import argparse
import os
import sys
import tempfile
import time
import traceback

from . import DESKTOPS
from .checks import CHECKS, Context
from .sessions import Refused


def run_desktop(cls, ctx, results):
    """Runs the checks on one desktop, at each of its DPIs; results[(name, column)] = (ok,
    text)."""
    for dpi in cls.dpis:
        checks = [c for c in CHECKS if c.applies(cls) and (dpi == cls.dpis[0] or
                                                           c.column == "caption")]
        started = time.monotonic()
        try:
            session = cls(dpi)
        except Refused as e:
            for c in checks:
                report(results, cls, c.column, dpi, None, f"refused: {e}")
            continue
        except Exception as e:  # a desktop that does not start fails all its checks
            for c in checks:
                report(results, cls, c.column, dpi, False, f"desktop did not start: {e}")
            continue
        with session:
            ready = time.monotonic() - started
            for c in checks:
                try:
                    report(results, cls, c.column, dpi, True, c.run(session, ctx))
                except Exception as e:
                    traceback.print_exc()
                    report(results, cls, c.column, dpi, False, str(e).splitlines()[0][:200])
        spent = time.monotonic() - started
        SECONDS[cls.name] = SECONDS.get(cls.name, 0) + spent
        print(f"   {cls.title} at {dpi} DPI: ready in {ready:.1f} s, {spent:.1f} s in all",
              flush=True)


SECONDS = {}  # each desktop's time, its checks included


def report(results, cls, column, dpi, ok, text):
    key = column if dpi == 96 else f"{column}, {dpi} DPI"
    results[(cls.name, key)] = (ok, text)
    mark = {True: "PASS", False: "FAIL", None: "REFUSED"}[ok]
    print(f"{mark} {cls.name}: {key}: {text}", flush=True)


def columns(results):
    seen = []
    for c in CHECKS:
        for key in [k for _, k in results]:
            if (key == c.column or key.startswith(c.column + ",")) and key not in seen:
                seen.append(key)
    return seen


def table(results, seconds):
    cols = columns(results)
    lines = ["# The Linux program on the desktops people run", "",
             "Written by `scripts/test --desktops` (`tests/desktops`), which starts each desktop "
             "headless, one at a time, runs the program on it black-box, and ends it. "
             f"This run: {time.strftime('%Y-%m-%d', time.gmtime())}, {seconds:.0f} s in all. "
             "✓ passed, ✗ failed, — does not apply.", "",
             "| desktop | " + " | ".join(cols) + " | seconds |",
             "|---|" + "---|" * (len(cols) + 1)]
    for cls in DESKTOPS:
        if not any(name == cls.name for name, _ in results):
            continue
        cells = []
        for col in cols:
            ok, text = results.get((cls.name, col), (None, None))
            cells.append("—" if text is None else
                         {True: "✓ ", False: "✗ ", None: "refused: "}[ok] +
                         text.replace("refused: ", "").replace("|", "\\|"))
        lines.append(f"| {cls.title} | " + " | ".join(cells) +
                     f" | {SECONDS.get(cls.name, 0):.0f} |")
    lines += ["", "- caption: the title bar read by OCR (tesseract) at an uptime of 9999 days, "
              "23 hours and 58 minutes (a time namespace), with the window's outer width.",
              "- About opens: a double-click (XTEST) on the strip below the title bar; not on "
              "weston, whose XWayland ends on an XTEST click.",
              "- on top of X11: with Always On Top, above another program's window that held "
              "the topmost band and the foreground, in _NET_CLIENT_LIST_STACKING.",
              "- on top of Wayland: above weston-terminal, maximised, seen in the compositor's "
              "screenshot (gnome-shell's and KWin's D-Bus screenshot interfaces).",
              "- position round trip: three starts, each ended by SIGTERM without a move; the "
              "stored place in pixels at 96 DPI, before and after each.",
              "- rests: the program's wake-ups a second (voluntary context switches) while the "
              "desktop says nobody sees the screen, over 5 s; where the screen comes back, its "
              "first title then shows a second that had begun.",
              "- seconds: the desktop's start, its checks and its end."]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(prog="python3 -m desktops")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--table")
    parser.add_argument("--shots", default=os.path.join(tempfile.gettempdir(), "qv-desktops"))
    parser.add_argument("--only", help="desktops to run, by name, comma-separated")
    args = parser.parse_args()
    args.shots = os.path.abspath(args.shots)
    os.makedirs(args.shots, exist_ok=True)
    only = set(args.only.split(",")) if args.only else None
    started = time.monotonic()
    results = {}
    ctx = Context(exe=os.path.abspath(args.exe), shots=args.shots)
    for cls in DESKTOPS:
        if not only or cls.name in only:
            run_desktop(cls, ctx, results)
    seconds = time.monotonic() - started
    if args.table:
        with open(args.table, "w", encoding="utf-8") as f:
            f.write(table(results, seconds))
    passed = sum(1 for ok, _ in results.values() if ok)
    failed = sum(1 for ok, _ in results.values() if ok is False)
    refused = sum(1 for ok, _ in results.values() if ok is None)
    print(f"desktops ran in {seconds:.0f} s; {refused} refused by this machine")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
