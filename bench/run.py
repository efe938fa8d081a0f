#!/usr/bin/env python3
"""Times lumo against xxd, od, hexdump and hexyl on generated 64 MiB inputs.

Usage: python3 bench/run.py [--lumo PATH] [--size MiB] [--runs N]
                             [--inputs NAME,...] [--commands LABEL,...]
Needs GNU time (Debian package `time`); hexyl (Debian package) is optional.
Every command writes to /dev/null (so lumo's color default is off); colored
and raw runs are listed separately. The commands run side by side: in each
of the N rounds every command runs once on the input, so a busy machine
slows all of them alike. Prints a Markdown table of median wall times, input
throughput, each command's time relative to lumo's plain run on the same
input, and peak resident memory; then, for lumo against its peers, the
median over the rounds of each round's ratio.
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


def run_once(command):
    """Wall seconds and peak memory (KiB) of one run, or None on failure."""
    start = time.perf_counter()
    # GNU time reports the command's own peak memory (KiB); a child forked
    # from this Python process would report Python's as its peak.
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        return None
    return seconds, int(result.stderr.strip().splitlines()[-1])


def measure_side_by_side(commands, runs):
    """Runs every command once per round; returns label -> list of seconds
    per round (None where a run failed) and label -> peak KiB."""
    times = {label: [] for label, _ in commands}
    peaks = {label: 0 for label, _ in commands}
    for _ in range(runs):
        for label, command in commands:
            got = run_once(command)
            times[label].append(got[0] if got else None)
            if got:
                peaks[label] = max(peaks[label], got[1])
    return times, peaks


# lumo against its peers: (peer, lumo command) pairs whose ratio per round is
# reported, the peer's time over lumo's.
PAIRS = [("xxd", "lumo"), ("hexyl --color=always", "lumo --color"), ("hexyl", "lumo")]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--lumo", default=os.path.join(here, "..", "build", "release", "lumo"))
    parser.add_argument("--size", type=int, default=64, help="input size in MiB")
    parser.add_argument("--runs", type=int, default=5, help="rounds, at least 5 for the ratios")
    parser.add_argument("--inputs", help="only these inputs: elf, random, zeros")
    parser.add_argument("--commands", help="only these commands, by their labels")
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

    wanted_inputs = args.inputs.split(",") if args.inputs else None
    wanted_commands = args.commands.split(",") if args.commands else None
    size = args.size << 20
    ratios = []
    with tempfile.TemporaryDirectory() as folder:
        inputs = make_inputs(folder, size)
        print(f"Inputs of {args.size} MiB, median of {args.runs} rounds side by side, "
              "output to /dev/null.\n")
        print("| input | command | median s | MB/s | time / lumo | peak RSS MiB |")
        print("|---|---|---:|---:|---:|---:|")
        for name, path in inputs.items():
            if wanted_inputs and name not in wanted_inputs:
                continue
            chosen = [(label, command) for label, command in commands(path)
                      if not wanted_commands or label in wanted_commands]
            times, peaks = measure_side_by_side(chosen, args.runs)
            medians = {label: statistics.median(t) for label, t in times.items() if None not in t}
            baseline = medians.get("lumo")
            for label, _ in chosen:
                if label not in medians:
                    print(f"| {name} | {label} | failed | | | |")
                    continue
                seconds = medians[label]
                ratio = f"{seconds / baseline:.1f}x" if baseline else ""
                mbps = size / seconds / 1e6
                print(f"| {name} | {label} | {seconds:.3f} | {mbps:.0f} | {ratio} "
                      f"| {peaks[label] / 1024:.0f} |")
            for peer, ours in PAIRS:
                if peer in medians and ours in medians:
                    per_round = [a / b for a, b in zip(times[peer], times[ours])]
                    ratios.append((name, peer, ours, statistics.median(per_round),
                                   min(per_round), max(per_round)))
    if ratios:
        print("\nSide by side: the peer's time over lumo's in each round, median (and range).\n")
        print("| input | peer / lumo | median | range |")
        print("|---|---|---:|---:|")
        for name, peer, ours, median, low, high in ratios:
            print(f"| {name} | `{peer}` / `{ours}` | {median:.1f}x | {low:.1f}x to {high:.1f}x |")


if __name__ == "__main__":
    main()
