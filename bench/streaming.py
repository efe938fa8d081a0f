#!/usr/bin/env python3
"""Memory and latency of lumo on large inputs.

Usage: python3 bench/streaming.py [--lumo PATH] [--folder DIR]
Needs GNU time (Debian package `time`).
Prints peak resident memory for 64 MiB and 1 GiB inputs (random bytes, and
random bytes behind a real ELF header), plain and colored, read as a file and
the ELF also from a pipe (`cat FILE | lumo -`, which lumo copies to a spill
file in $TMPDIR); the time until the first line of `lumo FILE | head -n 1`
arrives on a 4 GiB sparse file, from its start and with --skip near its end;
the time of `cat 100MiB | lumo - --skip 60MiB` with --length 16 and 4096;
and the peak memory and first-line time of the worst ELF and PE tables (65535
program headers and 65535 section headers; 65535 sections), with no contents
and with contents for every entry laid out in ways that cost the colormap
most (LAYOUTS); and a 1 GiB WebAssembly module of 65535 sections of 16 KiB
(custom ones among them), colored from a file and from a pipe, which lumo
colors as it streams: no spill file, and memory that does not grow with the
input. --only-wasm runs that part alone. Likewise a 1 GiB JPEG of eight
scans with stuffed bytes and restart markers, colored from a file and from a
pipe, the two outputs compared; and a 256 MiB JPEG beside 256 MiB of random
bytes, colored from files. --only-jpeg runs that part alone.
The inputs are written to --folder (default: a temporary folder); 1 GiB of
free space per file is needed, and as much again in $TMPDIR (else /tmp) for
the pipe's spill file.
"""
import argparse
import itertools
import os
import shlex
import struct
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


# How the worst tables lay out their entries' contents: none at all; each
# segment and section i sharing 16 bytes of its own; sections starting 8
# bytes into the segments' stretches (every 8 bytes a new owner); each
# entry's stretch holding the next one's (every entry open at once).
LAYOUTS = ("none", "shared", "offset", "nested")


def contents_of(layout, i, count, data, second):
    """Offset and size of entry i's contents; `second` for the second table."""
    if layout == "none":
        return 0, 0
    if layout == "shared":
        return data + 16 * i, 16
    if layout == "offset":
        return data + 16 * i + (8 if second else 0), 16
    start = data + (2 * count if second else 0)
    return start + i, 2 * (count - i)


def worst_elf(path, layout):
    """ELF64 with 65535 program headers and 65535 section headers."""
    count = 65535
    phoff = 64
    shoff = phoff + 56 * count
    data = shoff + 64 * count
    header = bytearray(64)
    header[0:4] = b"\x7fELF"
    header[4], header[5], header[6] = 2, 1, 1
    struct.pack_into("<QQIHHHHHH", header, 32, phoff, shoff, 0, 64, 56, count, 64, count, 0)
    with open(path, "wb") as f:
        f.write(header)
        for i in range(count):
            offset, size = contents_of(layout, i, count, data, False)
            f.write(struct.pack("<IIQQQQQQ", 1, 5, offset, 0, 0, size, size, 0x1000))
        for i in range(count):
            offset, size = contents_of(layout, i, count, data, True)
            # e_phnum 65535 is PN_XNUM: section 0's sh_info holds the count.
            info = count if i == 0 else 0
            f.write(struct.pack("<IIQQQQIIQQ", 0, 1, 0, 0, offset, size, 0, info, 1, 0))
        f.write(bytes(16 * count + 8))


def worst_pe(path, layout):
    """PE with 65535 section headers."""
    count = 65535
    lfanew = 64
    table = lfanew + 24 + 240
    data = table + 40 * count
    out = bytearray(data + 16 * count + 8)
    out[0:2] = b"MZ"
    struct.pack_into("<I", out, 60, lfanew)
    out[lfanew:lfanew + 4] = b"PE\0\0"
    struct.pack_into("<HH", out, lfanew + 4, 0x8664, count)
    struct.pack_into("<H", out, lfanew + 20, 240)
    for i in range(count):
        at = table + 40 * i
        out[at:at + 8] = b".s%05d" % i
        offset, size = contents_of(layout, i, count, data, False)
        if size:
            struct.pack_into("<II", out, at + 16, size, offset)
    with open(path, "wb") as f:
        f.write(out)


