#!/usr/bin/env python3
"""Memory and latency of lumo on large inputs.

Usage: python3 bench/streaming.py [--lumo PATH] [--folder DIR]
Needs GNU time (Debian package `time`).
Prints peak resident memory for 64 MiB and 1 GiB inputs (random bytes, and
random bytes behind a real ELF header), plain and colored, read as a file and
the ELF also from a pipe (`cat FILE | lumo -`, which lumo copies to a spill
file in $TMPDIR), and the time until the first line of
`lumo FILE | head -n 1` arrives on a 4 GiB sparse file.
The inputs are written to --folder (default: a temporary folder); 1 GiB of
free space per file is needed, and as much again in $TMPDIR (else /tmp) for
the pipe's spill file.
"""
import argparse
import itertools
import os
import statistics
import subprocess
import sys
import tempfile
import time


def write_input(path, size, header=b""):
    chunk = 1 << 24
    with open(path, "wb") as f:
        f.write(header)
        left = size - len(header)
        while left > 0:
            n = min(chunk, left)
            f.write(os.urandom(n))
            left -= n


def peak_rss_kib(command, piped_from=None):
    # GNU time measures the command alone; a child forked from this Python
    # process would report Python's own memory as its peak. With piped_from,
    # `cat` feeds that file to the command's standard input.
    feeder = None
    stdin = None
    if piped_from:
        feeder = subprocess.Popen(["cat", piped_from], stdout=subprocess.PIPE)
        stdin = feeder.stdout
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdin=stdin,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if feeder:
        feeder.stdout.close()
        feeder.wait()
    if result.returncode != 0:
        return None
    return int(result.stderr.strip().splitlines()[-1])


def first_line_seconds(command):
    start = time.perf_counter()
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    proc.stdout.readline()
    elapsed = time.perf_counter() - start
    proc.stdout.close()  # like head: the reader goes away
    proc.wait()
    return elapsed


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--lumo", default=os.path.join(here, "..", "build", "release", "lumo"))
    parser.add_argument("--folder", default=None)
    args = parser.parse_args()
    lumo = os.path.abspath(args.lumo)
    if not os.path.exists(lumo):
        sys.exit(f"no lumo at {lumo}: build the release preset first")
    with open("/bin/ls", "rb") as f:
        elf_header = f.read()

    with tempfile.TemporaryDirectory(dir=args.folder) as folder:
        print("| input | size | mode | peak RSS MiB |")
        print("|---|---|---|---:|")
        for size_name, size in (("64 MiB", 64 << 20), ("1 GiB", 1 << 30)):
            for kind, header in (("random", b""), ("ELF-headed", elf_header)):
                path = os.path.join(folder, "input.bin")
                write_input(path, size, header)
                sources = [("", False)] + ([(", pipe", True)] if header else [])
                for (source, piped), (mode, flags) in itertools.product(
                        sources, (("plain", []), ("colored", ["--color"]))):
                    command = [lumo] + flags + (["-"] if piped else [path])
                    rss = peak_rss_kib(command, path if piped else None)
                    shown = f"{rss / 1024:.1f}" if rss else "failed"
                    print(f"| {kind}{source} | {size_name} | {mode} | {shown} |")
                os.remove(path)

        sparse = os.path.join(folder, "sparse.bin")
        with open(sparse, "wb") as f:
            f.truncate(4 << 30)
        times = [first_line_seconds([lumo, sparse]) for _ in range(5)]
        print(f"\nFirst line of `lumo FILE | head -n 1` on a 4 GiB sparse file: "
              f"median {statistics.median(times) * 1000:.1f} ms over 5 runs")


if __name__ == "__main__":
    main()
