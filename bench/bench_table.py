#!/usr/bin/env python3
"""Runs the benchmark programs of a build and the peer programs found on this
machine, and prints one table of their figures: once by median wall time, once
by median CPU time (user + system; less disturbed when other work shares the
machine).

In-process figures come from Google Benchmark's JSON output (median of its
repetitions). Programs started as processes (sha256sum, openssl, cat, cp, dd,
skyfw itself) are run round-robin, so that all see the same machine load, and
their median is taken. Process figures include starting the process and
reading the file; the in-process ones do not.

usage: bench/bench_table.py BUILD_DIR [--runs N] [--repetitions N] [--results DIR]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from verify_vs_openssl import run  # noqa: E402  (wall and CPU time of one process)

MIB = 1 << 20
BASES = (("wall", "median wall time"), ("cpu", "median CPU time (user + system)"))


def load_average():
    return "load average %.2f %.2f %.2f (%d cores)" % (*os.getloadavg(), os.cpu_count())


class Figure:
    """A time in seconds per operation, wall and CPU, and the bytes it handles."""

    def __init__(self, wall, cpu, size=None):
        self.time = {"wall": wall, "cpu": cpu}
        self.size = size


def run_benchmarks(program, repetitions, environment, results):
    """Median figures of every benchmark of `program`, by name, and its context."""
    name = os.path.basename(program)
    output = os.path.join(results, name + ".json")
    command = [program, f"--benchmark_repetitions={repetitions}",
               "--benchmark_report_aggregates_only=true", f"--benchmark_out={output}",
               "--benchmark_out_format=json"]
    print(f"  {name}", file=sys.stderr, flush=True)
    finished = subprocess.run(command, env=environment, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
    if finished.returncode != 0:
        sys.exit(f"{name} failed:\n{finished.stderr}")
    with open(output) as file:
        report = json.load(file)
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    figures = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") != "median" or entry.get("error_occurred"):
            continue
        unit = scale[entry["time_unit"]]
        figures[entry["run_name"]] = Figure(entry["real_time"] * unit, entry["cpu_time"] * unit)
    return figures, report["context"]


def time_processes(commands, runs):
    """Median figures of each command, run round-robin after one warm-up run."""
    samples = {name: [] for name in commands}
    for command in commands.values():
        run(command)
    for _ in range(runs):
        for name, command in commands.items():
            samples[name].append(run(command))
    return {name: Figure(statistics.median(s[0] for s in values),
                         statistics.median(s[1] for s in values))
            for name, values in samples.items()}


def openssl_rsa_verify(basis):
    """Seconds per RSA-2048 verification as `openssl speed` measures it."""
    command = ["openssl", "speed", "-seconds", "1", "-mr", "rsa2048"]
    if basis == "wall":
        command.insert(2, "-elapsed")
    output = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    for line in output.splitlines():
        if line.startswith("+F2:"):  # +F2:index:bits:sign/s:verify/s
            return 1.0 / float(line.split(":")[4])
    return None


def text_time(seconds):
    if seconds is None:
        return "-"
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale or unit == "us":
            return f"{seconds / scale:.3g} {unit}" if seconds / scale < 100 else \
                f"{seconds / scale:.0f} {unit}"


def text_rate(seconds, size):
    if seconds is None or seconds <= 0:
        return "-"
    if size:
        return f"{size / seconds / 1e6:.0f} MB/s"
    rate = 1 / seconds
    return f"{rate:.0f} ops/s" if rate >= 100 else f"{rate:.1f} ops/s"


def text_size(size):
    if not size:
        return ""
    return f"{size / MIB:.1f} MiB" if size >= MIB else f"{size / 1024:.0f} KiB"


def print_table(rows, basis, heading):
    header = ("What", "Size", "Time", "Rate", "Peer", "Peer time", "Peer rate", "Ours/peer")
    lines = []
    for what, size, ours, peer_name, peer in rows:
        ours_time = ours.time[basis] if ours else None
        peer_time = peer.time[basis] if peer else None
        ratio = f"{ours_time / peer_time:.2f}" if ours_time and peer_time else "-"
        lines.append((what, text_size(size), text_time(ours_time) if ours else "failed",
                      text_rate(ours_time, size), peer_name or "",
                      text_time(peer_time) if peer_name else "",
                      text_rate(peer_time, peer.size if peer else None) if peer_name else "",
                      ratio if peer_name else ""))
    widths = [max(len(row[k]) for row in lines + [header]) for k in range(len(header))]
    right = {1, 2, 3, 5, 6, 7}

    def format_line(cells):
        return "  ".join(cell.rjust(w) if k in right else cell.ljust(w)
                         for k, (cell, w) in enumerate(zip(cells, widths))).rstrip()

    print(f"\n{heading}")
    print(format_line(header))
    print("  ".join("-" * w for w in widths))
    for line in lines:
        print(format_line(line))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", help="build directory with bench/ and bin/")
    parser.add_argument("--runs", type=int, default=15, help="runs of each process (15)")
    parser.add_argument("--repetitions", type=int, default=5,
                        help="repetitions of each in-process benchmark (5)")
    parser.add_argument("--results", help="where the benchmarks' JSON output goes "
                        "(default BUILD/bench-results)")
    options = parser.parse_args()
    bench = os.path.join(options.build, "bench")
    skyfw = os.path.abspath(os.path.join(options.build, "bin", "skyfw"))
    results = options.results or os.path.join(options.build, "bench-results")
    os.makedirs(results, exist_ok=True)

    load_before = load_average()
    work = tempfile.mkdtemp(prefix="skyfw_bench_table_")
    try:
        # The benchmark programs keep their files under TMPDIR.
        environment = dict(os.environ, TMPDIR=work)
        print("benchmarks:", file=sys.stderr)
        figures = {}
        package_file = None
        for program in ("skyfw_bench_package", "skyfw_bench_zlib_crc32", "skyfw_bench_backup",
                        "skyfw_bench_discovery", "skyfw_bench_sim_calls"):
            path = os.path.join(bench, program)
            if not os.path.exists(path):
                print(f"  {program}: not built, skipped", file=sys.stderr)
                continue
            found, context = run_benchmarks(path, options.repetitions, environment, results)
            figures.update(found)
            package_file = context.get("package_file", package_file)

        print("processes:", file=sys.stderr, flush=True)
        machine = os.path.join(work, "machine")
        subprocess.run([skyfw, "sim", "init", machine], stdout=subprocess.DEVNULL, check=True)
        commands = {"skyfw discover": [skyfw, "--machine", machine, "discover", "-o",
                                       os.path.join(work, "discovery.xml")],
                    # The plug-in loaded and asked for one text: the floor of a
                    # skyfw process on the same machine.
                    "skyfw text 0": [skyfw, "--machine", machine, "text", "0"]}
        package_size = None
        if package_file:
            package_size = os.path.getsize(package_file)
            copy = os.path.join(work, "copy.pkg")
            synced_copy = os.path.join(work, "synced-copy.pkg")
            commands.update({
                "skyfw pkg verify": [skyfw, "pkg", "verify", package_file],
                "sha256sum": ["sha256sum", package_file],
                "openssl dgst -sha256": ["openssl", "dgst", "-sha256", package_file],
                "cat": ["cat", package_file],
                "cp": ["cp", package_file, copy],
                # A copy that is on the disk when the program ends, as a
                # backup is when the entry point returns.
                "dd conv=fsync": ["dd", "if=" + package_file, "of=" + synced_copy, "bs=1M",
                                  "conv=fsync", "status=none"],
            })
        for name, command in list(commands.items()):
            if shutil.which(command[0]) is None:
                print(f"  {name}: not on this machine, skipped", file=sys.stderr)
                del commands[name]
        # skyfw discover syncs the document it writes, and on ext4 a sync
        # waits for every file's data not yet on the disk: the pair is timed
        # by itself, after a sync, so that it does not wait on what the
        # benchmarks above and cp (16 MiB a run) leave to write.
        pair = ("skyfw discover", "skyfw text 0")
        os.sync()
        processes = time_processes({k: v for k, v in commands.items() if k in pair},
                                   options.runs)
        os.sync()
        processes.update(time_processes({k: v for k, v in commands.items() if k not in pair},
                                        options.runs))
        for name in ("sha256sum", "openssl dgst -sha256", "cat", "cp", "dd conv=fsync",
                     "skyfw pkg verify"):
            if name in processes:
                processes[name].size = package_size
        rsa = None
        if shutil.which("openssl"):
            rsa = Figure(openssl_rsa_verify("wall"), openssl_rsa_verify("cpu"))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    def ours(name, size=None):
        figure = figures.get(name)
        if figure is not None:
            figure.size = size
        return figure

    def process(name):
        return processes.get(name)

    nvram = 16 * MIB
    discovery = [("Discovery, package mode, 1 port", "DiscoveryPackageMode/1/{}/real_time"),
                 ("Discovery, package mode, 8 ports", "DiscoveryPackageMode/8/{}/real_time")]
    rows = [
        ("CRC-32", package_size, ours("Crc32Fast", package_size),
         "zlib crc32", ours("ZlibCrc32", 16 * MIB)),
        ("SHA-256", package_size, ours("Sha256WithEngine/ShaExtensions", package_size),
         "sha256sum", process("sha256sum")),
        ("SHA-256", package_size, ours("Sha256WithEngine/ShaExtensions", package_size),
         "openssl dgst -sha256", process("openssl dgst -sha256")),
        ("RSA-2048 signature check", None, ours("RsaSignatureCheck"),
         "openssl speed rsa2048", rsa),
        ("Package verification", package_size, ours("VerifyPackageInMemory", package_size),
         "openssl dgst -sha256", process("openssl dgst -sha256")),
        ("skyfw pkg verify (process)", package_size, process("skyfw pkg verify"),
         "openssl dgst -sha256", process("openssl dgst -sha256")),
        ("Package read", package_size, ours("ReadPackage", package_size),
         "cat", process("cat")),
        ("Backup (oem_get_full_flash_dump_PCI)", nvram,
         ours("BackupThroughEntryPoint/real_time", nvram), "cp", process("cp")),
        ("Backup (oem_get_full_flash_dump_PCI)", nvram,
         ours("BackupThroughEntryPoint/real_time", nvram), "dd conv=fsync",
         process("dd conv=fsync")),
    ]
    for payload, label in ((256, "40 x 256 KiB"), (1024, "40 x 1 MiB")):
        one = ours(discovery[0][1].format(payload))
        eight = ours(discovery[1][1].format(payload))
        rows.append((f"{discovery[0][0]}, {label}", None, one, None, None))
        rows.append((f"{discovery[1][0]}, {label}", None, eight, "1 port", one))
    rows.append(("skyfw discover (process), demo machine", None, process("skyfw discover"),
                 "skyfw text 0", process("skyfw text 0")))
    # Each call into the simulated machine looks at its registry or NVRAM
    # file once (an fstat of the file it keeps open), to see at once what
    # another process or a hand changed there.
    stat = ours("FstatOfAnOpenFile")
    rows.append(("Simulated registry value read", None, ours("RegistryQueryValue"),
                 "one fstat", stat))
    rows.append(("Simulated driver method (register read)", None, ours("DriverRegisterRead"),
                 "one fstat", stat))

    print(f"skyfw benchmarks ({options.build}); before: {load_before}; after: {load_average()}")
    for basis, heading in BASES:
        print_table(rows, basis, f"Figures by {heading}:")
    print(f"\nMB = 10^6 bytes. Peers run as processes include process start and file reads. "
          f"Raw benchmark output: {results}/")


if __name__ == "__main__":
    main()
