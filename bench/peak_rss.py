#!/usr/bin/env python3
"""peak_rss.py NAME COMMAND...: runs COMMAND and prints, in KiB, the largest sum of the
resident memory (VmRSS) of every process whose command line names NAME, sampled every
5 ms while COMMAND runs. Under Wine each Windows process is a Linux process whose command
line is the Windows one, so an installer and the elevated step it starts are summed."""
import os
import subprocess
import sys
import time


def resident_kib(name):
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if name not in f.read().lower():
                    continue
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            pass  # ended meanwhile
    return total


def main():
    name = sys.argv[1].lower().encode()
    child = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL)
    peak = 0
    while child.poll() is None:
        peak = max(peak, resident_kib(name))
        time.sleep(0.005)
    print(peak)
    return child.returncode


sys.exit(main())
