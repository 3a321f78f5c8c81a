"""A private X desktop for the end-to-end tests and the desktop benchmark: Xvfb on a free display
number with openbox on it and a home folder of its own, queried and driven with xdotool, wmctrl,
xprop, xwininfo and ImageMagick; for the Windows program also a private Wine prefix. Private
message buses with stand-ins for the session's services are in desktop.buses; what /proc tells
of processes, in desktop.processes.

Every process started here is ended here, by its own handle; nothing else is touched. A missing
tool is a failure, never a skip. The tests import it as `desktop` (CTest puts tests/ on
PYTHONPATH); the benchmark puts tests/ on its path itself."""

from .buses import no_buses
from .processes import children, command_line, descendants, voluntary_switches, wake_ups
from .programs import (WIDEST_UPTIME_S, App, Registry, read_store, shown_seconds, uptime_prefix,
                       write_store)
from .queries import XQueries
from .session import Desktop, PropertySpy, WineDesktop
from .xserver import (DISABLED_TITLE, NET_S, PACKAGES_HINT, REQUIRED_TOOLS, RUNNING_TITLE, SCREEN,
                      TOOLS, WINE_TOOLS, connect, redirect_held, require_tools, start_openbox,
                      start_xvfb, stop, wait_for)

__all__ = ["App", "Desktop", "DISABLED_TITLE", "NET_S", "PACKAGES_HINT", "PropertySpy",
           "REQUIRED_TOOLS", "RUNNING_TITLE", "Registry", "SCREEN", "TOOLS", "WIDEST_UPTIME_S",
           "WINE_TOOLS", "WineDesktop", "XQueries", "children", "command_line", "connect",
           "descendants", "no_buses", "read_store", "redirect_held", "require_tools",
           "shown_seconds", "start_openbox", "start_xvfb", "stop", "uptime_prefix",
           "voluntary_switches", "wait_for", "wake_ups", "write_store"]
