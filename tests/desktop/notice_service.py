#!/usr/bin/python3
"""A desktop's notification service for the suite: owns
org.freedesktop.Notifications on the session bus it is given and writes each
notice it gets as a JSON line [application, summary, body] to a file.

  notice_service.py FILE   (DBUS_SESSION_BUS_ADDRESS names the bus)"""

import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Notices(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.record = record
        self.count = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.count += 1
        with open(self.record, "a") as f:
            f.write(json.dumps([str(app), str(summary), str(body)]) + "\n")
        return dbus.UInt32(self.count)

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return ("suite", "zorvex", "1", "1.2")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    service = Notices(bus, sys.argv[1])
    service.name = dbus.service.BusName(NAME, bus)  # held while it runs
    print("ready", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
