"""What bench/headless_service.py and bench/tray_process.py share: a throw-away home with the
stand-in `codex` of the tests, and watching a running process's resident memory and CPU time."""
import os
import shutil
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
