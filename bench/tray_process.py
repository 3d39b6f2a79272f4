#!/usr/bin/env python3
"""The application with a tray host: `meterwright` with no option on a session bus of its own
where a stand-in StatusNotifierWatcher (bench/status_notifier_watcher.py) says a host is
registered, the stand-in `codex` of the tests, a throw-away home and no display, so no window
ever opens. Once its item has registered and it has settled it is watched for a while; its
resident memory (largest seen) and the CPU time it used per second of wall time are printed.

    bench/tray_process.py path/to/meterwright [seconds]

Needs dbus-daemon and a python3 with PyGObject (python3-gi) for the watcher.
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

import process_watch

here = os.path.dirname(os.path.abspath(__file__))
meterwright = os.path.abspath(sys.argv[1])
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
"""


def python_with_gi():
    for candidate in (sys.executable, "/usr/bin/python3"):
        probe = subprocess.run([candidate, "-c", "import gi"], capture_output=True)
        if probe.returncode == 0:
            return candidate
    sys.exit("no python3 with PyGObject (python3-gi) for the stand-in watcher")


def line_within(stream, seconds, what):
    ready, _, _ = select.select([stream], [], [], seconds)
    if not ready:
        sys.exit(f"no {what} within {seconds} s")
    return stream.readline().strip()


started = []
with tempfile.TemporaryDirectory(prefix="meterwright-bench-") as scratch:
    environment = process_watch.environment(scratch)
    config = os.path.join(scratch, "bus.conf")
    with open(config, "w") as f:
        # No service folders: nothing on this bus is started on demand (a portal, say).
        f.write(BUS_CONFIG.format(socket=os.path.join(scratch, "bus")))
    daemon = shutil.which("dbus-daemon") or sys.exit("dbus-daemon is not installed")
    try:
        bus = subprocess.Popen([daemon, "--config-file=" + config, "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        started.append(bus)
        address = line_within(bus.stdout, 10, "bus address")
        watcher = subprocess.Popen([python_with_gi(), os.path.join(here, "status_notifier_watcher.py"),
                                    address], stdout=subprocess.PIPE, text=True)
        started.append(watcher)
        if line_within(watcher.stdout, 10, "watcher") != "ready":
            sys.exit("the stand-in watcher did not start")

        environment["DBUS_SESSION_BUS_ADDRESS"] = address
        application = subprocess.Popen([meterwright], env=environment,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started.append(application)
        item = line_within(watcher.stdout, 30, "tray item registered")
        # The first reading (starting `codex`), the item's first image and the listener.
        time.sleep(5)
        if application.poll() is not None:
            sys.exit(f"meterwright ended with status {application.returncode}")
        peak, cpu = process_watch.watch(application, seconds)
        status, ending = process_watch.stop(application)
        started.remove(application)
    finally:
        for process in reversed(started):
            process.terminate()
            process.wait(timeout=30)
    process_watch.report(f"tray process ({item})", seconds, peak, cpu, status, ending)
