"""What the suite checks on each desktop. A check is a function of (session, context) that
returns a short text for the table and raises AssertionError with the reason when it fails. It
runs the Linux program black-box: the settings file, the X display and the screen are all it
looks at. CHECKS maps each check's column to it; `applies` says on which desktops it runs."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

import title_ocr
from desktop import (RUNNING_TITLE, WIDEST_UPTIME_S, read_store, shown_seconds, stop,
                     uptime_prefix, wait_for, wake_ups, write_store)

SECTION = "qv-tickspan"
# Where the checks put the window: clear of gnome-shell's top bar and of its notices.
PLACE_TWIPS = {"MAIN_Left": "1500", "MAIN_Top": "4500"}
# The round trip's place: 73 and 94 pixels at 96 DPI.
ROUND_TRIP_TWIPS = ("1095", "1410")
CYCLES = 3


@dataclass
class Context:
    """What the checks of one run share: the program, where screenshots go, and figures one
    check leaves for another (the title font's height at each DPI)."""
    exe: str
    shots: str
    figures: dict = field(default_factory=dict)

    def config(self):
        return tempfile.mkdtemp(prefix="qv-config-")


def running_caption(app):
    return wait_for(lambda: RUNNING_TITLE.match(app.caption() or ""), what="the running caption")


def end(app):
    app.signal(signal.SIGTERM)
    code = app.wait_exit()
    app.stop()
    if code != 0:
        raise AssertionError(f"the program ended with {code}: {app.stderr()}")


def caption(session, ctx):
    """The whole caption read off the title bar at an uptime of nearly 10000 days."""
    config = ctx.config()
    write_store(config, SECTION, PLACE_TWIPS)
    app = session.start_program(ctx.exe, config, prefix=uptime_prefix(WIDEST_UPTIME_S))
    try:
        wait_for(lambda: session.cardinals(app.main, "_NET_FRAME_EXTENTS")
                 or session.name in ("weston", "twm"), what="the frame")
        days = running_caption(app).group(1)
        if days != "9999":
            raise AssertionError(f"the time namespace gave {days} days")
        path = os.path.join(ctx.shots, f"{session.name}-{session.dpi}.png")
        deadline = time.monotonic() + title_ocr.READ_TIMEOUT_S
        while True:
            before = app.caption()
            png, crop = session.title_bar(app.main, path)
            after = app.caption()
            whole, seen = title_ocr.shows_whole(png, crop, [before, after],
                                                title_ocr.CAPTION_WHITELIST)
            if whole or time.monotonic() > deadline:
                break
        # Where the window manager reports no frame (weston), only the client's width is known.
        extents = session.cardinals(app.main, "_NET_FRAME_EXTENTS")
        width = session.outer_rect(app.main)[2] if extents else \
            f"client {session.client_rect(app.main)[2]}"
        height = title_ocr.word_height(png, crop, "TICKSPAN", title_ocr.CAPTION_WHITELIST)
        end(app)
    finally:
        app.stop()
        shutil.rmtree(config, ignore_errors=True)
    if not whole:
        raise AssertionError(f"no whole caption: {before!r} read as {seen} in {crop} of {png}")
    ctx.figures[(session.name, session.dpi)] = {"width": width, "font": height}
    low = ctx.figures.get((session.name, 96), {}).get("font")
    if session.dpi != 96 and low and height:
        if height / low < title_ocr.LEAST_GROWTH:
            raise AssertionError(f"the title font did not grow at {session.dpi} DPI: "
                                 f"{low} -> {height} px")
    return f"whole, {width} px wide"


def about(session, ctx):
    """A double-click on the strip below the title bar opens the About window."""
    config = ctx.config()
    write_store(config, SECTION, PLACE_TWIPS)
    app = session.start_program(ctx.exe, config)
    try:
        running_caption(app)
        window = app.open_about()
        session.close_window(window)
        wait_for(lambda: app.about() is None, what="the About window closed")
        end(app)
    finally:
        app.stop()
        shutil.rmtree(config, ignore_errors=True)
    return "opens"


def on_top_of_x11(session, ctx):
    """With Always On Top, the program takes the topmost band from another program's X11
    window that holds it and is in the foreground, and stays above it in the stacking order."""
    config = ctx.config()
    write_store(config, SECTION, PLACE_TWIPS)
    app = session.start_program(ctx.exe, config)
    other = None
    try:
        running_caption(app)
        other = subprocess.Popen(["xmessage", "-name", "qv-other", "-geometry", "+80+280",
                                  "another program's window"], env=session.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = int(wait_for(lambda: session.search("--classname", "^qv-other$"),
                              what="the other window"))
        session.x("wmctrl", "-i", "-r", str(window), "-b", "add,above", check=True)
        session.activate(window)

        def holds():
            stacking = session.stacking()
            return (window in stacking and app.main in stacking and
                    stacking.index(app.main) > stacking.index(window) and
                    "_NET_WM_STATE_ABOVE" in session.atoms(app.main, "_NET_WM_STATE") and
                    "_NET_WM_STATE_ABOVE" not in session.atoms(window, "_NET_WM_STATE"))
        wait_for(holds, what="the program above the other window")
        end(app)
    finally:
        if other:
            stop(other)
        app.stop()
        shutil.rmtree(config, ignore_errors=True)
    return "holds (stacking list)"


# weston-terminal's shell: fills the whole terminal with magenta blanks and waits.
PAINT_SCRIPT = """#!/bin/sh
printf '\\033[45m'
i=0
while [ $i -lt 200 ]; do printf '%400s' ''; i=$((i + 1)); done
exec sleep 3600
"""


def on_top_of_wayland(session, ctx):
    """With Always On Top, the program shows above a native Wayland window (weston-terminal,
    maximised and painted) that opened after it and took the foreground: seen on the screen."""
    config = ctx.config()
    write_store(config, SECTION, PLACE_TWIPS)
    app = session.start_program(ctx.exe, config)
    terminal = None
    script = os.path.join(config, "paint")
    with open(script, "w") as f:
        f.write(PAINT_SCRIPT)
    os.chmod(script, 0o755)
    try:
        running_caption(app)
        terminal = subprocess.Popen(["weston-terminal", "--maximized", f"--shell={script}"],
                                    env=session.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        x, y, w, h = session.outer_rect(app.main)
        bar = session.frame_band(app.main)
        path = os.path.join(ctx.shots, f"{session.name}-on-top.png")
        state = {}

        def painted(shot, crop):
            colours = session.colours(shot, crop)
            return sum(n for (r, g, b), n in colours.items()
                       if r > 150 and b > 150 and g < 80) * 2 > sum(colours.values())

        def seen():
            session.screenshot(path)
            if terminal.poll() is not None:
                raise AssertionError(f"weston-terminal ended with {terminal.returncode}")
            # The terminal covers the screen around the program...
            state["terminal"] = painted(path, (x, y + h + 40, w, 60))
            # ...and the program's title bar shows over it: its name can be read there.
            state["program"] = not painted(path, (x, y, w, h)) and title_ocr.shows_whole(
                path, bar, ["QV-TICKSPAN"], title_ocr.CAPTION_WHITELIST)[0]
            return state["terminal"] and state["program"]
        try:
            wait_for(seen, what="the program's title over the painted terminal")
        except AssertionError as e:
            raise AssertionError(f"{e}: {state} in {path}") from None
        end(app)
    finally:
        if terminal:
            stop(terminal)
        app.stop()
        shutil.rmtree(config, ignore_errors=True)
    return "holds (screenshot)"


def placed(session, app, twips):
    """True once the client area lies where a frame put at the stored place holds it: right of
    and below that place, by no more than a frame's sides and title bar. Some window managers
    (weston) first put the frame elsewhere and move it there later, without telling."""
    x, y, _, _ = session.client_rect(app.main)
    left, top = (int(t) * session.dpi // 1440 for t in twips)
    return 0 <= x - left <= 64 and 0 <= y - top <= 64


def round_trip(session, ctx):
    """Three starts, each ended by SIGTERM without a move, keep the place that was read."""
    config = ctx.config()
    write_store(config, SECTION, dict(zip(("MAIN_Left", "MAIN_Top"), ROUND_TRIP_TWIPS)))
    places = []
    try:
        for _ in range(CYCLES):
            app = session.start_program(ctx.exe, config)
            try:
                running_caption(app)
                wait_for(lambda: placed(session, app, places[-1] if places else
                                        ROUND_TRIP_TWIPS), what="the window placed")
                end(app)
            finally:
                app.stop()
            store = read_store(config)[SECTION]
            places.append((store["MAIN_Left"], store["MAIN_Top"]))
    finally:
        shutil.rmtree(config, ignore_errors=True)
    shown = " → ".join(f"({int(x) // 15},{int(y) // 15})" for x, y in
                       [ROUND_TRIP_TWIPS] + places)
    if places != [ROUND_TRIP_TWIPS] * CYCLES:
        raise AssertionError(f"the stored place moved: {shown} px")
    return f"{shown} px"


def rests(session, ctx):
    """While the desktop says nobody sees the screen (the monitors off, or the screen locked)
    the program wakes at most 3 times a second; where the screen can come back, the first title
    it shows then is current."""
    config = ctx.config()
    app = session.start_program(ctx.exe, config)
    try:
        running_caption(app)
        session.hide_screen(True)
        wait_for(lambda: wake_ups(app.proc.pid, 1.0) <= 3, what="the program resting")
        rate = wake_ups(app.proc.pid, 5.0)
        if rate > 3:
            raise AssertionError(f"{rate:.1f} wake-ups a second while {session.hidden_state}")
        text = f"{rate:.1f} wake-ups/s while {session.hidden_state}"
        if session.screen_comes_back:
            held = app.caption()
            since = int(time.clock_gettime(time.CLOCK_BOOTTIME))
            session.hide_screen(False)
            first = wait_for(lambda: (app.caption() or held) != held and app.caption(),
                             what="a title after the screen came back")
            if shown_seconds(first) < since:
                raise AssertionError(f"the first title after was {first!r}, from before")
            text += "; current when back"
        end(app)
    finally:
        app.stop()
        shutil.rmtree(config, ignore_errors=True)
    return text


@dataclass
class Check:
    column: str
    run: object
    applies: object  # session class -> bool


CHECKS = [
    Check("caption", caption, lambda s: s.name != "twm"),
    Check("About opens", about, lambda s: s.xtest and s.name != "twm"),
    Check("on top of X11", on_top_of_x11, lambda s: s.name not in ("weston", "twm")),
    Check("on top of Wayland", on_top_of_wayland, lambda s: s.native_wayland),
    Check("position round trip", round_trip, lambda s: True),
    # Last: KWin's lock ends only through its greeter.
    Check("rests", rests, lambda s: s.hidden_state is not None),
]
