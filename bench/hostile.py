#!/usr/bin/env python3
"""Time and peak memory of coloring crafted 20 MB inputs.

Usage: python3 bench/hostile.py [--lumo PATH] [--folder DIR] [--runs N]
Needs GNU time (Debian package `time`).
Each input is built to give the parsers the most work per byte:
  - a wasm module of empty sections whose headers alternate between 2 and 3
    bytes, so that no two neighbours form a row of equal entries;
  - a thin Mach-O file of 8-byte load commands, and one whose commands
    alternate between 8 and 12 bytes;
  - a universal file of 30 slices, each a thin file of 8-byte commands;
  - a universal file of 30 slices that all point at the same thin file, whose
    one segment holds 500,000 section records (40 MB), shown from its end
    (so every paint is needed), with --color and with --legend, which keeps
    the name of every structure;
  - a PNG of empty 12-byte chunks, a BGZF file of empty 28-byte blocks, a
    GIF of empty 3-byte comment extensions and a JPEG of 2-byte TEM markers
    (a million and more of each, walked up to the bounds that the man page
    states);
  - a JPEG whose one scan is all stuffed bytes (FF 00), the most work per
    byte of a scan.
lumo runs with --color --length 16, so the time is that of building the
colors, not of writing the dump. Prints the median time and the peak
resident memory of each.
"""
import argparse
import os
import statistics
import struct
import subprocess
import tempfile

SIZE = 20_000_000


def mixed_wasm():
    out = bytearray(b"\0asm\1\0\0\0")
    headers = (b"\x01\x00", b"\x01\x80\x00")
    index = 0
    while len(out) < SIZE:
        out += headers[index % 2]
        index += 1
    return out


def thin_macho(size):
    count = (size - 32) // 8
    out = bytearray(struct.pack("<IiiIIIII", 0xFEEDFACF, 0x0100000C, 0, 2, count, count * 8, 0, 0))
    out += struct.pack("<II", 2, 8) * count
    return out


def mixed_macho():
    commands = bytearray()
    count = 0
    while 32 + len(commands) < SIZE - 16:
        commands += struct.pack("<II", 2, 8) if count % 2 == 0 else struct.pack("<III", 2, 12, 0)
        count += 1
    header = struct.pack("<IiiIIIII", 0xFEEDFACF, 0x0100000C, 0, 2, count, len(commands), 0, 0)
    return bytearray(header) + commands


def universal_macho(slices=30):
    slice_size = ((SIZE - 4096) // slices) & ~0xFFF
    out = bytearray(struct.pack(">II", 0xCAFEBABE, slices))
    for k in range(slices):
        out += struct.pack(">iiIII", 0x0100000C, k, 4096 + k * slice_size, slice_size, 12)
    out += bytes(4096 - len(out))
    body = thin_macho(slice_size)
    for _ in range(slices):
        out += body
    return out


def stacked_universal(slices=30, sections=500_000):
    cmdsize = 72 + 80 * sections
    thin = bytearray(struct.pack("<IiiIIIII", 0xFEEDFACF, 0x0100000C, 0, 2, 1, cmdsize, 0, 0))
    thin += struct.pack("<II16sQQQQiiII", 0x19, cmdsize, b"__TEXT", 0, 0, 0, 0, 7, 5, sections, 0)
    record = struct.pack("<16s16sQQIIIIIIII", b"__text", b"__TEXT", 0, 16, 32, 0, 0, 0, 0, 0, 0, 0)
    thin += record * sections
    out = bytearray(struct.pack(">II", 0xCAFEBABE, slices))
    for k in range(slices):
        out += struct.pack(">iiIII", 0x0100000C, k, 4096, len(thin), 12)
    out += bytes(4096 - len(out))
    return out + thin


def empty_png_chunks():
    chunk = struct.pack(">I", 0) + b"abcd" + b"\0\0\0\0"
    return b"\x89PNG\r\n\x1a\n" + chunk * ((SIZE - 8) // len(chunk))


def empty_bgzf_blocks():
    block = bytes([0x1F, 0x8B, 8, 4, 0, 0, 0, 0, 0, 3, 6, 0, 66, 67, 2, 0, 27, 0, 3, 0]) + bytes(8)
    return block * (SIZE // len(block))


def empty_gif_extensions():
    return b"GIF89a\1\0\1\0\0\0\0" + b"\x21\xfe\0" * ((SIZE - 13) // 3)


def jpeg_tem_markers():
    return b"\xff\xd8" + b"\xff\x01" * ((SIZE - 2) // 2)


def jpeg_stuffed_scan():
    return b"\xff\xd8\xff\xda\0\2" + b"\xff\0" * ((SIZE - 6) // 2)


def measure(lumo, path, runs, flags):
    times, peaks = [], []
    for _ in range(runs):
        result = subprocess.run(
            ["/usr/bin/time", "-f", "%e %M", lumo, "--color", "--length", "16", *flags, path],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
        seconds, kib = result.stderr.split()[-2:]
        times.append(float(seconds))
        peaks.append(int(kib))
    return statistics.median(times), max(peaks)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lumo", default="build/release/lumo")
    parser.add_argument("--folder")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    # The window at the file's end, where a walk's paints are all needed.
    at_end = ("--skip", "40000000")
    with tempfile.TemporaryDirectory(dir=args.folder) as folder:
        inputs = {
            "wasm, 2/3-byte empty sections": ("mixed.wasm", mixed_wasm),
            "Mach-O, 8-byte commands": ("commands.macho", lambda: thin_macho(SIZE)),
            "Mach-O, 8/12-byte commands": ("mixed.macho", mixed_macho),
            "universal, 30 slices of those": ("universal.macho", universal_macho),
            "universal, 30 slices at one offset": ("stacked.macho", stacked_universal, *at_end),
            "  the same, --legend": ("stacked.macho", stacked_universal, *at_end, "--legend"),
            "PNG, 12-byte empty chunks": ("empty.png", empty_png_chunks),
            "gzip, 28-byte empty BGZF blocks": ("empty.gz", empty_bgzf_blocks),
            "GIF, 3-byte empty extensions": ("empty.gif", empty_gif_extensions),
            "JPEG, 2-byte TEM markers": ("tem.jpg", jpeg_tem_markers),
            "JPEG, a scan of stuffed bytes": ("stuffed.jpg", jpeg_stuffed_scan),
        }
        for title, (name, build, *flags) in inputs.items():
            path = os.path.join(folder, name)
            if not os.path.exists(path):
                with open(path, "wb") as file:
                    file.write(build())
            seconds, kib = measure(args.lumo, path, args.runs, flags)
            print(f"{title:34} {seconds:6.2f} s {kib / 1024:8.1f} MiB")


if __name__ == "__main__":
    main()
