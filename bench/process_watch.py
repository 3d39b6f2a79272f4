"""What bench/headless_service.py and bench/tray_process.py share: a throw-away home with the
stand-in `codex` of the tests, and watching a running process's resident memory and CPU time."""
import os
import select
import shutil
import subprocess
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
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


def environment(scratch):
    """A home inside `scratch` whose ~/.local/bin holds the stand-in `codex`, and the environment
    that runs the application there with no system bus and no session bus."""
    home = os.path.join(scratch, "home")
    runtime = os.path.join(scratch, "run")
    bin_folder = os.path.join(home, ".local", "bin")
    os.makedirs(bin_folder)
    os.makedirs(runtime, mode=0o700)
    shutil.copy(os.path.join(root, "tests", "fakes", "codex"), os.path.join(bin_folder, "codex"))
    return {"HOME": home, "PATH": bin_folder + ":/usr/bin:/bin", "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": runtime, "METERWRIGHT_LISTEN_ADDRESS": "127.0.0.1",
            "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(scratch, "no-bus")}


def watch(process, seconds):
    """Samples the process every second for `seconds`: its largest resident memory in KiB, and
    the CPU time it used as a share of the wall time."""
    start_cpu, start = cpu_seconds(process.pid), time.monotonic()
    peak = resident_kib(process.pid)
    while time.monotonic() - start < seconds:
        time.sleep(1)
        if process.poll() is not None:
            raise SystemExit(f"meterwright ended with status {process.returncode}")
        peak = max(peak, resident_kib(process.pid))
    return peak, (cpu_seconds(process.pid) - start_cpu) / (time.monotonic() - start)


def stop(process):
    """SIGTERM, then the exit status and how long the process took to end."""
    start = time.monotonic()
    process.terminate()
    status = process.wait(timeout=60)
    return status, time.monotonic() - start


def report(title, seconds, peak, cpu, status, ending):
    print(f"{title} over {seconds:.0f} s (after start-up):")
    print(f"  resident memory, largest   {peak / 1024:7.1f} MiB")
    print(f"  CPU                        {100 * cpu:7.2f} %")
    print(f"  exit status after SIGTERM  {status:7d}   (in {ending:.2f} s)")


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
    sys.exit("no python3 with PyGObject (python3-gi) for the stand-in D-Bus services")


def line_within(stream, seconds, what):
    ready, _, _ = select.select([stream], [], [], seconds)
    if not ready:
        sys.exit(f"no {what} within {seconds} s")
    return stream.readline().strip()


def start_bus(scratch, started):
    """A dbus-daemon of its own in `scratch`, appended to `started`; returns its address."""
    config = os.path.join(scratch, "bus.conf")
    with open(config, "w") as f:
        # No service folders: nothing on this bus is started on demand (a portal, say).
        f.write(BUS_CONFIG.format(socket=os.path.join(scratch, "bus")))
    daemon = shutil.which("dbus-daemon") or sys.exit("dbus-daemon is not installed")
    bus = subprocess.Popen([daemon, "--config-file=" + config, "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    started.append(bus)
    return line_within(bus.stdout, 10, "bus address")


def start_service(script, address, started, what):
    """A stand-in D-Bus service (a script beside this one) on `address`, appended to `started`;
    returns it once it says it is ready, its output still open for what it reports later."""
    here = os.path.dirname(os.path.abspath(__file__))
    service = subprocess.Popen([python_with_gi(), os.path.join(here, script), address],
                               stdout=subprocess.PIPE, text=True)
    started.append(service)
    if line_within(service.stdout, 10, what) != "ready":
        sys.exit(f"the {what} did not start")
    return service
