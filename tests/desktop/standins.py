"""Stand-ins for the desktop session's services that tell whether anyone sees the screen, each
answering the calls and sending the signals of the real one, on the bus at ADDRESS:

    /usr/bin/python3 standins.py SERVICE ADDRESS [--replace] [--no-session] [--malformed-answers]

SERVICE is login1 (org.freedesktop.login1 with one session, "1", whose LockedHint the shell sets
through SetLockedHint), freedesktop or gnome (org.freedesktop.ScreenSaver or org.gnome.ScreenSaver:
GetActive, SetActive, ActiveChanged) or mutter (org.gnome.Mutter.DisplayConfig: the PowerSaveMode
property, which Properties.Set changes). --replace takes the name from a stand-in that holds it;
--no-session makes logind know no session of any process; --malformed-answers makes the
state's getter answer with a value of the wrong type. It prints "ready" once it owns its name.

Besides, on the same object, org.qvtks.StandIn drives what no real service does on request:
Flood(count, per_second, last) sends `count` changes, hidden and visible by turns, the last one
`last`, at `per_second`, and answers with the seconds it took; Malformed() sends signals of the service's own names with wrong
arguments; LastChange() tells when the last change went out (CLOCK_BOOTTIME, seconds)."""

import sys
import time

import dbus
import dbus.lowlevel
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PROPERTIES = "org.freedesktop.DBus.Properties"
CONTROL = "org.qvtks.StandIn"
SESSION_PATH = "/org/freedesktop/login1/session/_31"  # session "1"

SERVICES = {
    # name, paths, interface, property (None: the Active state) and its type
    "login1": ("org.freedesktop.login1", [SESSION_PATH], "org.freedesktop.login1.Session",
               "LockedHint", "b"),
    "freedesktop": ("org.freedesktop.ScreenSaver", ["/org/freedesktop/ScreenSaver", "/ScreenSaver"],
                    "org.freedesktop.ScreenSaver", None, "b"),
    "gnome": ("org.gnome.ScreenSaver", ["/org/gnome/ScreenSaver"], "org.gnome.ScreenSaver", None,
              "b"),
    "mutter": ("org.gnome.Mutter.DisplayConfig", ["/org/gnome/Mutter/DisplayConfig"],
               "org.gnome.Mutter.DisplayConfig", "PowerSaveMode", "i"),
}


class Service:
    """What the stand-ins share: their state, and how a change of it goes out as a signal."""

    def __init__(self, bus, kind):
        self.bus = bus
        self.name, self.paths, self.interface, self.prop, self.type = SERVICES[kind]
        self.value = dbus.Int32(0) if self.type == "i" else dbus.Boolean(False)
        self.malformed_answers = False
        self.changed_at = 0.0  # CLOCK_BOOTTIME when the last change went out

    def hidden_value(self, hidden):
        if self.type == "i":
            return dbus.Int32(3 if hidden else 0)
        return dbus.Boolean(hidden)

    def change_message(self, path, value):
        if self.prop is None:
            m = dbus.lowlevel.SignalMessage(path, self.interface, "ActiveChanged")
            m.append(value, signature="b")
        else:
            m = dbus.lowlevel.SignalMessage(path, PROPERTIES, "PropertiesChanged")
            m.append(self.interface, {self.prop: value}, dbus.Array([], signature="s"),
                     signature="sa{sv}as")
        return m

    def set(self, value):
        self.value = value
        self.changed_at = time.clock_gettime(time.CLOCK_BOOTTIME)
        for path in self.paths:
            self.bus.send_message(self.change_message(path, value))

    def flood(self, count, per_second, last):
        start = time.monotonic()
        for i in range(count):
            hidden = bool(last) if (count - 1 - i) % 2 == 0 else not last
            self.bus.send_message(self.change_message(self.paths[0], self.hidden_value(hidden)))
            if i % 100 == 99:
                self.bus.flush()
                ahead = start + (i + 1) / per_second - time.monotonic()
                if ahead > 0:
                    time.sleep(ahead)
        self.value = self.hidden_value(bool(last))
        self.bus.flush()
        return time.monotonic() - start

    def malformed(self):
        path = self.paths[0]
        iface = self.interface if self.prop is None else PROPERTIES
        member = "ActiveChanged" if self.prop is None else "PropertiesChanged"
        bodies = [("s", ["true"]), ("i", [1]), ("", []), ("bb", [True, True]), ("v", [True]),
                  ("sa{sv}as", [self.interface, {self.prop or "Active": "3"}, []]),
                  ("sa{sv}as", [self.interface, {self.prop or "Active": dbus.Int64(1)}, []]),
                  ("sa{ss}as", [self.interface, {self.prop or "Active": "1"}, []]),
                  ("sa{sv}", [self.interface, {self.prop or "Active": True}]),
                  ("s", [self.interface]), ("as", [["x"]]),
                  ("sa{sv}as", ["other.Interface", {self.prop or "Active": self.hidden_value(True)},
                                []])]
        for signature, args in bodies:
            m = dbus.lowlevel.SignalMessage(path, iface, member)
            if args:
                m.append(*args, signature=signature)
            self.bus.send_message(m)
        self.bus.flush()


