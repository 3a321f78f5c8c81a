"""The Linux program on the desktops people run, each started headless and ended by the suite:
GNOME's mutter and gnome-shell, KDE's KWin, on Wayland (the program through XWayland) and on
X11, weston, and twm, which reports no frame. `python3 -m desktops` runs every check on every
desktop it applies to and writes the table of results (see __main__.py).

To add a check: a function in checks.py and a line in CHECKS saying where it applies. To add a
desktop: a Session subclass (x11_sessions.py, wayland_sessions.py) and a place in DESKTOPS. The
suite needs Debian's own python3 (python3-dbus, python3-xlib) and tests/ on its path, for the
desktop module."""

from .checks import CHECKS, Check, Context
from .sessions import Refused, Session
from .wayland_sessions import GnomeShellWayland, KwinWayland, MutterWayland, Weston
from .x11_sessions import KwinX11, MutterX11, Twm

# In the table's order, one at a time.
DESKTOPS = [MutterX11, KwinX11, MutterWayland, GnomeShellWayland, KwinWayland, Weston, Twm]

__all__ = ["CHECKS", "Check", "Context", "DESKTOPS", "GnomeShellWayland", "KwinWayland",
           "KwinX11", "MutterWayland", "MutterX11", "Refused", "Session", "Twm", "Weston"]
