#!/usr/bin/env python3
"""Builds the sample plug-in's toolbar files for the runtime folder:
the definition (UTF-8 here, GBK as the editor reads it) and the button
strip, a 24-bit bitmap drawn from the pictures below."""
import struct
import sys

# 16 x 15 each; '.' is the button face (shown as the bar's background).
PICTURES = [
    [  # raise a semitone: an arrow beside a note
        "....r...........",
        "...rrr.......#..",
        "..rrrrr......#..",
        ".rr.r.rr.....#..",
        "....r........#..",
        "....r........#..",
        "....r........#..",
        "....r........#..",
        "....r........#..",
        "....r........#..",
        "....r.....####..",
        "....r....#####..",
        "....r....#####..",
        "....r.....###...",
        "................",
    ],
    [  # count: a sum sign beside a note
        "................",
        ".bbbbbb......#..",
        ".b...........#..",
        "..b..........#..",
        "...b.........#..",
        "....b........#..",
        "...b.........#..",
        "..b..........#..",
        ".b...........#..",
        ".bbbbbb...####..",
        ".........#####..",
        ".........#####..",
        "..........###...",
        "................",
        "................",
    ],
]
COLOURS = {".": (192, 192, 192), "#": (0, 0, 0), "r": (176, 0, 0), "b": (0, 0, 160)}


def bitmap(pictures):
    height = len(pictures[0])
    rows = ["".join(p[y] for p in pictures) for y in range(height)]
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom row first
        line = bytearray()
        for c in row:
            r, g, b = COLOURS[c]
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def main():
    rci_source, rci_out, bmp_out = sys.argv[1:4]
    with open(rci_source, encoding="utf-8") as f:
        text = f.read()
    with open(rci_out, "wb") as f:
        f.write(text.replace("\n", "\r\n").encode("gbk"))
    with open(bmp_out, "wb") as f:
        f.write(bitmap(PICTURES))


if __name__ == "__main__":
    main()
