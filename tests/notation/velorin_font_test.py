#!/usr/bin/env python3
"""Checks the generated music font "velorin" and glyph table against the
byte table and the drawing rules of the notation code.

    velorin_font_test.py --font velorin.ttf --charlist charlist.dat
                         --bravura BRAVURA_DIR --metrics notation/velorin_metrics.h

Positions are checked the way the drawing code places glyphs: a glyph's text
origin is the top left of its cell, its baseline lies ascent (48 units at the
34-pixel em of font 0) below it, and one unit is one pixel whose centre is at
+0.5. Font units: 50 per pixel at 34 pixels.
"""

import argparse
import os
import re
import struct
import sys
import unittest

from fontTools.pens.boundsPen import BoundsPen
from fontTools.ttLib import TTFont

ARGS = None
PX = 50.0          # font units per pixel at the 34-pixel em
ASCENT_PX = 48.0

# The byte table: byte -> (glyph name in velorin, Bravura code point the
# outline comes from, scale against Bravura). None: a glyph built from parts.
SYMBOLS = {
    38: ("gClef", 0xE050), 63: ("fClef", 0xE062), 66: ("cClef", 0xE05C),
    35: ("accidentalSharp", 0xE262), 98: ("accidentalFlat", 0xE260), 110: ("accidentalNatural", 0xE261),
    186: ("accidentalDoubleFlat", 0xE264), 220: ("accidentalDoubleSharp", 0xE263),
    **{48 + d: ("timeSig%d" % d, 0xE080 + d) for d in range(10)},
    123: ("repeatDots", 0xE043),
    208: ("restDoubleWhole", 0xE4E2), 238: ("restWhole", 0xE4E3), 183: ("restHalf", 0xE4E4),
    206: ("restQuarter", 0xE4E5), 228: ("rest8th", 0xE4E6), 197: ("rest16th", 0xE4E7),
    168: ("rest32nd", 0xE4E8), 244: ("rest64th", 0xE4E9), 229: ("rest128th", 0xE4EA),
    74: ("flag8thDown", 0xE241), 106: ("flag8thUp", 0xE240), 75: ("flag16thDown", 0xE243), 107: ("flag16thUp", 0xE242),
    175: ("augmentationDot", 0xE1E7), 212: ("repeat1Bar", 0xE500), 161: ("keyboardPedalPed", 0xE650),
    42: ("keyboardPedalUp", 0xE655), 133: ("fingering1", 0xED11), 134: ("fingering2", 0xED12),
    135: ("fingering3", 0xED13), 136: ("fingering4", 0xED14), 137: ("fingering5", 0xED15),
    85: ("fermataAbove", 0xE4C0), 117: ("fermataBelow", 0xE4C1), 230: ("fermataShortAbove", 0xE4C4),
    231: ("fermataShortBelow", 0xE4C5), 64: ("tremolo2", 0xE221), 65: ("tremolo3", 0xE222),
    84: ("ornamentTurn", 0xE567), 199: ("ornamentTurnSlash", 0xE569), 96: ("ornamentTrill", 0xE566),
    109: ("ornamentShortTrill", 0xE56C), 77: ("ornamentMordent", 0xE56D), 43: ("brassMuteClosed", 0xE5E5),
    159: ("brassMuteHalfClosed", 0xE5E6), 111: ("stringsHarmonic", 0xE614), 245: ("stringsThumbPosition", 0xE624),
    178: ("stringsUpBow", 0xE612), 179: ("stringsDownBow", 0xE610), 195: ("ottavaAlta", 0xE511),
    215: ("ottavaBassaVb", 0xE51C), 45: ("articTenutoAbove", 0xE4A4), 46: ("articStaccatoAbove", 0xE4A2),
    62: ("articAccentAbove", 0xE4A0), 174: ("articStaccatissimoAbove", 0xE4A6),
    39: ("articStaccatissimoBelow", 0xE4A7), 99: ("timeSigCommon", 0xE08A),
    207: ("noteheadBlack", 0xE0A4), 250: ("noteheadHalf", 0xE0A3), 119: ("noteheadWhole", 0xE0A2),
    87: ("noteheadDoubleWhole", 0xE0A0),
    112: ("dynamicPiano", 0xE520), 102: ("dynamicForte", 0xE522), 122: ("dynamicZ", 0xE525),
    115: ("dynamicSforzando", 0xE524), 114: ("dynamicRinforzando", 0xE523), 80: ("dynamicMP", 0xE52C),
    70: ("dynamicMF", 0xE52D),
}
SCALED = {105: ("accidentalFlatSmall", 0xF427, 0.65), 73: ("accidentalSharpSmall", 0xF429, 0.65),
          233: ("accidentalNaturalSmall", 0xF428, 0.65)}
