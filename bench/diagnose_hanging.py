#!/usr/bin/env python3
"""`meterwright --diagnose` with every outside service hanging: a usage endpoint that takes the
request and never answers, a `codex` that never speaks, a notification server, tray watcher and
logind that never reply (bench/hanging_services.py), a `systemctl` that never ends and a control
socket peer that never answers. Prints the time the report took against the sum of its bounded
waits, and whether any process it started was left behind.

    bench/diagnose_hanging.py path/to/meterwright

Needs dbus-daemon and a python3 with PyGObject (python3-gi).
"""
import ctypes
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

import process_watch

meterwright = os.path.abspath(sys.argv[1])

# The waits of one report, in seconds, as the program bounds them: the running instance
# (connect, send, read), the tray's three bus steps with their margins, the Claude request, the
# Codex exchange with the grace to stop it, the notification server, the listener and the cloud
# check, systemctl's two reads and logind's three steps.
BOUNDS = {
    "running instance": 3 * 2,
    "tray": 3 * (2 + 1),
    "native sources": 15 + 20 + 5,
    "notifications": 5,
    "device sync": 4 + 15,
    "sleep": 2 * 5 + 3 * 5,
}

PR_SET_CHILD_SUBREAPER = 36


def hold_forever(listener, held):
    """Accepts connections and keeps them open, unanswered."""
    while True:
        try:
            peer, _ = listener.accept()
        except OSError:
            return
        held.append(peer)


def serve(listener):
    held = []
    threading.Thread(target=hold_forever, args=(listener, held), daemon=True).start()
    return held


def descendants():
    """Processes whose parent is this one (orphans come here too: it is their subreaper)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == os.getpid() and fields[0] != "Z":
            found.append(int(entry))
    return found


# Children of meterwright that outlive it become this script's, where they can be counted.
ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)

started = []
with tempfile.TemporaryDirectory(prefix="meterwright-bench-") as scratch:
    environment = process_watch.environment(scratch)
    home = environment["HOME"]
    bin_folder = os.path.join(home, ".local", "bin")
    try:
        address = process_watch.start_bus(scratch, started)
        process_watch.start_service("hanging_services.py", address, started, "hanging services")

        endpoint = socket.create_server(("127.0.0.1", 0))
        serve(endpoint)
        control_folder = os.path.join(environment["XDG_RUNTIME_DIR"], "meterwright")
        os.makedirs(control_folder, mode=0o700)
        control = socket.socket(socket.AF_UNIX)
        control.bind(os.path.join(control_folder, "control"))
        control.listen(8)
        serve(control)

        os.makedirs(os.path.join(home, ".claude"))
        with open(os.path.join(home, ".claude", ".credentials.json"), "w") as f:
            json.dump({"claudeAiOauth": {"accessToken": "bench", "expiresAt": 4102444800000}}, f)
        systemctl = os.path.join(bin_folder, "systemctl")
        with open(systemctl, "w") as f:
            f.write("#!/bin/sh\nexec sleep 3600\n")
        os.chmod(systemctl, 0o755)

        environment.update({
            "DBUS_SESSION_BUS_ADDRESS": address,
            "DBUS_SYSTEM_BUS_ADDRESS": address,
            "FAKE_CODEX_MODE": "silent",
            "METERWRIGHT_CLAUDE_USAGE_URL":
                "http://127.0.0.1:%d/api/oauth/usage" % endpoint.getsockname()[1],
        })
        helpers = {process.pid for process in started}
        start = time.monotonic()
        report = subprocess.run([meterwright, "--diagnose"], env=environment,
                                capture_output=True, text=True, timeout=600)
        elapsed = time.monotonic() - start
        time.sleep(0.5)
        left = [pid for pid in descendants() if pid not in helpers]
    finally:
        for process in reversed(started):
            process.terminate()
            process.wait(timeout=30)

print(report.stdout, end="")
bound = sum(BOUNDS.values())
print(f"\n--diagnose with every service hanging: {elapsed:.1f} s, status {report.returncode}; "
      f"sum of its bounded waits {bound} s "
      f"({', '.join(f'{name} {seconds}' for name, seconds in BOUNDS.items())})")
print("processes left behind: " + (", ".join(map(str, left)) if left else "none"))
sys.exit(0 if elapsed <= bound and not left else 1)