def leb128(value):
    out = bytearray()
    while True:
        low = value & 0x7f
        value >>= 7
        if value:
            out.append(low | 0x80)
        else:
            out.append(low)
            return bytes(out)


def large_wasm(path, sections=65535, size=16 << 10):
    """A module of `sections` sections of `size` random bytes each; every
    tenth a custom section with a name."""
    with open(path, "wb") as f:
        f.write(b"\0asm\1\0\0\0")
        for i in range(sections):
            if i % 10 == 0:
                name = b"custom%d" % i
                body = leb128(len(name)) + name
                f.write(b"\0" + leb128(size) + body + os.urandom(size - len(body)))
            else:
                f.write(bytes([1 + i % 12]) + leb128(size) + os.urandom(size))


def bench_wasm(lumo, folder):
    path = os.path.join(folder, "large.wasm")
    large_wasm(path)
    size = os.path.getsize(path)
    print(f"\n| wasm, {size / (1 << 30):.2f} GiB, 65535 sections | source | peak RSS MiB | seconds |")
    print("|---|---|---:|---:|")
    for mode, flags in (("colored", ["--color"]), ("colored, legend", ["--color", "--legend"])):
        for source, piped in (("file", False), ("pipe", True)):
            command = [lumo] + flags + (["-"] if piped else [path])
            start = time.perf_counter()
            rss = peak_rss_kib(command, path if piped else None)
            elapsed = time.perf_counter() - start
            shown = f"{rss / 1024:.1f}" if rss else "failed"
            print(f"| {mode} | {source} | {shown} | {elapsed:.1f} |")
    feeder = subprocess.Popen(["cat", path], stdout=subprocess.PIPE)
    start = time.perf_counter()
    proc = subprocess.Popen([lumo, "--color", "-"], stdin=feeder.stdout, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    feeder.stdout.close()
    proc.stdout.readline()
    elapsed = time.perf_counter() - start
    proc.stdout.close()
    proc.wait()
    feeder.wait()
    print(f"| colored, first line | pipe | | {elapsed * 1000:.1f} ms |")
    os.remove(path)


def jpeg_segment(code, payload):
    return bytes([0xFF, code]) + struct.pack(">H", len(payload) + 2) + payload


def large_jpeg(path, size):
    """A baseline JPEG of about `size` bytes: the usual segments, then eight
    scans of random entropy-coded data (every FF stuffed, a restart marker
    every 64 KiB), each after a DHT and an SOS segment."""
    head = (b"\xff\xd8" + jpeg_segment(0xE0, b"JFIF\0\1\1\0\0\1\0\1\0\0") +
            jpeg_segment(0xDB, bytes(65)) + jpeg_segment(0xC0, bytes(15)) +
            jpeg_segment(0xDD, b"\0\x10"))
    scan_size = size // 8
    with open(path, "wb") as f:
        f.write(head)
        for _ in range(8):
            f.write(jpeg_segment(0xC4, bytes(29)) + jpeg_segment(0xDA, bytes(10)))
            written, restart = 0, 0
            while written < scan_size:
                piece = os.urandom(64 << 10).replace(b"\xff", b"\xff\0")
                piece += bytes([0xFF, 0xD0 + restart % 8])
                f.write(piece)
                written += len(piece)
                restart += 1
        f.write(b"\xff\xd9")


def colored_seconds(command):
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def bench_jpeg(lumo, folder):
    path = os.path.join(folder, "large.jpg")
    large_jpeg(path, 1 << 30)
    size = os.path.getsize(path)
    print(f"\n| JPEG, {size / (1 << 30):.2f} GiB, 8 scans | source | peak RSS MiB | seconds |")
    print("|---|---|---:|---:|")
    for source, piped in (("file", False), ("pipe", True)):
        command = [lumo, "--color"] + (["-"] if piped else [path])
        start = time.perf_counter()
        rss = peak_rss_kib(command, path if piped else None)
        elapsed = time.perf_counter() - start
        shown = f"{rss / 1024:.1f}" if rss else "failed"
        print(f"| colored | {source} | {shown} | {elapsed:.1f} |")
    quoted, program = shlex.quote(path), shlex.quote(lumo)
    same = subprocess.run(["bash", "-c", f"cmp -s <({program} --color {quoted}) "
                           f"<(cat {quoted} | {program} --color -)"]).returncode == 0
    print(f"| pipe output equals file output | | {'yes' if same else 'NO'} | |")
    os.remove(path)

    jpeg = os.path.join(folder, "medium.jpg")
    large_jpeg(jpeg, 256 << 20)
    random = os.path.join(folder, "random.bin")
    write_input(random, os.path.getsize(jpeg))
    times = {jpeg: [], random: []}
    for _ in range(3):  # side by side, so that a busy machine slows both
        for name in times:
            times[name].append(colored_seconds([lumo, "--color", name]))
    ratio = statistics.median(times[jpeg]) / statistics.median(times[random])
    print(f"\n| --color, 256 MiB, median of 3 | JPEG s | random s | ratio |")
    print("|---|---:|---:|---:|")
    print(f"| file | {statistics.median(times[jpeg]):.2f} | "
          f"{statistics.median(times[random]):.2f} | {ratio:.2f} |")
    os.remove(jpeg)
    os.remove(random)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--lumo", default=os.path.join(here, "..", "build", "release", "lumo"))
    parser.add_argument("--folder", default=None)
    parser.add_argument("--only-wasm", action="store_true")
    parser.add_argument("--only-jpeg", action="store_true")
    args = parser.parse_args()
    lumo = os.path.abspath(args.lumo)
    if not os.path.exists(lumo):
        sys.exit(f"no lumo at {lumo}: build the release preset first")
    with open("/bin/ls", "rb") as f:
        elf_header = f.read()

    with tempfile.TemporaryDirectory(dir=args.folder) as folder:
        if args.only_wasm:
            bench_wasm(lumo, folder)
            return
        if args.only_jpeg:
            bench_jpeg(lumo, folder)
            return
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
        print("\n| 4 GiB sparse file | first line, median of 5 |")
        print("|---|---:|")
        for name, flags in (("from the start", []),
                            ("--skip -4096", ["--skip", "-4096"]),
                            ("--skip 0xfffff003", ["--skip", "0xfffff003"])):
            times = [first_line_seconds([lumo] + flags + [sparse]) for _ in range(5)]
            print(f"| {name} | {statistics.median(times) * 1000:.1f} ms |")
        os.remove(sparse)

        # A skip on a pipe is dropped in large blocks: the window's length
        # must not decide how many reads the skip costs.
        piped = os.path.join(folder, "skip.bin")
        write_input(piped, 100 << 20)
        print("\n| cat 100 MiB \\| lumo - --skip 60MiB | median of 5 |")
        print("|---|---:|")
        for length in ("16", "4096"):
            command = (f"cat {shlex.quote(piped)} | {shlex.quote(lumo)} - --skip 60MiB "
                       f"--length {length} > /dev/null")
            times = []
            for _ in range(5):
                began = time.monotonic()
                subprocess.run(command, shell=True, check=True)
                times.append(time.monotonic() - began)
            print(f"| --length {length} | {statistics.median(times) * 1000:.1f} ms |")
        os.remove(piped)

        print("\n| worst-case tables | mode | peak RSS MiB | first line, median of 9 |")
        print("|---|---|---:|---:|")
        for name, writer, layouts in (("ELF 65535+65535", worst_elf, LAYOUTS),
                                      ("PE 65535 sections", worst_pe, ("none", "shared", "nested"))):
            for layout in layouts:  # every stretch lies wholly inside the file
                path = os.path.join(folder, "worst.bin")
                writer(path, layout)
                label = f"{name}, contents {layout}"
                for mode, flags in (("plain", ["--no-color"]), ("colored", ["--color"]),
                                    ("legend", ["--no-color", "--legend", "--length", "4096"])):
                    rss = peak_rss_kib([lumo] + flags + [path])
                    times = [first_line_seconds([lumo] + flags + [path]) for _ in range(9)]
                    shown = f"{rss / 1024:.1f}" if rss else "failed"
                    print(f"| {label} | {mode} | {shown} | "
                          f"{statistics.median(times) * 1000:.1f} ms |")
                os.remove(path)

        bench_wasm(lumo, folder)
        bench_jpeg(lumo, folder)


if __name__ == "__main__":
    main()
