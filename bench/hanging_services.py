#!/usr/bin/python3
"""Stand-ins that never answer, for bench/diagnose_hanging.py: owns the notification server's,
the tray watcher's and logind's names on the bus at the given address and drops every method
call addressed to them, so each caller waits until its own deadline. Prints "ready" once the
names are owned. Needs PyGObject (python3-gi).

    bench/hanging_services.py BUS-ADDRESS
"""
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

NAMES = ["org.freedesktop.Notifications", "org.kde.StatusNotifierWatcher",
         "org.freedesktop.login1"]

connection = Gio.DBusConnection.new_for_address_sync(
    sys.argv[1],
    Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
    None, None)
for name in NAMES:
    connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "RequestName", GLib.Variant("(su)", (name, 4)), None,
                         Gio.DBusCallFlags.NONE, 5000, None)


def drop_calls(connection, message, incoming):
    if incoming and message.get_message_type() == Gio.DBusMessageType.METHOD_CALL:
        return None
    return message


connection.add_filter(drop_calls)
print("ready", flush=True)
GLib.MainLoop().run()
