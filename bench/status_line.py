#!/usr/bin/env python3
"""The status line's common case: `meterwright --print` when no provider is due, against the
cheapest status line a Python tool could have (`python3 -c` reading last-snapshot.json and
printing one field). Both run 200 times, interleaved, in a throw-away home folder; the medians
and their ratio are printed.

    bench/status_line.py path/to/meterwright [runs]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
meterwright = os.path.abspath(sys.argv[1])
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200

PYTHON_LINE = ("import json, os; "
               "r = json.load(open(os.path.expanduser("
               "'~/.local/share/Meterwright/last-snapshot.json'))); "
               "print(r['providers'][0]['windows'][0]['usedPercent'])")


def timed(command, environment):
    start = time.perf_counter()
    done = subprocess.run(command, env=environment, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start, done


with tempfile.TemporaryDirectory(prefix="meterwright-bench-") as scratch:
    home = os.path.join(scratch, "home")
    bin_folder = os.path.join(home, ".local", "bin")
    os.makedirs(bin_folder)
    # The stand-in `codex` of the tests; no Claude Code sign-in, so Claude backs off.
    shutil.copy(os.path.join(root, "tests", "fakes", "codex"), os.path.join(bin_folder, "codex"))
    environment = {"HOME": home, "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8", "TZ": "UTC"}

    # The first run asks both providers and stores the reading; after it, nothing is due for
    # at least ten minutes (Codex's interval), far longer than the runs below take.
    _, first = timed([meterwright, "--print"], environment)
    if first.returncode != 0:
        sys.exit("meterwright --print found no reading: " + first.stdout.decode())
    line = first.stdout

    ours, theirs, baseline = [], [], []
    for _ in range(runs):
        # What starting any program costs on this machine, from here.
        baseline.append(timed(["/bin/true"], environment)[0])
        seconds, done = timed([meterwright, "--print"], environment)
        if done.stdout != line:
            sys.exit("a run asked a provider or printed another line: " + done.stdout.decode())
        ours.append(seconds)
        seconds, done = timed(["python3", "-c", PYTHON_LINE], environment)
        if done.returncode != 0:
            sys.exit("the Python line failed")
        theirs.append(seconds)

    ours_median = statistics.median(ours) * 1000
    theirs_median = statistics.median(theirs) * 1000
    print(f"status line, nothing due ({runs} runs each, medians):")
    print(f"  meterwright --print        {ours_median:7.2f} ms")
    print(f"  python3 -c (one field)     {theirs_median:7.2f} ms")
    print(f"  ratio                      {theirs_median / ours_median:7.1f}x")
    print(f"  (/bin/true for reference   {statistics.median(baseline) * 1000:7.2f} ms)")
