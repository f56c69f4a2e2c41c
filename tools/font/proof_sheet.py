#!/usr/bin/env python3
"""Renders a proof sheet of the velorin font and the glyph table to PNG.

    proof_sheet.py FONT CHARLIST OUT.png [--scale N]

Everything is placed the way the drawing code places it: staff lines and
stems are one-unit lines, glyphs are drawn with their text origin at the
offsets the drawing code uses (baseline = origin + ascent). --scale N draws
the same page N times larger (lines N pixels thick, fonts N times the pixel
size), which shows exactly where each 100 % pixel would fall. Small red dots
mark the reference points: a symbol is right when it sits on its dot the way
a musician expects (heads centred on it, clefs on their line, rests on their
line, marks centred on their anchor).
"""

import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velorin_geometry as vg  # noqa: E402

LABEL_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
INK = (0, 0, 0)
REF = (230, 0, 0)
BOX = (120, 160, 255)
LABEL = (90, 90, 90)


def ReadCharList(path):
    with open(path, "rb") as f:
        data = f.read()
    (count,) = struct.unpack_from("<i", data, 0)
    pos, entries = 4, []
    for _ in range(count):
        numbers = struct.unpack_from("<6i", data, pos)
        pos += 24
        n = data[pos]
        pos += 1
        if n == 0xFF:
            (n,) = struct.unpack_from("<H", data, pos)
            pos += 2
        name = data[pos:pos + n].decode("gbk")
        pos += n
        entries.append(numbers + (name,))
    return entries


