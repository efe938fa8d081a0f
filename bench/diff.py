#!/usr/bin/env python3
"""Speed and peak memory of comparing two large files with --diff.

Usage: python3 bench/diff.py [--lumo PATH] [--folder DIR] [--size MiB] [--runs N]
Needs GNU time (Debian package `time`).
Makes a random file of --size MiB (default 1024) and a copy of it with ten
bytes changed at spread-out places, then runs `lumo A --diff B` (output to
/dev/null, so without color) and, for the colored path, `--color`. Prints the
median wall time, the input throughput (both files' bytes over the time) and
the peak resident memory.
"""
import argparse
import os
import random
import statistics
import subprocess
import tempfile
import time


def make_pair(folder, size):
    first = os.path.join(folder, "a.bin")
    second = os.path.join(folder, "b.bin")
    rng = random.Random(3)
    block = 1 << 20
    with open(first, "wb") as a:
        for _ in range(size // block):
            a.write(rng.randbytes(block))
    with open(first, "rb") as a, open(second, "wb") as b:
        while chunk := a.read(block):
            b.write(chunk)
    with open(second, "r+b") as b:
        for k in range(10):
            b.seek(size * k // 10 + 12345)
            b.write(b"\xff")
    return first, second


def run(command):
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    elapsed = time.perf_counter() - start
    return elapsed, int(result.stderr.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lumo", default="build/release/lumo")
    parser.add_argument("--folder", default=None)
    parser.add_argument("--size", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=args.folder) as folder:
        size = args.size << 20
        first, second = make_pair(folder, size)
        print("| command | median time | throughput (both inputs) | peak RSS |")
        print("|---|---:|---:|---:|")
        for label, extra in (("--diff", []), ("--diff --color", ["--color"])):
            runs = [run([args.lumo, first, "--diff", second] + extra) for _ in range(args.runs)]
            median = statistics.median(t for t, _ in runs)
            peak = max(m for _, m in runs)
            print(f"| lumo A {label} B | {median:.2f} s | {2 * size / median / 1e9:.2f} GB/s "
                  f"| {peak / 1024:.1f} MiB |")


if __name__ == "__main__":
    main()
