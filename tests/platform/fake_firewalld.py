#!/usr/bin/python3
"""fake_firewalld.py BUS_ADDRESS: owns firewalld's name on a test's bus and answers
the probe's read-only calls from the zones below; "hang0"'s zone never comes."""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.fedoraproject.FirewallD1"
BOUND = {"wlan0": "home", "eth1": "work", "eth3": "trusted"}  # the rest: the default zone
ZONES = {
    "home": {"services": ["ssh", "zorvex"]},
    "work": {"ports": [("22", "tcp"), ("11700-11799", "tcp")]},
    "public": {"services": ["ssh"], "ports": [("11717", "tcp"), ("11718", "udp")]},
    "trusted": {"target": "ACCEPT"},
}


class FirewallD(dbus.service.Object):
    @dbus.service.method(NAME + ".zone", "s", "s", async_callbacks=("ok", "err"))
    def getZoneOfInterface(self, interface, ok, err):
        if interface != "hang0":
            ok(BOUND.get(interface, ""))

    @dbus.service.method(NAME, out_signature="s")
    def getDefaultZone(self):
        return "public"

    @dbus.service.method(NAME + ".zone", in_signature="s", out_signature="a{sv}")
    def getZoneSettings2(self, zone):
        z = ZONES[zone]  # firewalld leaves empty keys out, and sends some the probe skips
        settings = {"version": "", "masquerade": False, "target": z.get("target", "default")}
        for key, signature in (("services", "s"), ("ports", "(ss)")):
            if key in z:
                settings[key] = dbus.Array(z[key], signature=signature)
        return settings


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    service = FirewallD(bus, "/org/fedoraproject/FirewallD1")
    service.name = dbus.service.BusName(NAME, bus)
    print("ready", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
