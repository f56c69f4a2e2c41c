#!/usr/bin/env python3
"""Builds the glyph table "res/charlist.dat" from its readable source.

    make_charlist.py TABLE FONT OUT          write OUT (checking TABLE)
    make_charlist.py --print TABLE FONT      print the rows with the offsets
                                             the font calls for

TABLE is UTF-8 text, one row per defined code:
    code  font  character  glyph-dx  glyph-dy  stem-dx  stem-dy  name
"#" starts a comment; the name is the rest of the row. Codes that have no row
become entries named "undefined" with every number 0.

Every row whose character is a note head in FONT (a glyph named notehead...,
or a composite glyph built on one) is checked against the head's outline:
the glyph offsets must centre the head on the anchor's pixel and the stem
offsets must make the stem meet the head (codes 64 to 127 are the stem-down
twins of 0 to 63). A mismatch stops the build and names the values the font
calls for; `--print` lists them all.

OUT: int32 count (256), then per code in order six int32 (font, character,
glyph dx, glyph dy, stem dx, stem dy) and the name as a counted string (one
length byte, or 0xFF and a 16-bit length), in GBK. All little-endian.
"""

import os
import struct
import sys

from fontTools.ttLib import TTFont

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velorin_geometry as vg  # noqa: E402

ENTRY_COUNT = 256
UNDEFINED = "undefined"


class Row:
    def __init__(self, line_no, code, font, char, gdx, gdy, sdx, sdy, name):
        self.line_no = line_no
        self.code, self.font, self.char = code, font, char
        self.gdx, self.gdy, self.sdx, self.sdy = gdx, gdy, sdx, sdy
        self.name = name

    def Numbers(self):
        return (self.font, self.char, self.gdx, self.gdy, self.sdx, self.sdy)


def Fail(msg):
    sys.exit("make_charlist: " + msg)


def ReadTable(path):
    rows = {}
    with open(path, encoding="utf-8") as f:
        for line_no, line in enumerate(f, 1):
            text = line.split("#", 1)[0].strip()
            if not text:
                continue
            fields = text.split(None, 7)
            if len(fields) != 8:
                Fail("%s:%d: expected 7 numbers and a name" % (path, line_no))
            try:
                numbers = [int(v) for v in fields[:7]]
            except ValueError:
                Fail("%s:%d: not a number in %r" % (path, line_no, fields[:7]))
            code, font, char = numbers[:3]
            if not 0 <= code < ENTRY_COUNT:
                Fail("%s:%d: code %d outside 0..255" % (path, line_no, code))
            if code in rows:
                Fail("%s:%d: code %d given twice" % (path, line_no, code))
            if not 0 <= char <= 255:
                Fail("%s:%d: character %d is not a byte" % (path, line_no, char))
            if font < 0:
                Fail("%s:%d: negative font index" % (path, line_no))
            name = fields[7].strip()
            try:
                encoded = name.encode("gbk")
            except UnicodeEncodeError:
                Fail("%s:%d: name %r has no GBK form" % (path, line_no, name))
            if len(encoded) >= 0xFFFF:
                Fail("%s:%d: name too long" % (path, line_no))
            rows[code] = Row(line_no, code, font, char, *numbers[3:], name)
    return rows


class FontHeads:
    """Note heads of the font by byte: the head's outline points (font units,
    relative to the glyph's origin) and whether it is a grace head."""

    def __init__(self, path):
        self.font = TTFont(path)
        self.cmap = self.font.getBestCmap()
        self.glyf = self.font["glyf"]

    def Head(self, byte):
        name = self.cmap.get(byte)
        if name is None:
            return None
        glyph = self.glyf[name]
        dx = dy = 0
        head = name if name.startswith("notehead") else None
        if glyph.isComposite():
            for comp in glyph.components:
                if comp.glyphName.startswith("notehead"):
                    head, dx, dy = comp.glyphName, comp.x, comp.y
                    break
        if head is None:
            return None
        points = SamplePoints(self.glyf[head], self.glyf)
        return [(x + dx, y + dy) for x, y in points], head.endswith("Grace")


def SamplePoints(glyph, glyf, steps=64):
    coords, ends, flags = glyph.getCoordinates(glyf)
    points = []
    start = 0
    for end in ends:
        contour = [(coords[i], flags[i] & 1) for i in range(start, end + 1)]
        start = end + 1
        # Expand implied on-curve points between consecutive off-curve ones.
        full = []
        n = len(contour)
        for i, (p, on) in enumerate(contour):
            full.append((p, on))
            q, q_on = contour[(i + 1) % n]
            if not on and not q_on:
                full.append((((p[0] + q[0]) / 2, (p[1] + q[1]) / 2), 1))
        while not full[0][1]:
            full.append(full.pop(0))
        m = len(full)
        i = 0
        while i < m:
            p0 = full[i][0]
            p1, on1 = full[(i + 1) % m]
            if on1:
                points.append(p0)
                i += 1
                continue
            p2 = full[(i + 2) % m][0]
            for k in range(steps):
                t = k / steps
                u = 1 - t
                points.append((u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
                               u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1]))
            i += 2
    return points


def ExpectedOffsets(heads, row):
    """(gdx, gdy, sdx, sdy) the font calls for, or None for a non-head row."""
    found = heads.Head(row.char)
    if found is None:
        return None
    points, grace = found
    gdx, gdy, up_dx, up_dy, down_dx, down_dy = vg.HeadEntryOffsets(vg.HeadGeometry(points), grace)
    down = 64 <= row.code < 128
    return (gdx, gdy, down_dx, down_dy) if down else (gdx, gdy, up_dx, up_dy)


def Check(rows, heads, table_path):
    problems = []
    for code in sorted(rows):
        row = rows[code]
        want = ExpectedOffsets(heads, row)
        if want is None:
            continue
        have = (row.gdx, row.gdy, row.sdx, row.sdy)
        if have != want:
            problems.append("%s:%d: code %d: offsets %s, the font calls for %s"
                            % (table_path, row.line_no, code, have, want))
    for code in range(64):
        up, down = rows.get(code), rows.get(code + 64)
        if (up is None) != (down is None):
            problems.append("%s: code %d has no stem-%s twin %d" % (
                table_path, code if up else code + 64, "down" if up else "up", code + 64 if up else code))
    if problems:
        Fail("glyph table and font disagree:\n  " + "\n  ".join(problems))


def Encode(rows):
    out = bytearray(struct.pack("<i", ENTRY_COUNT))
    for code in range(ENTRY_COUNT):
        row = rows.get(code)
        numbers = row.Numbers() if row else (0, 0, 0, 0, 0, 0)
        name = (row.name if row else UNDEFINED).encode("gbk")
        out += struct.pack("<6i", *numbers)
        if len(name) < 0xFF:
            out += struct.pack("<B", len(name))
        else:
            out += struct.pack("<BH", 0xFF, len(name))
        out += name
    return bytes(out)


def main(argv):
    if len(argv) == 4 and argv[1] == "--print":
        rows = ReadTable(argv[2])
        heads = FontHeads(argv[3])
        for code in sorted(rows):
            row = rows[code]
            want = ExpectedOffsets(heads, row) or (row.gdx, row.gdy, row.sdx, row.sdy)
            print("%-4d %-4d %-4d %4d %4d %4d %4d  %s" % (code, row.font, row.char, *want, row.name))
        return
    if len(argv) != 4:
        sys.exit(__doc__)
    table, font, out = argv[1:]
    rows = ReadTable(table)
    Check(rows, FontHeads(font), table)
    data = Encode(rows)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    tmp = out + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, out)


if __name__ == "__main__":
    main(sys.argv)