class Page:
    def __init__(self, font_path, width, height, scale):
        self.s = scale
        self.font_path = font_path
        self.img = Image.new("RGB", (width * scale, height * scale), "white")
        self.d = ImageDraw.Draw(self.img)
        self.fonts = {}
        self.label_font = ImageFont.truetype(LABEL_FONT, 9 * scale)

    def Font(self, px):
        key = round(px * self.s, 3)
        if key not in self.fonts:
            self.fonts[key] = ImageFont.truetype(self.font_path, size=max(1, round(px * self.s)))
        return self.fonts[key]

    # One-unit lines cover the pixels they name, ends included.
    def HLine(self, x0, x1, y, colour=INK):
        s = self.s
        self.d.rectangle([x0 * s, y * s, (x1 + 1) * s - 1, (y + 1) * s - 1], fill=colour)

    def VLine(self, x, y0, y1, colour=INK):
        s = self.s
        y0, y1 = min(y0, y1), max(y0, y1)
        self.d.rectangle([x * s, y0 * s, (x + 1) * s - 1, (y1 + 1) * s - 1], fill=colour)

    def Fill(self, x0, y0, x1, y1, colour=INK):
        s = self.s
        self.d.rectangle([x0 * s, y0 * s, x1 * s - 1, y1 * s - 1], fill=colour)

    def Frame(self, x0, y0, x1, y1, colour=BOX):
        s = self.s
        self.d.rectangle([x0 * s, y0 * s, x1 * s, y1 * s], outline=colour, width=max(1, s // 3))

    def Dot(self, x, y):
        s = self.s
        c = (x + 0.5) * s, (y + 0.5) * s
        r = max(1, s // 2)
        self.d.ellipse([c[0] - r, c[1] - r, c[0] + r, c[1] + r], fill=REF)

    def Text(self, x, y, text, px=vg.REFERENCE_PIXELS, colour=INK):
        """Draws velorin text with its origin (top left of the cell) at (x, y)."""
        if isinstance(text, int):
            text = chr(text)
        ascent = px * vg.ASCENT / vg.UNITS_PER_EM
        self.d.text((x * self.s, (y + ascent) * self.s), text, font=self.Font(px), fill=colour, anchor="ls")

    def Label(self, x, y, text):
        self.d.text((x * self.s, y * self.s), text, font=self.label_font, fill=LABEL)

    def Staff(self, left, right, top):
        for k in range(5):
            self.HLine(left, right, top + 8 * k)

    def Save(self, path):
        self.img.save(path)


def Note(page, glyphs, x, y, top, head, stem, small=False, value=3, tail=0):
    """The note drawing: head glyph, stem, extra flag and ledger lines."""
    code = head + 64 if head < 64 and stem > 0 else head
    font, char, gdx, gdy, sdx, sdy, _ = glyphs[code]
    if small and head < 8:
        page.Text(x + vg.SMALL_NOTE_DX, y + vg.SMALL_NOTE_DY, char & 0xFF,
                  vg.PixelSizeForTenths(vg.SMALL_NOTE_TENTHS))
    else:
        page.Text(x + gdx, y + gdy, char & 0xFF)
    if stem and value > 1:
        page.VLine(x + sdx, y + sdy, y + sdy + stem)
    if tail in (18, 19):
        page.Text(x - 5, y - 48, ("J" if stem > 0 else "j") if tail == 18 else ("K" if stem > 0 else "k"))
    dy = y - top
    length, start = (10, 6) if small else (18, 8)
    if dy < -7:
        ly = top - 8
        while ly >= y and top - ly <= 16 * 8:
            page.HLine(x - start, x - start + length, ly)
            ly -= 8
    if dy >= 40:
        ly = top + 40
        while ly <= y and ly - top - 32 <= 16 * 8:
            page.HLine(x - start, x - start + length, ly)
            ly += 8
    page.Dot(x, y)


def Sheet(font_path, charlist_path, scale):
    glyphs = ReadCharList(charlist_path)
    W, H = 1000, 1010
    p = Page(font_path, W, H, scale)
    p.Label(10, 4, "velorin proof sheet: font 0 = 34 px em, staff space 8 units; red dots = reference points")

    # --- 1. clefs, key and time signatures, notes on every line and space --
    top = 60
    p.Label(10, top - 48, "treble clef, key signatures (259: 3 sharps, 275: 3 flats, 267: 3 naturals), 4/4 and 12/8, heads on lines and spaces")
    p.Staff(10, 990, top)
    p.Text(14, top - 16, "&")
    p.Dot(14, top + 24)
    for i, step in enumerate((8, 5, 9)):
        p.Text(50 + 8 * i, top - 16 - 4 * step, "#")
        p.Dot(50 + 8 * i, top + 32 - 4 * step)
    for i, step in enumerate((4, 7, 3)):
        p.Text(82 + 8 * i, top - 16 - 4 * step, "b")
        p.Dot(82 + 8 * i, top + 32 - 4 * step)
    for i, step in enumerate((8, 5, 9)):
        p.Text(114 + 8 * i, top - 16 - 4 * step, "n")
    p.Text(146, top - 40, "4")
    p.Text(146, top - 24, "4")
    p.Text(170, top - 40, "12")
    p.Text(170, top - 24, "8")
    x = 210
    for dy in range(-20, 53, 4):
        stem = 28 if dy <= 15 else -28
        Note(p, glyphs, x, top + dy, top, 3, stem)
        x += 18
    Bar(p, 14 * 0 + 552, top, 0)

    # --- 2. durations, stems up and down ------------------------------------
    top = 170
    p.Label(10, top - 48, "codes 0-8 stem up, then stem down; grace codes 9, 10; cross and diamond heads 11, 12; Tail 18/19 flags on a quarter")
    p.Staff(10, 990, top)
    x = 24
    for code in range(9):
        Note(p, glyphs, x, top + 24, top, code, -28 if code > 1 else 0, value=code)
        x += 24 if code else 30
    for code in range(2, 9):
        Note(p, glyphs, x, top + 8, top, code, 28, value=code)
        x += 24
    x += 8
    for code, stem, dy in ((9, -28, 24), (9, 28, 8), (10, -28, 28), (10, -28, 20), (11, -28, 24), (12, -28, 20),
                           (11, 28, 8), (12, 28, 12)):
        Note(p, glyphs, x, top + dy, top, code, stem, value=9 if code < 11 else 3)
        x += 24
    x += 8
    Note(p, glyphs, x, top + 24, top, 3, -28, tail=18)
    x += 24
    Note(p, glyphs, x, top + 8, top, 3, 28, tail=18)
    x += 24
    Note(p, glyphs, x, top + 24, top, 3, -28, tail=19)
    x += 24
    Note(p, glyphs, x, top + 8, top, 3, 28, tail=19)
    x += 30
    # small notes (Style 0x10000, Head below 8): the 14-point path
    p.Label(x - 4, top + 44, "small notes as drawn")
    for code, stem, dy in ((3, -28, 24), (4, -28, 20), (5, 28, 8), (2, -28, 28)):
        Note(p, glyphs, x, top + dy, top, code, stem, small=True, value=code)
        x += 18
    # A beamed pair of grace heads: the beam moves 4 units left of the stem x.
    for (nx, dy) in ((x, 24), (x + 16, 20)):
        Note(p, glyphs, nx, top + dy, top, 10, -28, value=9)
    Beam(p, x + 4 - 4, top + 24 - 28 - 1, x + 16 + 4 - 4, top + 20 - 28 - 1)
    x += 44
    p.Label(x - 6, top + 44, "suggested: stems of 10/74, x 19/34")
    for code, stem, dy in ((3, -28, 24), (4, -28, 20), (5, 28, 8), (2, -28, 28)):
        SmallNoteSuggested(p, glyphs, x, top + dy, top, code, stem)
        x += 18

    # --- 3. ledger lines and whole notes -------------------------------------
    top = 290
    p.Label(10, top - 48, "ledger lines (dy -12, -8, -7, 40, 56), whole and breve heads, bar lines 0, 5, 6, 9, 41, 166 with repeat dots")
    p.Staff(10, 990, top)
    x = 24
    for dy in (-12, -8, -7, -24, 40, 56, 64):
        Note(p, glyphs, x, top + dy, top, 3, 28 if dy < 16 else -28)
        x += 26
    for code, dy in ((1, 16), (1, 12), (0, 20), (0, 28)):
        Note(p, glyphs, x, top + dy, top, code, 0, value=code)
        x += 40 if code == 0 else 26
    x += 30
    for value in (0, 5, 6, 9, 41, 166):
        Bar(p, x, top, value)
        x += 50
    # chord of seconds, stems meeting heads on both sides
    x += 10
    for dy, shift in ((24, 0), (20, 8), (16, 0)):
        Note(p, glyphs, x + shift, top + dy, top, 3, 0)
    p.VLine(x + 4, top + 24 - 1, top + 16 - 28)

    # --- 4. bass and alto clefs, rests, accidentals as marks -----------------
    top = 400
    p.Label(10, top - 48, "bass and alto clefs; rests codes 0-8 at the middle line with their boxes; accidental marks 1, 2, 3, 7, 8")
    p.Staff(10, 990, top)
    p.Text(14, top - 14, "?")
    p.Dot(14, top + 8)
    p.Text(60, top - 32, "B")
    p.Dot(60, top + 16)
    rest_bytes = (208, 238, 183, 206, 228, 197, 168, 244, 229)
    rest_dx = (-6, -6, -6, -4, -4, -4, -4, -4, -4)
    rest_dy = (-4, -4, 4, 0, -4, 0, 8, 8, 0)
    boxes = {0: (16, -8, 0), 1: (16, -8, 0), 2: (16, -8, 0), 3: (16, -16, 16), 5: (16, -16, 16),
             4: (16, -8, 8), 6: (24, -20, 20), 7: (24, -24, 24), 8: (24, -24, 24)}
    x = 110
    for c in range(9):
        w, bt, bb = boxes[c]
        X, Y = x + w // 2, top + 16
        p.Frame(x, Y + bt, x + w, Y + bb)
        p.Text(X + rest_dx[c], Y - 48 + rest_dy[c], rest_bytes[c])
        p.Dot(X, Y)
        x += w + 14
    x += 10
    for t, glyph in ((1, "b"), (2, "#"), (3, "n"), (7, 186), (8, 220)):
        X, Y = x, top + 12
        p.Text(X - 4, Y - 48, glyph)
        Note(p, glyphs, X + 14, Y, top, 3, 28)
        x += 40

    # --- 5. small clefs (font 5, 17.6 pt = 23 px) with the system's boxes ----
    p.Label(600, top - 48, "small clefs 3, 4, 5 (font 5, 23 px), boxes as placed")
    small = vg.PixelSizeForTenths(176)
    x = 620
    for value, (glyph, dy, box) in ((3, ("&", 0, (-25, 10))), (4, ("?", -4, (-8, 10))), (5, ("B", -6, (-8, 10)))):
        box_top = top + box[0]
        p.Frame(x, box_top, x + 20, top + box[1])
        p.Text(x, box_top + dy, glyph, small)
        x += 40
    p.Label(740, top + 40, "for comparison, placed on their lines:")
    x = 870
    for glyph, line, oy in (("&", 24, -40), ("?", 8, -22), ("B", 16, -48)):
        # The clef's line lies (oy + 47.5) px (at 34 px) above its baseline.
        ref_height = (oy + vg.ASCENT_PIXELS - 0.5) * small / vg.REFERENCE_PIXELS
        ascent = small * vg.ASCENT / vg.UNITS_PER_EM
        p.Text(x, top + line + 0.5 + ref_height - ascent, glyph, small)
        x += 30

    # --- 6. marks -------------------------------------------------------------
    top = 520
    p.Label(10, top - 48, "marks at anchors on the middle line (type: glyph); anchors are the red dots")
    p.Staff(10, 990, top)
    marks = [
        (16, [(175, -5, -43)]), (17, [(223, 0, -48)]), (20, [(212, -10, -40)]), (21, [(161, 0, -32)]),
        (22, [("*", -6, -42)]), (33, [(133, -4, -48)]), (35, [(135, -4, -48)]), (48, [("U", -10, -48)]),
        (49, [("u", -10, -48)]), (50, [(230, -4, -44)]), (51, [(231, -4, -44)]), (60, [(64, -12, -48)]),
        (61, [(65, -12, -48)]), (64, [("~", -6, -46)]), (65, [("T", -10, -48)]),
        (66, [(199, -10, -45), ("T", -10, -48)]), (67, [("`", 0, -32)]), (68, [("`", 0, -32), ("i", 16, -40)]),
        (69, [("`", 0, -32), ("I", 16, -40)]), (70, [("`", 0, -32), (233, 16, -40)]),
    ]
    marks2 = [
        (71, [("m", 0, -43)]), (72, [("M", 0, -43)]), (75, [("+", -4, -48)]), (76, [(159, -4, -48)]),
        (77, [("o", -2, -48)]), (78, [(245, -4, -48)]), (79, [(178, -4, -40)]), (80, [(179, -6, -44)]),
        (82, [(195, 0, -42)]), (83, [(215, 0, -42)]), (88, [("-", -4, -48)]), (90, [(".", 0, -48)]),
        (91, [("-", -4, -48), (".", 0, -44)]), (92, [(".", 0, -48), ("-", -4, -44)]), (93, [(">", -8, -44)]),
        (94, [("-", -8, -56), (">", -8, -44)]), (95, [("-", -8, -44), (">", -8, -48)]),
        (96, [(".", -4, -56), (">", -8, -46)]), (97, [(".", -4, -46), (">", -8, -48)]), (106, [(174, 0, -48)]),
        (107, [("'", 0, -48)]), (116, [("c", 0, -32)]), (99, [("*", -8, -40)]),
    ]
    for row, (items, y) in enumerate(((marks, top + 16), (marks2, top + 86))):
        if row == 1:
            p.Staff(10, 990, top + 70)
        x = 24
        for mtype, draws in items:
            for glyph, ox, oy in draws:
                p.Text(x + ox, y + oy, glyph)
            p.Dot(x, y)
            p.Label(x - 6, y + 22, str(mtype))
            x += 44 if mtype not in (21, 68, 69, 70, 82, 83) else 56

    # --- 7. brace, arpeggio, dynamics ----------------------------------------
    top = 720
    p.Label(10, top - 48, "piano system: brace from 12 to 2 units left of the staves (H = 132), staff lines 100 apart; arpeggio; dynamics in velorin")
    left = 60
    p.Staff(left, 400, top)
    p.Staff(left, 400, top + 100)
    p.VLine(left, top, top + 132)
    Brace(p, left - 12, top, left - 2, top + 132)
    Brace(p, 20, top + 10, 30, top + 74)
    p.Text(450, top - 16, "&")
    p.Staff(440, 600, top)
    p.Staff(440, 600, top + 100)
    for dy in (24, 16, 8):
        Note(p, glyphs, 500, top + dy, top, 3, 0)
    Arpeggio(p, 480, top + 4, top + 4 + 36)
    Arpeggio(p, 480, top + 96, top + 96 + 54)
    for dy in (124, 116, 108, 100):
        Note(p, glyphs, 500, top + dy, top + 100, 3, 0)
    x = 640
    for text, px in (("ppp", 34), ("p", 34), ("PF", 34), ("fz", 34), ("zffz", 34), ("sfz", 34), ("rfz", 34)):
        p.Text(x, top + 40 - 48, text, px)
        p.HLine(x, x + 20, top + 40, BOX)
        x += 50 if len(text) < 4 else 70
    p.Label(640, top + 60, "p  mp/mf (bytes P, F)  fz  zffz  sfz  rfz on the blue baseline")
    x = 640
    for text in ("ppp", "mf".replace("m", "P"), "f", "zffz"):
        p.Text(x, top + 100 - 48 * 17 / 34, text, 17)
        x += 40
    p.Label(640, top + 110, "the same in font 3 (17 px)")

    # --- 8. octave line and tremolo/trill on notes ----------------------------
    top = 930
    p.Label(10, top - 48, "octave line \"8\" (Top - 40), marks above and below notes, staccato placement of AddStaccatoMarks")
    p.Staff(10, 990, top)
    p.Text(30, top - 16 - 40, "8")
    for xx in range(46, 200, 3):
        p.HLine(xx, xx, top - 16 + 4)
    x = 230
    for dy, stem in ((24, -28), (20, -28), (8, 28), (12, 28)):
        Note(p, glyphs, x, top + dy, top, 3, stem)
        o = 8 if stem < 1 else -8
        if dy % 8 == 0:
            o = 12 if stem < 1 else -12
        p.Text(x, top + dy + o - 48, ".")
        x += 40
    Note(p, glyphs, x, top + 24, top, 3, -28)
    p.Text(x - 10, top - 14 - 48, "U")
    Note(p, glyphs, x + 40, top + 8, top, 3, 28)
    p.Text(x + 40 - 10, top + 46 - 48, "u")
    # augmentation dots: anchor 12 right of the note's Right (X + 8), 4 higher on a line
    for i, (dy, mark) in enumerate(((16, 175), (20, 175), (16, 223), (20, 223))):
        nx = x + 80 + 44 * i
        Note(p, glyphs, nx, top + dy, top, 2, -28)
        ax, ay = nx + 20, top + dy - (4 if dy % 8 == 0 else 0)
        if mark == 175:
            p.Text(ax - 5, ay - 43, 175)
        else:
            p.Text(ax, ay - 48, 223)
        p.Dot(ax, ay)
    return p


def SmallNoteSuggested(p, glyphs, x, y, top, head, stem):
    """A small note whose stem meets its small head and flag: the stem offsets
    of the grace head (entry 10 or 74) and the stem scaled like the glyph."""
    code = head + 64 if stem > 0 else head
    char = glyphs[code][1]
    _, _, _, _, sdx, sdy, _ = glyphs[74 if stem > 0 else 10]
    px = vg.PixelSizeForTenths(vg.SMALL_NOTE_TENTHS)
    p.Text(x + vg.SMALL_NOTE_DX, y + vg.SMALL_NOTE_DY, char & 0xFF, px)
    if head > 1:
        p.VLine(x + sdx, y + sdy, y + sdy + vg.Round(stem * px / vg.REFERENCE_PIXELS))
    p.Dot(x, y)


def Bar(p, R, top, value, bottom=None):
    bottom = top + 32 if bottom is None else bottom
    strokes = {0: [(-1, 1)], 1: [(-1, 1)], 5: [(-4, 1), (-1, 1)], 6: [(-7, 3), (-1, 1)], 166: [(-7, 3), (-1, 1)],
               9: [(-6, 1), (-3, 3)], 41: [(-6, 1), (-3, 3)]}[value]
    for dx, w in strokes:
        p.Fill(R + dx, top, R + dx + w, bottom + 1)
    if value & 0xF0:
        x = R - 13 if value == 41 else R
        p.Text(x, top - 16, "{")


def Beam(p, x0, y0, x1, y1):
    s = p.s
    p.d.polygon([(x0 * s, y0 * s), (x1 * s, y1 * s), (x1 * s, (y1 + 2) * s), (x0 * s, (y0 + 2) * s)], fill=INK)


def Brace(p, left, top, right, bottom):
    """The bracket: a velorin font of (Bottom - Top) x 2 tenths of a point."""
    h = bottom - top
    em = h * 2 * 96 / 720           # exact em; the program may round it
    ascent = em * vg.ASCENT / vg.UNITS_PER_EM
    leading = em * (vg.ASCENT + vg.DESCENT - vg.UNITS_PER_EM) / vg.UNITS_PER_EM
    avg = em * vg.BRACE_WIDTH / vg.UNITS_PER_EM
    p.Frame(left, top, right, bottom)
    p.Text(right - avg, top + ascent - leading, 167, em)
    p.Text(right - avg, top + ascent, 234, em)


def Arpeggio(p, left, top, bottom):
    for k in range((bottom - top) // 18):
        p.Text(left, top - 32 + 18 * k, "g")
    p.Frame(left - 1, top, left + 6, bottom)


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--scale")]
    scale = 1
    for a in argv[1:]:
        if a.startswith("--scale"):
            scale = int(a.split("=", 1)[1]) if "=" in a else 4
    if len(args) != 3:
        sys.exit(__doc__)
    Sheet(args[0], args[1], scale).Save(args[2])


if __name__ == "__main__":
    main(sys.argv)
