"""A private X display for end-to-end tests and benchmarks: Xvfb on a free display number and
openbox on it. Every process started here is ended by its own handle; nothing else is touched.
A missing tool is a failure, never a skip."""

import os
import random
import select
import shutil
import subprocess
import time


def require_tools(tools, hint="scripts/test installs them"):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        raise AssertionError("missing tools: " + ", ".join(missing) + f" ({hint})")


def wait_for(predicate, timeout=5.0, interval=0.05, what="condition"):
    """Polls until predicate() returns something true, and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


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
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0",
             f"{width}x{height}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        # NOTE: Xvfb writes the number and the newline separately, and gives up when the pipe
        # is gone before the newline: read up to it.
        answer = b""
        deadline = time.monotonic() + 10
        while not answer.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                break
            answer += chunk
        os.close(read_end)
        if answer == f"{number}\n".encode():
            return xvfb, number
        xvfb.kill()  # the number was taken after all, or the server hangs
        xvfb.wait()
    raise AssertionError("Xvfb did not start")


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
        wait_for(ready, 10, what="openbox on " + env["DISPLAY"])
    except BaseException:
        if openbox.poll() is None:
            openbox.kill()
            openbox.wait()
        raise
    return openbox
