#!/usr/bin/env python3
"""Wall time of `skyfw pkg verify FILE` against `openssl dgst -sha256 FILE`,
run alternately so both see the same machine load. Prints min and median of
each and their ratio.

usage: bench/verify_vs_openssl.py SKYFW PACKAGE [RUNS]
"""
import statistics
import subprocess
import sys
import time


def run(command):
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    skyfw, package = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    commands = {
        "skyfw pkg verify": [skyfw, "pkg", "verify", package],
        "openssl dgst -sha256": ["openssl", "dgst", "-sha256", package],
    }
    times = {name: [] for name in commands}
    for name, command in commands.items():  # warm the page cache
        run(command)
    for _ in range(runs):
        for name, command in commands.items():
            times[name].append(run(command))
    for name, samples in times.items():
        print(f"{name:22s} min {min(samples) * 1000:7.2f} ms   "
              f"median {statistics.median(samples) * 1000:7.2f} ms")
    a, b = times["skyfw pkg verify"], times["openssl dgst -sha256"]
    print(f"ratio                  min {min(a) / min(b):5.2f}      "
          f"median {statistics.median(a) / statistics.median(b):5.2f}")


if __name__ == "__main__":
    main()
