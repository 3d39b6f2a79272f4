#!/usr/bin/env python3
"""The application as a headless service: `meterwright` with no option, no session bus, the
stand-in `codex` of the tests, in a throw-away home folder. After it has settled it is watched
for a while; its resident memory (largest seen) and the CPU time it used per second of wall time
are printed.

    bench/headless_service.py path/to/meterwright [seconds]
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
meterwright = os.path.abspath(sys.argv[1])
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
ticks = os.sysconf("SC_CLK_TCK")


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime, the 14th and 15th fields of the line.
    return (int(fields[11]) + int(fields[12])) / ticks


with tempfile.TemporaryDirectory(prefix="meterwright-bench-") as scratch:
    home = os.path.join(scratch, "home")
    runtime = os.path.join(scratch, "run")
    bin_folder = os.path.join(home, ".local", "bin")
    os.makedirs(bin_folder)
    os.makedirs(runtime, mode=0o700)
    shutil.copy(os.path.join(root, "tests", "fakes", "codex"), os.path.join(bin_folder, "codex"))
    environment = {"HOME": home, "PATH": bin_folder + ":/usr/bin:/bin", "LANG": "C.UTF-8",
                   "XDG_RUNTIME_DIR": runtime, "METERWRIGHT_LISTEN_ADDRESS": "127.0.0.1",
                   "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(scratch, "no-bus")}
    service = subprocess.Popen([meterwright], env=environment, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        # The first reading (starting `codex`) and the listener come up in the first seconds.
        time.sleep(5)
        if service.poll() is not None:
            sys.exit(f"meterwright ended with status {service.returncode}")
        start_cpu, start = cpu_seconds(service.pid), time.monotonic()
        peak = resident_kib(service.pid)
        while time.monotonic() - start < seconds:
            time.sleep(1)
            peak = max(peak, resident_kib(service.pid))
        used = cpu_seconds(service.pid) - start_cpu
        elapsed = time.monotonic() - start
    finally:
        service.send_signal(signal.SIGTERM)
        status = service.wait(timeout=30)
    print(f"headless service over {elapsed:.0f} s (after 5 s of start-up):")
    print(f"  resident memory, largest   {peak / 1024:7.1f} MiB")
    print(f"  CPU                        {100 * used / elapsed:7.2f} %")
    print(f"  exit status after SIGTERM  {status:7d}")
