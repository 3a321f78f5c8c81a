"""Xvfb on a free display number and openbox on it, the tools they need, and waiting."""

import os
import random
import re
import select
import shutil
import subprocess
import time

TOOLS = ["Xvfb", "openbox", "xdotool", "wmctrl", "xprop", "xwininfo", "xmessage", "import",
         "convert"]
WINE_TOOLS = TOOLS + ["wine", "wineserver", "wineboot"]
REQUIRED_TOOLS = WINE_TOOLS
PACKAGES_HINT = "Debian packages: xvfb openbox xdotool wmctrl x11-utils x11-apps imagemagick wine"
SCREEN = (1280, 800)
RUNNING_TITLE = re.compile(r"^QV-TICKSPAN: (\d+)d, (\d+)h, (\d+)m, (\d+)s$")
DISABLED_TITLE = "QV-TICKSPAN: TIMERS DISABLED !!!"


def require_tools(tools=TOOLS, hint="scripts/test installs them"):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        raise AssertionError("missing tools: " + ", ".join(missing) + f" ({hint})")


# The least time any wait allows. A wait is a net for a fault (an event that never comes), not
# a measurement: on a loaded machine events come late and are still waited for. How fast things
# happen is the benchmarks' business.
NET_S = 30


def wait_for(predicate, timeout=NET_S, interval=0.05, what="condition"):
    """Polls until predicate() returns something true, and returns it; fails when it has not
    after max(timeout, NET_S) seconds."""
    limit = max(timeout, NET_S)
    deadline = time.monotonic() + limit
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"nothing after {limit} s of waiting for {what}")
        time.sleep(interval)


def stop(proc, grace=5):
    """Ends a process started here: politely, then for sure."""
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def start_xvfb(width, height):
    """(process, display number) of a new Xvfb screen of width x height pixels."""
    # NOTE: a display number is taken at random, not the lowest free one: an X server that is
    # shutting down removes its socket after releasing its number, and would remove the socket
    # of a new server that took the same number meanwhile.
    for _ in range(20):
        number = random.randrange(100, 30000)
        if os.path.exists(f"/tmp/.X{number}-lock"):
            continue
        read_end, write_end = os.pipe()
        # NOTE: -noreset: without it the server resets whenever its last client leaves (an
        # xprop between two tests), and a client connecting meanwhile is refused.
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0",
             f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        if _read_display_number(read_end) == f"{number}\n".encode():
            return xvfb, number
        stop(xvfb, 0)  # the number was taken after all, or the server hangs
    raise AssertionError("Xvfb did not start")


def _read_display_number(read_end):
    # NOTE: Xvfb writes the number and the newline separately, and gives up when the pipe is
    # gone before the newline: read up to it. A loaded machine may take long to get there.
    answer = b""
    deadline = time.monotonic() + 60
    while not answer.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], max(0, deadline - time.monotonic()))
        chunk = os.read(read_end, 16) if ready else b""
        if not chunk:
            break
        answer += chunk
    os.close(read_end)
    return answer


def connect(display_name):
    """A python-xlib connection to the display."""
    from Xlib import display
    from Xlib.protocol import display as protocol, event
    # NOTE: python-xlib keeps the extensions' event codes in one table for every connection,
    # and servers number their extensions' events differently: a connection to a second server
    # then fails. Each connection starts from the core events.
    protocol.Display.event_classes = event.event_class.copy()
    return display.Display(display_name)


def redirect_held(display_name):
    """True once some client of the display (a window manager, EWMH or not) holds the root
    window's redirection: asking for it then fails."""
    from Xlib import X
    refused = []
    server = connect(display_name)
    server.set_error_handler(lambda error, request: refused.append(error))
    try:
        server.screen().root.change_attributes(event_mask=X.SubstructureRedirectMask)
        server.sync()
        return bool(refused)
    finally:
        server.close()


def start_openbox(env, log=subprocess.DEVNULL):
    """openbox on env's DISPLAY, once it has announced itself on the root window."""
    openbox = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=log,
                               stderr=subprocess.STDOUT)

    def ready():
        if openbox.poll() is not None:
            raise AssertionError(f"openbox ended with {openbox.returncode} on {env['DISPLAY']}")
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                             capture_output=True, text=True).stdout
        return "window id" in out

    try:
        wait_for(ready, what="openbox on " + env["DISPLAY"])
    except BaseException:
        stop(openbox, 0)
        raise
    return openbox


