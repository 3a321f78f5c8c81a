"""The Linux program on the desktops people run, each started headless and ended by the suite:
GNOME's mutter and gnome-shell, KDE's KWin, on Wayland (the program through XWayland) and on
X11, weston, and twm, which reports no frame. `python3 -m desktops` runs every check on every
desktop it applies to and writes the table of results (see __main__.py).

To add a check: a function in checks.py and a line in CHECKS saying where it applies. To add a
desktop: a Session subclass in sessions.py and a place in DESKTOPS. The suite needs Debian's own
python3 (python3-dbus, python3-xlib) and tests/ on its path, for the desktop module."""

from .checks import CHECKS, Check, Context
from .sessions import DESKTOPS, Refused, Session, adopt_orphans

__all__ = ["CHECKS", "Check", "Context", "DESKTOPS", "Refused", "Session", "adopt_orphans"]
