"""Private message buses for the end-to-end tests and the benchmark: a dbus-daemon with a
configuration of its own, as the session bus or as the system bus, and the stand-in services of
standins.py on it. Needs Debian's python3-dbus and python3-gi (run under /usr/bin/python3)."""

import os
import select
import subprocess
import sys
import time

from .xserver import NET_S, stop

STANDINS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "standins.py")

CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>{kind}</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def no_buses(env, root):
    """`env` for a program that must hear no bus of the machine's (a developer's session that
    locks would make it rest): both bus addresses name sockets that do not exist, and there is
    no login session."""
    out = dict(env, DBUS_SESSION_BUS_ADDRESS=f"unix:path={root}/no-session-bus",
               DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={root}/no-system-bus")
    out.pop("XDG_SESSION_ID", None)
    return out


def _read_line(stream, what):
    """The first line a child prints, waited for as an event."""
    deadline = time.monotonic() + NET_S
    line = b""
    while not line.endswith(b"\n"):
        ready, _, _ = select.select([stream], [], [], max(0, deadline - time.monotonic()))
        chunk = os.read(stream.fileno(), 4096) if ready else b""
        if not chunk:
            raise AssertionError(f"nothing from {what}")
        line += chunk
    return line.decode().strip()


class PrivateBus:
    """A dbus-daemon of its own: kind "session" or "system" (for the program, only the address
    it is given tells them apart)."""

    def __init__(self, root, kind):
        self.kind = kind
        self.socket = os.path.join(root, f"{kind}-bus")
        config = os.path.join(root, f"{kind}-bus.conf")
        with open(config, "w") as f:
            f.write(CONFIG.format(kind=kind, socket=self.socket))
        self.proc = subprocess.Popen(
            ["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.standins = []
        self._client = None
        try:
            self.address = _read_line(self.proc.stdout, f"the {kind} bus")
        except BaseException:
            self.close()
            raise

    def stand_in(self, service, *flags):
        s = StandIn(self, service, *flags)
        self.standins.append(s)
        return s

    @property
    def client(self):
        """A connection of the test's own, for calls to the stand-ins."""
        if self._client is None:
            import dbus
            self._client = dbus.bus.BusConnection(self.address)
        return self._client

    def call(self, name, path, interface, method, *args, signature=None, timeout=NET_S):
        proxy = self.client.get_object(name, path, introspect=False)
        options = {"signature": signature} if signature else {}
        return proxy.get_dbus_method(method, interface)(*args, timeout=timeout, **options)

    def owner_of_pid(self, pid):
        """The unique name of the connection that process `pid` holds on this bus."""
        daemon = ("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus")
        for name in self.call(*daemon, "ListNames"):
            if name.startswith(":") and self.call(*daemon, "GetConnectionUnixProcessID",
                                                  name) == pid:
                return str(name)
        return None

    def close(self):
        for s in self.standins:
            s.stop()
        if self._client is not None:
            self._client.close()
            self._client = None
        stop(self.proc)
        if self.proc.stdout:
            self.proc.stdout.close()


class StandIn:
    """One stand-in service on a private bus, started and waited for until it owns its name."""

    def __init__(self, bus, service, *flags):
        self.bus = bus
        self.proc = subprocess.Popen([sys.executable, STANDINS, service, bus.address, *flags],
                                     stdout=subprocess.PIPE)
        try:
            line = _read_line(self.proc.stdout, f"the {service} stand-in")
            if line != "ready":
                raise AssertionError(f"the {service} stand-in said {line!r}")
        except BaseException:
            self.stop()
            raise

    def stop(self):
        stop(self.proc)
        if self.proc.stdout:
            self.proc.stdout.close()


# How each stand-in service is made to say that the screen is hidden or not, as its desktop
# does: the shell sets the session's LockedHint, the savers are set active, mutter's monitors
# are put into power-saving mode 3 (off) or back to 0.
SOURCES = {
    "login1": ("system", "org.freedesktop.login1", "/org/freedesktop/login1/session/_31",
               "org.freedesktop.login1.Session", "SetLockedHint"),
    "freedesktop": ("session", "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                    "org.freedesktop.ScreenSaver", "SetActive"),
    "gnome": ("session", "org.gnome.ScreenSaver", "/org/gnome/ScreenSaver",
              "org.gnome.ScreenSaver", "SetActive"),
    "mutter": ("session", "org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
               "org.freedesktop.DBus.Properties", "Set"),
}


class StandInSession:
    """A session bus and a system bus of their own, and the stand-ins started on them."""

    def __init__(self, root):
        self.session = self.system = None
        try:
            self.session = PrivateBus(root, "session")
            self.system = PrivateBus(root, "system")
        except BaseException:
            self.close()
            raise

    def env(self, base, session_id="1"):
        """`base` with both buses, in the stand-in logind's session "1" unless told."""
        out = dict(base, DBUS_SESSION_BUS_ADDRESS=self.session.address,
                   DBUS_SYSTEM_BUS_ADDRESS=self.system.address)
        out.pop("XDG_SESSION_ID", None)
        if session_id is not None:
            out["XDG_SESSION_ID"] = session_id
        return out

    def bus_of(self, source):
        return getattr(self, SOURCES[source][0])

    def start(self, source, *flags):
        return self.bus_of(source).stand_in(source, *flags)

    def hide(self, source, hidden=True):
        import dbus
        _, name, path, interface, method = SOURCES[source]
        bus = self.bus_of(source)
        if source == "mutter":
            bus.call(name, path, interface, method, "org.gnome.Mutter.DisplayConfig",
                     "PowerSaveMode", dbus.Int32(3 if hidden else 0), signature="ssv")
        else:
            bus.call(name, path, interface, method, dbus.Boolean(hidden))

    def control(self, source, method, *args, signature=None, timeout=NET_S):
        """A call of the stand-in's own test interface (Flood, Malformed)."""
        _, name, path, _, _ = SOURCES[source]
        return self.bus_of(source).call(name, path, "org.qvtks.StandIn", method, *args,
                                        signature=signature, timeout=timeout)

    def close(self):
        for bus in (self.session, self.system):
            if bus is not None:
                bus.close()