BUILT = {167: "braceUpper", 234: "braceLower", 103: "arpeggio", 223: "augmentationDotDouble", 126: "wiggleTrill"}

# Rests: byte, the drawing offsets (dx, dy) and the PlaceAt box (width, top, bottom).
RESTS = [(208, -6, -4, (16, -8, 0)), (238, -6, -4, (16, -8, 0)), (183, -6, 4, (16, -8, 0)),
         (206, -4, 0, (16, -16, 16)), (228, -4, -4, (16, -8, 8)), (197, -4, 0, (16, -16, 16)),
         (168, -4, 8, (24, -20, 20)), (244, -4, 8, (24, -24, 24)), (229, -4, 0, (24, -24, 24))]


def ReadCharList(path):
    with open(path, "rb") as f:
        data = f.read()
    (count,) = struct.unpack_from("<i", data, 0)
    pos, out = 4, []
    for _ in range(count):
        numbers = struct.unpack_from("<6i", data, pos)
        pos += 24
        n = data[pos]
        pos += 1
        if n == 0xFF:
            (n,) = struct.unpack_from("<H", data, pos)
            pos += 2
        out.append(numbers + (data[pos:pos + n].decode("gbk"),))
        pos += n
    return out, pos == len(data)


class Fonts:
    def __init__(self):
        self.v = TTFont(ARGS.font)
        self.b = TTFont(os.path.join(ARGS.bravura, "bravura.otf"))
        self.vset = self.v.getGlyphSet()
        self.bset = self.b.getGlyphSet()
        self.vcmap = self.v.getBestCmap()
        self.bcmap = self.b.getBestCmap()

    def Bounds(self, name):
        pen = BoundsPen(self.vset)
        self.vset[name].draw(pen)
        return pen.bounds

    def ByteBounds(self, byte):
        return self.Bounds(self.vcmap[byte])

    def BravuraBounds(self, cp):
        pen = BoundsPen(self.bset)
        self.bset[self.bcmap[cp]].draw(pen)
        return pen.bounds


F = None


