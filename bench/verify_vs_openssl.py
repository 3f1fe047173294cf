#!/usr/bin/env python3
"""Wall time of `skyfw pkg verify FILE` against `openssl dgst -sha256 FILE`,
run alternately so both see the same machine load. Prints min and median of
each and their ratio, for wall time and for CPU time (user + system, less
disturbed by other work on a busy machine).

usage: bench/verify_vs_openssl.py SKYFW PACKAGE [RUNS]
"""
import os
import statistics
import subprocess
import sys
import time


def run(command):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{command[0]} failed")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    skyfw, package = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    commands = {
        "skyfw pkg verify": [skyfw, "pkg", "verify", package],
        "openssl dgst -sha256": ["openssl", "dgst", "-sha256", package],
    }
    samples = {name: [] for name in commands}
    for name, command in commands.items():  # warm the page cache
        run(command)
    for _ in range(runs):
        for name, command in commands.items():
            samples[name].append(run(command))
    for kind, pick in (("wall", 0), ("cpu", 1)):
        for name in commands:
            values = [sample[pick] for sample in samples[name]]
            print(f"{kind:4s} {name:22s} min {min(values) * 1000:7.2f} ms   "
                  f"median {statistics.median(values) * 1000:7.2f} ms")
        ours = [sample[pick] for sample in samples["skyfw pkg verify"]]
        theirs = [sample[pick] for sample in samples["openssl dgst -sha256"]]
        print(f"{kind:4s} {'ratio':22s} min {min(ours) / min(theirs):7.2f}      "
              f"median {statistics.median(ours) / statistics.median(theirs):7.2f}")


if __name__ == "__main__":
    main()
