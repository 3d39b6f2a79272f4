#!/usr/bin/env python3
"""The application as a headless service: `meterwright` with no option, no session bus, the
stand-in `codex` of the tests, in a throw-away home folder. After it has settled it is watched
for a while; its resident memory (largest seen) and the CPU time it used per second of wall time
are printed.

    bench/headless_service.py path/to/meterwright [seconds]
"""
import os
import subprocess
import sys
import tempfile
import time

import process_watch

meterwright = os.path.abspath(sys.argv[1])
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60

with tempfile.TemporaryDirectory(prefix="meterwright-bench-") as scratch:
    service = subprocess.Popen([meterwright], env=process_watch.environment(scratch),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # The first reading (starting `codex`) and the listener come up in the first seconds.
        time.sleep(5)
        if service.poll() is not None:
            sys.exit(f"meterwright ended with status {service.returncode}")
        peak, cpu = process_watch.watch(service, seconds)
    finally:
        status, ending = process_watch.stop(service)
    process_watch.report("headless service", seconds, peak, cpu, status, ending)
