#!/usr/bin/env python3
"""Time and peak memory of coloring ZIP archives.

Usage: python3 bench/zip.py [--lumo PATH]... [--folder DIR] [--runs N]
Needs GNU time (Debian package `time`). Several --lumo builds are measured
side by side on the same files, each figure as wall time and CPU time
(user + sys), since a loaded machine stretches the wall time alone.
  - a ZIP of 1,000,000 empty members made with Python's zipfile: the time
    until the first line of the colored dump arrives, the peak resident
    memory, and the time of `--section` of its last member;
  - a 256 MiB ZIP of stored random members against a random file of the same
    size, the whole colored dump written to /dev/null, side by side.
"""
import argparse
import os
import resource
import statistics
import subprocess
import tempfile
import time
import zipfile

MEMBERS = 1_000_000
BIG = 256 * 1024 * 1024


def many_members(path):
    with zipfile.ZipFile(path, "w") as z:
        for k in range(MEMBERS):
            z.writestr(f"m{k:07d}", b"")


def big_archive(path):
    piece = 16 * 1024 * 1024
    with zipfile.ZipFile(path, "w") as z:
        for k in range(BIG // piece - 1):
            z.writestr(f"random/{k:02d}.bin", os.urandom(piece))
        z.writestr("rest.bin", os.urandom(piece - 4096))


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def first_line_seconds(lumo, path):
    """Wall and CPU time until the first line; the CPU time runs to the kill."""
    cpu = children_cpu()
    start = time.perf_counter()
    child = subprocess.Popen([lumo, "--color", path], stdout=subprocess.PIPE)
    child.stdout.readline()
    seconds = time.perf_counter() - start
    child.kill()
    child.wait()
    return seconds, children_cpu() - cpu


def timed(command):
    """Wall seconds, CPU seconds and peak resident KiB of one run."""
    result = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M"] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            check=True)
    seconds, user, system, kib = result.stderr.split()[-4:]
    return float(seconds), float(user) + float(system), int(kib)


def median_of(runs, measure):
    results = [measure() for _ in range(runs)]
    return (statistics.median(r[0] for r in results), statistics.median(r[1] for r in results),
            max(r[2] for r in results) if len(results[0]) > 2 else 0)


def show(title, wall, cpu, kib=None):
    memory = f" {kib / 1024:8.1f} MiB" if kib is not None else ""
    print(f"{title:48} {wall:6.3f} s wall {cpu:6.3f} s cpu{memory}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lumo", action="append",
                        help="a build to measure (repeat to compare); build/release/lumo")
    parser.add_argument("--folder")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    builds = args.lumo or ["build/release/lumo"]
    with tempfile.TemporaryDirectory(dir=args.folder) as folder:
        many = os.path.join(folder, "many.zip")
        many_members(many)
        last = f"m{MEMBERS - 1:07d}"
        for lumo in builds:
            print(lumo)
            first, first_cpu, _ = median_of(args.runs, lambda l=lumo: first_line_seconds(l, many))
            _, _, kib = median_of(args.runs,
                                  lambda l=lumo: timed([l, "--color", "--length", "16", many]))
            show("  1,000,000 empty members, first line", first, first_cpu, kib)
            wall, cpu, kib = median_of(args.runs, lambda l=lumo: timed([l, "--section", last, many]))
            show("  1,000,000 empty members, last --section", wall, cpu, kib)
        os.remove(many)

        archive = os.path.join(folder, "big.zip")
        big_archive(archive)
        random_file = os.path.join(folder, "random.bin")
        with open(random_file, "wb") as file:
            file.write(os.urandom(os.path.getsize(archive)))
        for lumo in builds:
            print(lumo)
            for title, path in (("  256 MiB ZIP, --color", archive),
                                ("  256 MiB random, --color", random_file)):
                wall, cpu, kib = median_of(args.runs,
                                           lambda l=lumo, p=path: timed([l, "--color", p]))
                show(title, wall, cpu, kib)


if __name__ == "__main__":
    main()
