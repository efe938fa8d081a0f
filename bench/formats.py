#!/usr/bin/env python3
"""Time and peak memory of coloring the formats people open most.

Usage: python3 bench/formats.py [--lumo PATH] [--folder DIR] [--runs N]
Needs GNU time (Debian package `time`).
  - a 256 MiB file of each format and a random file of the same size: the
    whole colored dump written to /dev/null, side by side (median of N runs)
    and the ratio to the random file;
  - a 1 GiB input of each format that colors a stream as it flows, fed
    through `cat` to `lumo --color -`: peak resident memory and seconds.
Only the formats that this build's `--parser` list names are measured; a new
format is one line of FORMATS and, if need be, a maker.
"""
import argparse
import functools
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

# Each table row shows as soon as it is measured.
print = functools.partial(print, flush=True)  # noqa: A001

MiB = 1 << 20
POOL = 16 * MiB


class Pool:
    """Random bytes read in turn: a 16 MiB pool, so that a large file is
    made fast while no two consecutive lines of it are the same."""

    def __init__(self):
        self.data = os.urandom(POOL)
        self.at = 0

    def take(self, n):
        out = bytearray()
        while n > 0:
            piece = min(n, POOL - self.at)
            out += self.data[self.at:self.at + piece]
            self.at = (self.at + piece) % POOL
            n -= piece
        return bytes(out)


def write_sized(path, size, head, body, tail=b""):
    """`head`, then pieces from body(n) until `size` bytes less the tail."""
    with open(path, "wb") as f:
        f.write(head)
        left = size - len(head) - len(tail)
        while left > 0:
            piece = body(min(left, 4 * MiB))
            f.write(piece[:left])
            left -= min(len(piece), left)
        f.write(tail)


def make_random(path, size, pool):
    write_sized(path, size, b"", pool.take)


def make_zip(path, size, pool):
    member = 16 * MiB
    with zipfile.ZipFile(path, "w") as z:
        for k in range(size // member - 1):
            z.writestr(f"random/{k:03d}.bin", pool.take(member))
        z.writestr("rest.bin", pool.take(member - 4096))


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data)))


