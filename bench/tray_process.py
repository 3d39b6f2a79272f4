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
import subprocess
import sys
import tempfile
import time

import process_watch

meterwright = os.path.abspath(sys.argv[1])
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60

started = []
with tempfile.TemporaryDirectory(prefix="meterwright-bench-") as scratch:
    environment = process_watch.environment(scratch)
    try:
        address = process_watch.start_bus(scratch, started)
        watcher = process_watch.start_service("status_notifier_watcher.py", address, started,
                                              "stand-in watcher")

        environment["DBUS_SESSION_BUS_ADDRESS"] = address
        application = subprocess.Popen([meterwright], env=environment,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started.append(application)
        item = process_watch.line_within(watcher.stdout, 30, "tray item registered")
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
