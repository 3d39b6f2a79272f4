#!/usr/bin/python3
"""A stand-in tray host for bench/tray_process.py: owns org.kde.StatusNotifierWatcher on the bus
at the given address, says a host is registered, and prints each item that registers, one a line.
Needs PyGObject (python3-gi).

    bench/status_notifier_watcher.py BUS-ADDRESS
"""
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

INTERFACE = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
</interface></node>"""
PATH = "/StatusNotifierWatcher"
NAME = "org.kde.StatusNotifierWatcher"
items = []


def call(connection, sender, path, interface, method, parameters, invocation):
    if method == "RegisterStatusNotifierItem":
        service = parameters.unpack()[0]
        # An item may register by object path alone; its bus name is then the caller's.
        item = sender + service if service.startswith("/") else service
        items.append(item)
        connection.emit_signal(None, PATH, NAME, "StatusNotifierItemRegistered",
                               GLib.Variant("(s)", (item,)))
        print(item, flush=True)
    invocation.return_value(None)


def get_property(connection, sender, path, interface, name):
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", True)
    if name == "ProtocolVersion":
        return GLib.Variant("i", 0)
    return GLib.Variant("as", items)


connection = Gio.DBusConnection.new_for_address_sync(
    sys.argv[1],
    Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
    None, None)
info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
connection.register_object(PATH, info, call, get_property, None)
reply = connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                             "RequestName", GLib.Variant("(su)", (NAME, 4)), None,
                             Gio.DBusCallFlags.NONE, -1, None)
if reply.unpack()[0] != 1:
    sys.exit(f"could not own {NAME}")
print("ready", flush=True)
GLib.MainLoop().run()