def make_png(path, size, pool):
    # IDAT chunks of 64 KiB, as encoders commonly write them.
    head = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 8192, 8192, 8, 2, 0, 0, 0))
    tail = png_chunk(b"IEND", b"")

    def body(n):
        chunks = [png_chunk(b"IDAT", pool.take(64 * 1024 - 12)) for _ in range(max(1, n // (64 * 1024)))]
        return b"".join(chunks)

    write_sized(path, size, head, body, tail)


def make_gzip(path, size, pool):
    # One member with a name; its data need not inflate, as lumo does not.
    head = b"\x1f\x8b\x08\x08\0\0\0\0\0\x03random.bin\0"
    write_sized(path, size, head, pool.take, b"CRC!SIZE")


def make_bgzf(path, size, pool):
    # BGZF blocks of 64 KiB, each sized by its "BC" subfield.
    def body(n):
        blocks = []
        for _ in range(max(1, n // 65536)):
            data = pool.take(65536 - 26)
            blocks.append(b"\x1f\x8b\x08\x04\0\0\0\0\0\xff" + struct.pack("<H", 6) + b"BC" +
                          struct.pack("<HH", 2, 65535) + data + b"CRC!SIZE")
        return b"".join(blocks)

    with open(path, "wb") as f:
        left = size
        while left >= 65536:
            piece = body(min(left, 4 * MiB))
            f.write(piece)
            left -= len(piece)


def make_gif(path, size, pool):
    # One image whose data is sub-blocks of 255 bytes.
    head = (b"GIF89a" + struct.pack("<HH", 8192, 8192) + b"\xf7\0\0" + pool.take(768) +
            b"\x2c" + struct.pack("<HHHH", 0, 0, 8192, 8192) + b"\0" + b"\x08")

    def body(n):
        data = pool.take(n // 256 * 255)
        blocks = b"".join(b"\xff" + data[i:i + 255] for i in range(0, len(data), 255))
        # Pieces are whole blocks but for the last one.
        rest = n % 256
        return blocks + (bytes([rest - 1]) + pool.take(rest - 1) if rest else b"")

    write_sized(path, size - 2, head, body)
    with open(path, "ab") as f:
        f.write(b"\0;")


def make_jpeg(path, size, pool):
    # One baseline scan whose entropy-coded data holds no marker.
    head = (b"\xff\xd8" + b"\xff\xe0" + struct.pack(">H", 16) + b"JFIF\0\x01\x01\0\0\x01\0\x01\0\0" +
            b"\xff\xdb" + struct.pack(">H", 67) + b"\0" + bytes(range(1, 65)) +
            b"\xff\xc0" + struct.pack(">HBHHB", 11, 8, 8192, 8192, 1) + b"\x01\x11\0" +
            b"\xff\xda" + struct.pack(">HB", 8, 1) + b"\x01\0" + b"\0\x3f\0")

    def body(n):
        return pool.take(n).replace(b"\xff", b"\xfe")

    write_sized(path, size, head, body, b"\xff\xd9")


# name, the parser that must exist, the maker, whether a pipe is colored as
# it flows (and so measured at 1 GiB).
FORMATS = [
    ("zip", "zip", make_zip, False),
    ("png", "png", make_png, True),
    ("jpeg", "jpeg", make_jpeg, True),
    ("gzip", "gzip", make_gzip, True),
    ("bgzf", "gzip", make_bgzf, True),
    ("gif", "gif", make_gif, True),
]


def parsers_of(lumo):
    # The help goes to standard error.
    result = subprocess.run([lumo, "--help"], capture_output=True, text=True)
    text = result.stdout + result.stderr
    names = set()
    listing = False
    for line in text.splitlines():
        if "--parser" in line:
            listing = True
        elif listing and line.strip().startswith("- "):
            names.add(line.split()[1])
        elif listing and line.strip().startswith("--"):
            listing = False
    return names


def timed(command, stdin=None):
    result = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command, stdin=stdin,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        return None
    seconds, kib = result.stderr.split()[-2:]
    return float(seconds), int(kib)


def piped(command, path):
    # GNU time measures lumo alone; `cat` feeds it the file.
    feeder = subprocess.Popen(["cat", path], stdout=subprocess.PIPE)
    result = timed(command, stdin=feeder.stdout)
    feeder.stdout.close()
    feeder.wait()
    return result


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--lumo", default=os.path.join(here, "..", "build", "release", "lumo"))
    parser.add_argument("--folder", default=None)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    lumo = os.path.abspath(args.lumo)
    if not os.path.exists(lumo):
        sys.exit(f"no lumo at {lumo}: build the release preset first")
    known = parsers_of(lumo)
    formats = [f for f in FORMATS if f[1] in known]
    skipped = [f[0] for f in FORMATS if f[1] not in known]
    pool = Pool()

    with tempfile.TemporaryDirectory(dir=args.folder) as folder:
        size = 256 * MiB
        inputs = [("random", make_random)] + [(name, make) for name, _, make, _ in formats]
        paths = {}
        for name, make in inputs:
            paths[name] = os.path.join(folder, name)
            make(paths[name], size, pool)
        # Runs side by side: each round times every input once.
        seconds = {name: [] for name, _ in inputs}
        for _ in range(args.runs):
            for name, _ in inputs:
                result = timed([lumo, "--color", paths[name]])
                seconds[name].append(result[0] if result else float("nan"))
        base = statistics.median(seconds["random"])
        print(f"| 256 MiB, `lumo --color FILE > /dev/null` | seconds, median of {args.runs} "
              "| ratio to random |")
        print("|---|---:|---:|")
        for name, _ in inputs:
            median = statistics.median(seconds[name])
            print(f"| {name} | {median:.2f} | {median / base:.2f}x |")
        for path in paths.values():
            os.remove(path)

        print("\n| 1 GiB, `cat FILE | lumo --color -` | peak RSS MiB | seconds |")
        print("|---|---:|---:|")
        for name, _, make, forward in formats:
            if not forward:
                continue
            path = os.path.join(folder, name)
            make(path, 1 << 30, pool)
            start = time.perf_counter()
            result = piped([lumo, "--color", "-"], path)
            elapsed = time.perf_counter() - start
            rss = f"{result[1] / 1024:.1f}" if result else "failed"
            print(f"| {name} | {rss} | {elapsed:.1f} |")
            os.remove(path)
    if skipped:
        print(f"\nnot in this build: {', '.join(skipped)}")


if __name__ == "__main__":
    main()
