#!/usr/bin/env python3
"""Runs a command and reports its wall time, the peak memory of its whole process tree and the
processor time the tree used.

Usage: treemem.py OUTFILE COMMAND [ARGS...]
Writes "seconds peak_mib exit_status cpu_seconds" to OUTFILE. The tree's resident memory (sum of
VmRSS of the command and every descendant) is sampled every 50 ms. The processor time (user and
system) is that of every descendant that was waited for, which a machine shared with others
disturbs less than the wall time.
"""
import os
import resource
import subprocess
import sys
import time


def children_map():
    kids = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            kids.setdefault(int(fields[1]), []).append(int(name))
        except OSError:
            pass
    return kids


def tree_rss_kib(root):
    kids = children_map()
    total, stack = 0, [root]
    while stack:
        pid = stack.pop()
        stack.extend(kids.get(pid, []))
        try:
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def main():
    out, cmd = sys.argv[1], sys.argv[2:]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = 0
    while proc.poll() is None:
        peak = max(peak, tree_rss_kib(proc.pid))
        time.sleep(0.05)
    seconds = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    with open(out, "w") as f:
        f.write(f"{seconds:.3f} {peak / 1024:.0f} {proc.returncode} {cpu:.3f}\n")


if __name__ == "__main__":
    main()