def make_object(service):
    iface = service.interface

    class StandIn(dbus.service.Object):
        @dbus.service.method(CONTROL, in_signature="uub", out_signature="d")
        def Flood(self, count, per_second, last):
            return service.flood(count, per_second, last)

        @dbus.service.method(CONTROL)
        def Malformed(self):
            service.malformed()

        @dbus.service.method(CONTROL, out_signature="d")
        def LastChange(self):
            return service.changed_at

        @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
        def Get(self, interface, prop):
            if interface != iface or prop != service.prop:
                raise dbus.exceptions.DBusException("no such property",
                                                    name="org.freedesktop.DBus.Error.InvalidArgs")
            return dbus.String("3") if service.malformed_answers else service.value

        @dbus.service.method(PROPERTIES, in_signature="ssv")
        def Set(self, interface, prop, value):
            if interface != iface or prop != service.prop:
                raise dbus.exceptions.DBusException("no such property",
                                                    name="org.freedesktop.DBus.Error.InvalidArgs")
            service.set(dbus.Int32(value) if service.type == "i" else dbus.Boolean(value))

        # logind's session: the shell sets the hint once its lock screen is up.
        @dbus.service.method("org.freedesktop.login1.Session", in_signature="b")
        def SetLockedHint(self, locked):
            service.set(dbus.Boolean(locked))

        # The screen savers.
        @dbus.service.method(iface)
        def GetActive(self):
            return dbus.String("yes") if service.malformed_answers else service.value

        @dbus.service.method(iface, in_signature="b", out_signature="b")
        def SetActive(self, active):
            service.set(dbus.Boolean(active))
            return True

    return StandIn


def make_manager(no_session):
    class Manager(dbus.service.Object):
        def _session(self):
            if no_session:
                raise dbus.exceptions.DBusException(
                    "no session", name="org.freedesktop.login1.NoSessionForPID")
            return dbus.ObjectPath(SESSION_PATH)

        @dbus.service.method("org.freedesktop.login1.Manager", in_signature="s", out_signature="o")
        def GetSession(self, session_id):
            if session_id != "1":
                raise dbus.exceptions.DBusException(
                    f"no session {session_id}", name="org.freedesktop.login1.NoSuchSession")
            return self._session()

        @dbus.service.method("org.freedesktop.login1.Manager", in_signature="u", out_signature="o")
        def GetSessionByPID(self, pid):
            return self._session()

    return Manager


def main():
    kind, address = sys.argv[1], sys.argv[2]
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    service = Service(bus, kind)
    service.malformed_answers = "--malformed-answers" in sys.argv
    objects = [make_object(service)(bus, path) for path in service.paths]
    if kind == "login1":
        objects.append(make_manager("--no-session" in sys.argv)(bus, "/org/freedesktop/login1"))
    flags = dbus.bus.NAME_FLAG_ALLOW_REPLACEMENT | dbus.bus.NAME_FLAG_DO_NOT_QUEUE
    if "--replace" in sys.argv:
        flags |= dbus.bus.NAME_FLAG_REPLACE_EXISTING
    if bus.request_name(service.name, flags) != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        sys.exit(f"cannot own {service.name}")
    print("ready", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
