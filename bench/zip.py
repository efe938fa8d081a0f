#!/usr/bin/env python3
"""Time and peak memory of coloring ZIP archives.

Usage: python3 bench/zip.py [--lumo PATH] [--folder DIR] [--runs N]
Needs GNU time (Debian package `time`).
  - a ZIP of 1,000,000 empty members made with Python's zipfile: the time
    until the first line of the colored dump arrives, the peak resident
    memory, and the time of `--section` of its last member;
  - a 256 MiB ZIP of stored random members against a random file of the same
    size, the whole colored dump written to /dev/null, side by side.
"""
import argparse
import os
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


def first_line_seconds(lumo, path):
    start = time.perf_counter()
    child = subprocess.Popen([lumo, "--color", path], stdout=subprocess.PIPE)
    child.stdout.readline()
    seconds = time.perf_counter() - start
    child.kill()
    child.wait()
    return seconds


def timed(command):
    result = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            check=True)
    seconds, kib = result.stderr.split()[-2:]
    return float(seconds), int(kib)


def median_of(runs, measure):
    results = [measure() for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lumo", default="build/release/lumo")
    parser.add_argument("--folder")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    lumo = args.lumo
    with tempfile.TemporaryDirectory(dir=args.folder) as folder:
        many = os.path.join(folder, "many.zip")
        many_members(many)
        first = statistics.median(first_line_seconds(lumo, many) for _ in range(args.runs))
        _, kib = median_of(args.runs, lambda: timed([lumo, "--color", "--length", "16", many]))
        last = f"m{MEMBERS - 1:07d}"
        section, _ = median_of(args.runs, lambda: timed([lumo, "--section", last, many]))
        print(f"{'1,000,000 empty members, first line':40} {first:6.3f} s {kib / 1024:8.1f} MiB")
        print(f"{'1,000,000 empty members, last --section':40} {section:6.3f} s")
        os.remove(many)

        archive = os.path.join(folder, "big.zip")
        big_archive(archive)
        random_file = os.path.join(folder, "random.bin")
        with open(random_file, "wb") as file:
            file.write(os.urandom(os.path.getsize(archive)))
        for title, path in (("256 MiB ZIP, --color", archive), ("256 MiB random, --color",
                                                                  random_file)):
            seconds, kib = median_of(args.runs, lambda p=path: timed([lumo, "--color", p]))
            print(f"{title:40} {seconds:6.3f} s {kib / 1024:8.1f} MiB")


if __name__ == "__main__":
    main()