class Header(unittest.TestCase):
    def test_metrics_follow_the_34_pixel_em_of_font_0(self):
        v = F.v
        self.assertEqual(v["head"].unitsPerEm, 1700)
        self.assertEqual((v["hhea"].ascent, v["hhea"].descent, v["hhea"].lineGap), (2400, -1200, 0))
        os2 = v["OS/2"]
        self.assertEqual((os2.sTypoAscender, os2.sTypoDescender, os2.sTypoLineGap), (2400, -1200, 0))
        self.assertEqual((os2.usWinAscent, os2.usWinDescent), (2400, 1200))
        self.assertTrue(os2.fsSelection & 0x80, "USE_TYPO_METRICS")
        # 48 px ascent at a 34 px em: "drawn at y - 48, reference point at y".
        self.assertEqual(v["hhea"].ascent * 34 / v["head"].unitsPerEm, ASCENT_PX)

    def test_family_is_velorin_and_not_the_reserved_name(self):
        name = F.v["name"]
        self.assertEqual(name.getDebugName(1), "velorin")
        self.assertEqual(name.getDebugName(4), "velorin")
        self.assertEqual(name.getDebugName(6), "velorin")
        for rec in name.names:
            if rec.nameID in (1, 4, 6, 16):
                self.assertNotIn("Bravura", rec.toUnicode())

    def test_cpp_metrics_header_agrees_with_the_font(self):
        with open(ARGS.metrics, encoding="utf-8") as f:
            text = f.read()
        consts = {k: int(v) for k, v in re.findall(r"constexpr int (kVelorin\w+) = (\d+);", text)}
        v = F.v
        self.assertEqual(consts["kVelorinUnitsPerEm"], v["head"].unitsPerEm)
        self.assertEqual(consts["kVelorinAscent"], v["hhea"].ascent)
        self.assertEqual(consts["kVelorinDescent"], -v["hhea"].descent)
        self.assertEqual(consts["kVelorinAverageCharWidth"], v["OS/2"].xAvgCharWidth)
        self.assertEqual(consts["kVelorinUnitsPerSpace"] * 34 // 8, consts["kVelorinUnitsPerEm"])


class ByteTable(unittest.TestCase):
    def test_every_byte_holds_its_symbol_under_both_character_maps(self):
        wanted = {**{b: n for b, (n, _) in SYMBOLS.items()}, **{b: n for b, (n, _, _) in SCALED.items()}, **BUILT}
        for byte, name in wanted.items():
            with self.subTest(byte=byte):
                self.assertEqual(F.vcmap.get(byte), name)
                self.assertEqual(F.vcmap.get(0xF000 + byte), name)

    def test_copied_symbols_are_bravura_outlines_at_400_units_per_space(self):
        for byte, (name, cp) in list(SYMBOLS.items()) + [(b, (n, c)) for b, (n, c, _) in SCALED.items()]:
            scale = 1.6 * (SCALED[byte][2] if byte in SCALED else 1.0)
            with self.subTest(byte=byte, name=name):
                vx0, vy0, vx1, vy1 = F.ByteBounds(byte)
                bx0, by0, bx1, by1 = F.BravuraBounds(cp)
                self.assertAlmostEqual(vx1 - vx0, (bx1 - bx0) * scale, delta=3)
                self.assertAlmostEqual(vy1 - vy0, (by1 - by0) * scale, delta=3)

    def test_glyph_table_characters_exist_in_the_font(self):
        entries, _ = ReadCharList(ARGS.charlist)
        for code, e in enumerate(entries):
            if e[6] != "undefined":
                self.assertIn(e[1] & 0xFF, F.vcmap, "code %d" % code)


def Shift(byte):
    """Where the SMuFL origin of a copied symbol lies in velorin (px, y up)."""
    name, cp = SYMBOLS[byte]
    vx0, vy0, _, _ = F.ByteBounds(byte)
    bx0, by0, _, _ = F.BravuraBounds(cp)
    return (vx0 - bx0 * 1.6) / PX, (vy0 - by0 * 1.6) / PX


def Height(origin_offset, ref_offset):
    """Height above the baseline (px) of the centre of the pixel row at
    ref_offset, for a text origin at origin_offset (both from the same y)."""
    return origin_offset + ASCENT_PX - (ref_offset + 0.5)


class Calibration(unittest.TestCase):
    def test_clefs_sit_on_their_lines(self):
        # Clef signs draw "&" at Top - 16, "?" at Top - 14, "B" at Top - 32 (Top:
        # the stave's top line); G is Top + 24, F is Top + 8, C is Top + 16.
        for byte, origin, line in ((38, -16, 24), (63, -14, 8), (66, -32, 16)):
            self.assertAlmostEqual(Shift(byte)[1], Height(origin, line), delta=0.05, msg=chr(byte))

    def test_key_signature_accidentals_and_time_digits_sit_on_their_pitch(self):
        # Accidental i of a key signature: origin Top - 16 - 4 step, pitch Top + 32 - 4 step.
        for byte in (35, 98, 110, 186, 220):
            self.assertAlmostEqual(Shift(byte)[1], Height(-16, 32), delta=0.05)
        # Numerator at Top - 40 centred on the second line (Top + 8).
        for byte in range(48, 58):
            _, vy0, _, vy1 = F.ByteBounds(byte)
            centre = (vy0 + vy1) / 2 / PX
            self.assertAlmostEqual(centre, Height(-40, 8), delta=0.4, msg=chr(byte))

    def test_rests_lie_in_their_boxes_on_their_lines(self):
        for byte, dx, dy, (width, top, bottom) in RESTS:
            with self.subTest(byte=byte):
                x0, y0, x1, y1 = (v / PX for v in F.ByteBounds(byte))
                # Screen y of ink relative to Y: baseline at Y + dy.
                ink_top, ink_bottom = dy - y1, dy - y0
                self.assertGreaterEqual(ink_top, top - 0.5)
                self.assertLessEqual(ink_bottom, bottom + 0.6)
                centre_x = dx + (x0 + x1) / 2
                self.assertAlmostEqual(centre_x, 0.5, delta=0.05)
        # The whole rest hangs from the line above Y, the half rest stands on Y,
        # the breve fills the space above Y (rows Y - 8 to Y, centres + 0.5).
        self.assertAlmostEqual(-4 - F.ByteBounds(238)[3] / PX, -8 + 0.5, delta=0.6)
        self.assertAlmostEqual(4 - F.ByteBounds(183)[1] / PX, 0.5, delta=0.6)
        b = F.ByteBounds(208)
        self.assertAlmostEqual(-4 - b[3] / PX, -8 + 0.5, delta=0.1)
        self.assertAlmostEqual(-4 - b[1] / PX, 0.5, delta=0.1)

    def test_heads_centre_on_the_anchor_and_stems_meet_them(self):
        entries, exact = ReadCharList(ARGS.charlist)
        self.assertTrue(exact, "no bytes after the 256 entries")
        self.assertEqual(len(entries), 256)
        for code in list(range(0, 13)) + list(range(64, 77)):
            font, char, gdx, gdy, sdx, sdy, name = entries[code]
            with self.subTest(code=code, name=name):
                glyph = F.v["glyf"][F.vcmap[char & 0xFF]]
                head, hx, hy = F.vcmap[char & 0xFF], 0, 0
                if glyph.isComposite():
                    comp = glyph.components[0]
                    head, hx, hy = comp.glyphName, comp.x, comp.y
                self.assertTrue(head.startswith("notehead"))
                x0, y0, x1, y1 = ((v + d) / PX for v, d in zip(F.Bounds(head), (hx, hy, hx, hy)))
                # Screen coordinates relative to the anchor (X, Y); baseline at Y + gdy + 48.
                base = gdy + ASCENT_PX
                left, right = gdx + x0, gdx + x1
                top, bottom = base - y1, base - y0
                centre = 0.5 + (-2 if head.endswith("Grace") else 0)
                self.assertAlmostEqual((left + right) / 2, centre, delta=0.05)
                self.assertAlmostEqual((top + bottom) / 2, 0.5, delta=0.05)
                if code % 64 in (0, 1):
                    continue   # no stems on breves and whole notes
                # The one-unit stem column [X + sdx, X + sdx + 1] holds the
                # head's outer edge on its side, and starts inside the head.
                if code < 64:
                    self.assertLessEqual(abs(right - (sdx + 1)), 0.55)
                else:
                    self.assertLessEqual(abs(left - sdx), 0.55)
                self.assertTrue(top <= sdy + 0.5 <= bottom, "stem starts outside the head")

    def test_flags_sit_on_the_end_of_a_28_unit_stem(self):
        entries, _ = ReadCharList(ARGS.charlist)
        for code in list(range(4, 10)) + list(range(68, 74)):
            font, char, gdx, gdy, sdx, sdy, name = entries[code]
            down = code >= 64
            with self.subTest(code=code, name=name):
                glyph = F.v["glyf"][F.vcmap[char & 0xFF]]
                self.assertTrue(glyph.isComposite())
                end_row = sdy + (28 if down else -28)
                want_y = gdy + ASCENT_PX - (end_row + 0.5)
                if code % 64 == 9:
                    # The grace flag is part of the ".parts" glyph, scaled: its ink
                    # starts at the stem column and ends beyond the stem's end.
                    parts = [c for c in glyph.components if c.glyphName.endswith(".parts")][0]
                    x0, y0, x1, y1 = (v / PX for v in F.Bounds(parts.glyphName))
                    self.assertLessEqual(x0, sdx - gdx + 0.05)
                    continue
                flag = [c for c in glyph.components if c.glyphName.startswith("flag")][0]
                self.assertAlmostEqual(flag.x / PX, sdx - gdx, delta=0.02)
                self.assertAlmostEqual(flag.y / PX, want_y, delta=0.02)
        # Tail 18 and 19 flags at (X - 5, Y - 48), on the quarter's stems.
        up, down = entries[3], entries[67]
        for byte, e, is_down in ((106, up, False), (107, up, False), (74, down, True), (75, down, True)):
            name, cp = SYMBOLS[byte]
            sx, sy = Shift(byte)
            end_row = e[5] + (28 if is_down else -28)
            self.assertAlmostEqual(sx, e[4] + 5, delta=0.02, msg=name)
            self.assertAlmostEqual(sy, ASCENT_PX - 48 - (end_row + 0.5), delta=0.02, msg=name)

    def test_brace_halves_fill_the_bracket_at_any_height(self):
        # A velorin font of H x 2 tenths of a point: em E = 4H/15 px. Glyph 167 at
        # (Right - avg, Top + ascent - leading), 234 one leading lower.
        upem = F.v["head"].unitsPerEm
        asc, desc = F.v["hhea"].ascent, -F.v["hhea"].descent
        avg = F.v["OS/2"].xAvgCharWidth
        for h in (64, 100, 132, 400):
            em = h * 4 / 15
            s = em / upem
            leading = (asc + desc - upem) * s
            for byte, origin, want in ((167, asc * s - leading, (0, h / 2)), (234, asc * s, (h / 2, h))):
                x0, y0, x1, y1 = F.ByteBounds(byte)
                base = origin + asc * s
                top, bottom = base - y1 * s, base - y0 * s
                with self.subTest(h=h, byte=byte):
                    self.assertAlmostEqual(top, want[0], delta=0.01 * h)
                    self.assertAlmostEqual(bottom, want[1], delta=0.01 * h)
                    self.assertAlmostEqual((x1 - avg) * s, 0, delta=0.5)   # ends at Right
                    self.assertGreaterEqual(x0, -1)

    def test_arpeggio_segments_tile_every_18_units(self):
        # Glyph k of the column at Top - 32 + 18k: baseline at Top + 16 + 18k, so
        # each must cover 2 px below to 16 px above its baseline.
        x0, y0, x1, y1 = (v / PX for v in F.ByteBounds(103))
        self.assertLessEqual(y0, -2)
        self.assertGreaterEqual(y1, 16)
        self.assertLess(y1 - y0, 18 + 3, "overlaps its neighbours by at most a pixel and a half a side")
        self.assertGreaterEqual(x0, -0.05)


class Rendering(unittest.TestCase):
    """The font drawn by FreeType (through PIL) as the program will draw it."""

    @classmethod
    def setUpClass(cls):
        try:
            from PIL import Image, ImageDraw, ImageFont
        except ImportError:
            raise unittest.SkipTest("python3-pil not installed")
        cls.Image, cls.ImageDraw, cls.ImageFont = Image, ImageDraw, ImageFont

    def Ink(self, byte, px, origin=(40, 40), size=(120, 140)):
        """Ink of a byte drawn with its text origin at `origin`: the weighted
        centre and box of the ink, in pixel-grid coordinates."""
        font = self.ImageFont.truetype(ARGS.font, size=px)
        img = self.Image.new("L", size, 0)
        d = self.ImageDraw.Draw(img)
        d.text((origin[0], origin[1] + px * 24 / 17), chr(byte), font=font, fill=255, anchor="ls")
        w, h = img.size
        data = img.load()
        total = sx = sy = 0
        xs, ys = [], []
        for y in range(h):
            for x in range(w):
                v = data[x, y]
                if v:
                    total += v
                    sx += v * (x + 0.5)
                    sy += v * (y + 0.5)
                    xs.append(x)
                    ys.append(y)
        self.assertGreater(total, 0, "byte %d draws nothing" % byte)
        return (sx / total, sy / total), (min(xs), min(ys), max(xs) + 1, max(ys) + 1)

    def test_a_quarter_head_lands_on_its_anchor_pixel(self):
        entries, _ = ReadCharList(ARGS.charlist)
        _, char, gdx, gdy, _, _, _ = entries[3]
        X, Y = 60, 80
        (cx, cy), _ = self.Ink(char, 34, (X + gdx, Y + gdy))
        self.assertAlmostEqual(cx, X + 0.5, delta=0.35)
        self.assertAlmostEqual(cy, Y + 0.5, delta=0.35)

    def test_time_digit_fills_the_upper_half_of_the_stave(self):
        top = 60
        _, box = self.Ink(ord("4"), 34, (20, top - 40))
        self.assertLessEqual(abs(box[1] - top), 1)
        self.assertLessEqual(abs(box[3] - (top + 17)), 1)

    def test_control_range_bytes_and_small_sizes_draw(self):
        for byte in (133, 137, 159):
            self.Ink(byte, 34)
        _, box = self.Ink(ord("&"), 23)          # small clef, font 5
        self.assertGreater(box[3] - box[1], 30)  # 7 spaces of 5.4 px


def main():
    global ARGS, F
    parser = argparse.ArgumentParser()
    for opt in ("--font", "--charlist", "--bravura", "--metrics"):
        parser.add_argument(opt, required=True)
    ARGS, rest = parser.parse_known_args()
    F = Fonts()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
