#!/usr/bin/env python3
"""Times lumo against xxd, od, hexdump and hexyl on generated 64 MiB inputs.

Usage: python3 bench/run.py [--lumo PATH] [--size MiB] [--runs N]
Needs GNU time (Debian package `time`); hexyl (Debian package) is optional.
Every command writes to /dev/null (so lumo's color default is off); colored
and raw runs are listed separately. Prints a Markdown table of median wall
times, input throughput, each command's time relative to lumo's plain run on
the same input, and peak resident memory.
"""
import argparse
import glob
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def make_inputs(folder, size):
    inputs = {}
    path = os.path.join(folder, "random.bin")
    with open(path, "wb") as f:
        rng = random.Random(1)
        f.write(rng.randbytes(size))
    inputs["random"] = path

    path = os.path.join(folder, "elf.bin")
    with open(path, "wb") as f:
        written = 0
        for candidate in sorted(glob.glob("/usr/bin/*") + glob.glob("/usr/lib/x86_64-linux-gnu/*.so*")):
            if written >= size or not os.path.isfile(candidate):
                continue
            with open(candidate, "rb") as binary:
                data = binary.read()
            if data[:4] != b"\x7fELF":
                continue
            data = data[: size - written]
            f.write(data)
            written += len(data)
    inputs["elf"] = path

    path = os.path.join(folder, "zeros.bin")
    with open(path, "wb") as f:
        rng = random.Random(2)
        block = bytearray(size)
        for _ in range(size // 4096):  # a sprinkle of non-zero bytes
            block[rng.randrange(size)] = rng.randrange(1, 256)
        f.write(block)
    inputs["zeros"] = path
    return inputs


def measure(command, runs):
    times, peak = [], 0
    for _ in range(runs):
        start = time.perf_counter()
        # GNU time reports the command's own peak memory (KiB); a child forked
        # from this Python process would report Python's as its peak.
        result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True)
        times.append(time.perf_counter() - start)
        if result.returncode != 0:
            return None, None
        peak = max(peak, int(result.stderr.strip().splitlines()[-1]))
    return statistics.median(times), peak


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--lumo", default=os.path.join(here, "..", "build", "release", "lumo"))
    parser.add_argument("--size", type=int, default=64, help="input size in MiB")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    lumo = os.path.abspath(args.lumo)
    if not os.path.exists(lumo):
        sys.exit(f"no lumo at {lumo}: build the release preset first")

    def commands(path):
        yield "lumo", [lumo, path]
        yield "lumo --color", [lumo, "--color", path]
        yield "lumo --raw", [lumo, "--raw", path]
        if shutil.which("xxd"):
            yield "xxd", ["xxd", path]
        yield "od -A x -t x1z", ["od", "-A", "x", "-t", "x1z", path]
        if shutil.which("hexdump"):
            yield "hexdump -C", ["hexdump", "-C", path]
        if shutil.which("hexyl"):
            yield "hexyl", ["hexyl", "--color=never", path]
            yield "hexyl --color=always", ["hexyl", "--color=always", path]

    size = args.size << 20
    with tempfile.TemporaryDirectory() as folder:
        inputs = make_inputs(folder, size)
        print(f"Inputs of {args.size} MiB, median of {args.runs} runs, output to /dev/null.\n")
        print("| input | command | median s | MB/s | time / lumo | peak RSS MiB |")
        print("|---|---|---:|---:|---:|---:|")
        for name, path in inputs.items():
            baseline = None
            for label, command in commands(path):
                seconds, peak = measure(command, args.runs)
                if seconds is None:
                    print(f"| {name} | {label} | failed | | | |")
                    continue
                if label == "lumo":
                    baseline = seconds
                ratio = f"{seconds / baseline:.1f}x" if baseline else ""
                mbps = size / seconds / 1e6
                print(f"| {name} | {label} | {seconds:.3f} | {mbps:.0f} | {ratio} | {peak / 1024:.0f} |")


if __name__ == "__main__":
    main()
