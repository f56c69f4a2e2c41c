#!/usr/bin/env python3
"""Builds the music font "velorin" from the SMuFL font Bravura.

    make_velorin.py BRAVURA_DIR OUT_FONT OUT_LICENCE

BRAVURA_DIR holds bravura.otf, metadata.json and LICENSE.txt (the npm package
@vexflow-fonts/bravura). Each symbol the drawing code uses is copied to the
byte it draws, scaled to 400 units per staff space and moved so that it lands
on its musical reference point when the drawing code puts its text origin
where it does (see velorin_geometry.py for the units and pixel conventions).
The output is a TrueType font with a Latin-1 character map: byte b is
U+00bb (and, for renderers that want the symbol-font convention, U+F0bb).
"""

import json
import math
import os
import sys
from datetime import datetime, timezone

from fontTools.fontBuilder import FontBuilder
from fontTools.misc.transform import Transform
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.cu2quPen import Cu2QuPen
from fontTools.pens.recordingPen import RecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables._k_e_r_n import KernTable_format_0

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velorin_geometry as vg  # noqa: E402

SP = vg.UNITS_PER_SPACE
PX = vg.UNITS_PER_PIXEL
# Scale of grace-note parts: the small-note font (140 tenths, 19 px) against
# the default one (34 px), so grace heads of the glyph table match small notes.
GRACE_SCALE = vg.PixelSizeForTenths(vg.SMALL_NOTE_TENTHS) / vg.REFERENCE_PIXELS

# --- the byte table -------------------------------------------------------------
# Placed symbols: (byte, glyph name, SMuFL code point, ox, oy, x rule, y rule,
# extra h, extra v, role).
# The drawing code puts the glyph's text origin at (P.x + ox, P.y + oy) for a
# musical reference point P. The rules say which point of the Bravura glyph
# goes to P's pixel centre:
#   x: "ref" the SMuFL origin, "centre" the ink's middle, "start" the ink's
#      left edge; y: "ref" the SMuFL origin, "centre" the ink's middle.
# h and v (staff spaces, right and up) are added after the rule.
PLACED = [
    # Clefs: origin at (Left, Top - 16), (Left, Top - 14), (Left, Top - 32);
    # the reference is the clef's line: G at Top + 24, F at Top + 8, C at Top + 16.
    (38, "gClef", 0xE050, 0, -40, "ref", "ref", 0, 0, "treble clef"),
    (63, "fClef", 0xE062, 0, -22, "ref", "ref", 0, 0, "bass clef"),
    (66, "cClef", 0xE05C, 0, -48, "ref", "ref", 0, 0, "alto clef"),
    # Accidentals start at their origin (key signatures step 8 units) and sit
    # on the pitch 48 units below it.
    (35, "accidentalSharp", 0xE262, 0, -48, "ref", "ref", 0, 0, "sharp"),
    (98, "accidentalFlat", 0xE260, 0, -48, "ref", "ref", 0, 0, "flat"),
    (110, "accidentalNatural", 0xE261, 0, -48, "ref", "ref", 0, 0, "natural"),
    (186, "accidentalDoubleFlat", 0xE264, 0, -48, "ref", "ref", 0, 0, "double flat"),
    (220, "accidentalDoubleSharp", 0xE263, 0, -48, "ref", "ref", 0, 0, "double sharp"),
    # Time-signature digits are centred on their baseline: the numerator drawn
    # at Top - 40 fills the upper half of the stave, the denominator the lower.
    *[(48 + d, "timeSig%d" % d, 0xE080 + d, 0, -48, "ref", "ref", 0, 0, "digit %d" % d) for d in range(10)],
    # Repeat dots stand on the bottom line; 2 units clear of the bar line.
    (123, "repeatDots", 0xE043, 0, -48, "ref", "ref", 0.25, 0, "repeat dots"),
    # Rests at (X + dx, Y - 48 + dy), centred on X. Y is the line a half rest
    # sits on; the whole rest hangs from the line above it (Y - 8).
    (208, "restDoubleWhole", 0xE4E2, -6, -52, "centre", "ref", 0, 0, "breve rest"),
    (238, "restWhole", 0xE4E3, -6, -44, "centre", "ref", 0, 0, "whole rest"),
    (183, "restHalf", 0xE4E4, -6, -44, "centre", "ref", 0, 0, "half rest"),
    (206, "restQuarter", 0xE4E5, -4, -48, "centre", "ref", 0, 0, "quarter rest"),
    (228, "rest8th", 0xE4E6, -4, -52, "centre", "ref", 0, 0, "eighth rest"),
    (197, "rest16th", 0xE4E7, -4, -48, "centre", "ref", 0, 0, "16th rest"),
    (168, "rest32nd", 0xE4E8, -4, -40, "centre", "ref", 0, 0, "32nd rest"),
    (244, "rest64th", 0xE4E9, -4, -40, "centre", "ref", 0, 0, "64th rest"),
    (229, "rest128th", 0xE4EA, -4, -48, "centre", "ref", 0, 0, "128th rest"),
    # Marks, centred on the mark's anchor unless they start at it.
    (175, "augmentationDot", 0xE1E7, -5, -43, "centre", "centre", 0, 0, "dot"),
    (212, "repeat1Bar", 0xE500, -10, -40, "centre", "centre", 0, 0, "repeat measure"),
    (161, "keyboardPedalPed", 0xE650, 0, -32, "start", "centre", 0, 0, "Ped."),
    (42, "keyboardPedalUp", 0xE655, -6, -42, "centre", "centre", 0, 0, "pedal up"),
    (133, "fingering1", 0xED11, -4, -48, "centre", "centre", 0, 0, "fingering 1"),
    (134, "fingering2", 0xED12, -4, -48, "centre", "centre", 0, 0, "fingering 2"),
    (135, "fingering3", 0xED13, -4, -48, "centre", "centre", 0, 0, "fingering 3"),
    (136, "fingering4", 0xED14, -4, -48, "centre", "centre", 0, 0, "fingering 4"),
    (137, "fingering5", 0xED15, -4, -48, "centre", "centre", 0, 0, "fingering 5"),
    (85, "fermataAbove", 0xE4C0, -10, -48, "centre", "centre", 0, 0, "fermata above"),
    (117, "fermataBelow", 0xE4C1, -10, -48, "centre", "centre", 0, 0, "fermata below"),
    (230, "fermataShortAbove", 0xE4C4, -4, -44, "centre", "centre", 0, 0, "short fermata above"),
    (231, "fermataShortBelow", 0xE4C5, -4, -44, "centre", "centre", 0, 0, "short fermata below"),
    (64, "tremolo2", 0xE221, -12, -48, "centre", "centre", 0, 0, "tremolo, two strokes"),
    (65, "tremolo3", 0xE222, -12, -48, "centre", "centre", 0, 0, "tremolo, three strokes"),
    (84, "ornamentTurn", 0xE567, -10, -48, "centre", "centre", 0, 0, "turn"),
    (96, "ornamentTrill", 0xE566, 0, -32, "start", "centre", 0, 0, "tr"),
    (109, "ornamentShortTrill", 0xE56C, 0, -43, "start", "centre", 0, 0, "short trill"),
    (77, "ornamentMordent", 0xE56D, 0, -43, "start", "centre", 0, 0, "mordent"),
    (43, "brassMuteClosed", 0xE5E5, -4, -48, "centre", "centre", 0, 0, "stopped"),
    (159, "brassMuteHalfClosed", 0xE5E6, -4, -48, "centre", "centre", 0, 0, "half stopped"),
    (111, "stringsHarmonic", 0xE614, -2, -48, "centre", "centre", 0, 0, "harmonic"),
    (245, "stringsThumbPosition", 0xE624, -4, -48, "centre", "centre", 0, 0, "thumb position"),
    (178, "stringsUpBow", 0xE612, -4, -40, "centre", "centre", 0, 0, "up bow"),
    (179, "stringsDownBow", 0xE610, -6, -44, "centre", "centre", 0, 0, "down bow"),
    (195, "ottavaAlta", 0xE511, 0, -42, "start", "centre", 0, 0, "8va"),
    (215, "ottavaBassaVb", 0xE51C, 0, -42, "start", "centre", 0, 0, "8vb"),
    (45, "articTenutoAbove", 0xE4A4, -4, -48, "centre", "centre", 0, 0, "tenuto"),
    (46, "articStaccatoAbove", 0xE4A2, 0, -48, "centre", "centre", 0, 0, "staccato"),
    (62, "articAccentAbove", 0xE4A0, -8, -44, "centre", "centre", 0, 0, "accent"),
    (174, "articStaccatissimoAbove", 0xE4A6, 0, -48, "centre", "centre", 0, 0, "staccatissimo above"),
    (39, "articStaccatissimoBelow", 0xE4A7, 0, -48, "centre", "centre", 0, 0, "staccatissimo below"),
    (99, "timeSigCommon", 0xE08A, 0, -32, "start", "centre", 0, 0, "common time"),
]

# Small accidentals after "tr" (marks 68 to 70), drawn at (X + 16, Y - 40):
# 0.65 of full size, their middle at Y - 4 beside the upper half of the "tr".
SMALL_ACCIDENTALS = [
    (105, "accidentalFlatSmall", 0xF427, "small flat"),
    (73, "accidentalSharpSmall", 0xF429, "small sharp"),
    (233, "accidentalNaturalSmall", 0xF428, "small natural"),
]

# Dynamics letters for texts set in velorin: on the baseline like text.
# ("m" stays the short trill of mark 71; "mp" and "mf" have their own bytes.)
DYNAMICS = [
    (112, "dynamicPiano", 0xE520), (102, "dynamicForte", 0xE522), (122, "dynamicZ", 0xE525),
    (115, "dynamicSforzando", 0xE524), (114, "dynamicRinforzando", 0xE523),
    (80, "dynamicMP", 0xE52C), (70, "dynamicMF", 0xE52D),
]

# Note heads and whole note symbols of the glyph table (res/charlist.txt).
HEADS = [
    (207, "noteheadBlack", 0xE0A4), (250, "noteheadHalf", 0xE0A3),
    (119, "noteheadWhole", 0xE0A2), (87, "noteheadDoubleWhole", 0xE0A0),
    (246, "noteheadXBlack", 0xE0A9), (247, "noteheadDiamondWhite", 0xE0DD),
]
# Flagged notes: a black head with the flag at the end of a default stem
# (28 units); the stem itself is drawn as a line. Flags from the 32nd on
# rise above the stem end, so the glyph carries the missing piece of stem.
FLAG_CODEPOINTS = {
    "flag8thUp": 0xE240, "flag8thDown": 0xE241, "flag16thUp": 0xE242, "flag16thDown": 0xE243,
    "flag32ndUp": 0xE244, "flag32ndDown": 0xE245, "flag64thUp": 0xE246, "flag64thDown": 0xE247,
    "flag128thUp": 0xE248, "flag128thDown": 0xE249,
}
FLAGGED_NOTES = [
    (200, "note8thUp", "flag8thUp"), (201, "note8thDown", "flag8thDown"),
    (202, "note16thUp", "flag16thUp"), (203, "note16thDown", "flag16thDown"),
    (204, "note32ndUp", "flag32ndUp"), (205, "note32ndDown", "flag32ndDown"),
    (209, "note64thUp", "flag64thUp"), (210, "note64thDown", "flag64thDown"),
    (211, "note128thUp", "flag128thUp"), (213, "note128thDown", "flag128thDown"),
]
# Grace notes (glyph-table entries 9 and 10): a small head alone, and the
# slashed small eighth (acciaccatura) with the stem up and down.
GRACE_HEAD_BYTE = 240
ACCIACCATURA = [(241, "graceNote8thUp", "flag8thUp"), (242, "graceNote8thDown", "flag8thDown")]
# Extra flags for the note's Tail 18 and 19, drawn at (X - 5, Y - 48).
TAIL_FLAGS = [(106, "flag8thUp"), (74, "flag8thDown"), (107, "flag16thUp"), (75, "flag16thDown")]

BRACE_UPPER, BRACE_LOWER = 167, 234
DOUBLE_DOT = 223
TURN_SLASH = 199
TRILL_WIGGLE = 126
ARPEGGIO = 103


class Bravura:
    def __init__(self, folder):
        self.font = TTFont(os.path.join(folder, "bravura.otf"))
        self.cmap = self.font.getBestCmap()
        self.glyphs = self.font.getGlyphSet()
        with open(os.path.join(folder, "metadata.json"), encoding="utf-8") as f:
            self.meta = json.load(f)
        self.version = self.meta.get("fontVersion")

    def Outline(self, codepoint):
        name = self.cmap.get(codepoint)
        if name is None:
            sys.exit("make_velorin: Bravura has no U+%04X" % codepoint)
        pen = RecordingPen()
        self.glyphs[name].draw(pen)
        return pen.value

    def Advance(self, codepoint):
        return self.glyphs[self.cmap[codepoint]].width

    def Anchor(self, smufl_name, anchor):
        return self.meta["glyphsWithAnchors"][smufl_name][anchor]


class Shape:
    """Cubic outlines in velorin units, collected from transformed parts."""

    def __init__(self):
        self.rec = RecordingPen()

    def Add(self, outline, transform):
        pen = TransformPen(self.rec, transform)
        for op, args in outline:
            getattr(pen, op)(*args)
        return self

    def Rect(self, x0, y0, x1, y1):
        # Counter-clockwise, as PostScript outer contours run.
        self.rec.moveTo((x0, y0))
        self.rec.lineTo((x1, y0))
        self.rec.lineTo((x1, y1))
        self.rec.lineTo((x0, y1))
        self.rec.closePath()
        return self

    def Bounds(self):
        pen = BoundsPen(None)
        self.rec.replay(pen)
        return pen.bounds

    def Moved(self, dx, dy):
        out = Shape()
        return out.Add(self.rec.value, Transform(1, 0, 0, 1, dx, dy))

    def ToGlyph(self):
        pen = TTGlyphPen(None)
        # PostScript outlines run counter-clockwise; TrueType wants clockwise.
        self.rec.replay(Cu2QuPen(pen, max_err=1.0, reverse_direction=True))
        return pen.glyph()


def Scaled(outline, scale=1.0):
    return Shape().Add(outline, Transform(vg.BRAVURA_SCALE * scale, 0, 0, vg.BRAVURA_SCALE * scale, 0, 0))


def Place(shape, ox, oy, xrule, yrule, h=0.0, v=0.0):
    """Moves a glyph (SMuFL origin at 0, 0) so that its rule point lands on the
    pixel centre of the reference point P, for a text origin at P + (ox, oy)."""
    px = (0.5 - ox) * PX
    py = (oy + vg.ASCENT_PIXELS - 0.5) * PX
    xmin, ymin, xmax, ymax = shape.Bounds()
    dx = {"ref": 0, "centre": -(xmin + xmax) / 2, "start": -xmin}[xrule]
    dy = {"ref": 0, "centre": -(ymin + ymax) / 2}[yrule]
    return shape.Moved(px + dx + h * SP, py + dy + v * SP)


class Builder:
    def __init__(self, bravura):
        self.b = bravura
        self.glyphs = {}      # name -> TT glyph
        self.advance = {}     # name -> advance width
        self.cmap = {}        # byte -> glyph name
        self.order = [".notdef", "space"]

    def AddSimple(self, name, shape, advance=None, byte=None):
        self.glyphs[name] = shape.ToGlyph()
        if advance is None:
            bounds = shape.Bounds()
            advance = max(0, round(bounds[2])) if bounds else 0
        self.advance[name] = int(round(advance))
        self.order.append(name)
        if byte is not None:
            self.Map(byte, name)

    def AddComposite(self, name, parts, advance, byte=None):
        pen = TTGlyphPen(self.glyphs)   # consulted only for component names
        for part, dx, dy in parts:
            pen.addComponent(part, (1, 0, 0, 1, int(round(dx)), int(round(dy))))
        self.glyphs[name] = pen.glyph()
        self.advance[name] = int(round(advance))
        self.order.append(name)
        if byte is not None:
            self.Map(byte, name)

    def Map(self, byte, name):
        if byte in self.cmap:
            sys.exit("make_velorin: byte %d given twice (%s, %s)" % (byte, self.cmap[byte], name))
        self.cmap[byte] = name

    # --- the symbol groups --------------------------------------------------

    def Placed(self):
        for byte, name, cp, ox, oy, xr, yr, h, v, _ in PLACED:
            shape = Place(Scaled(self.b.Outline(cp)), ox, oy, xr, yr, h, v)
            self.AddSimple(name, shape, self.b.Advance(cp) * vg.BRAVURA_SCALE, byte)

    def SmallAccidentals(self):
        for byte, name, cp, _ in SMALL_ACCIDENTALS:
            shape = Scaled(self.b.Outline(cp), 0.65)
            # Origin (X + 16, Y - 40): the middle goes to Y - 4, 0.2 space right of X + 16.
            shape = Place(shape, 0, -36, "start", "centre", 0.2, 0)
            self.AddSimple(name, shape, None, byte)

    def Dynamics(self):
        for byte, name, cp in DYNAMICS:
            self.AddSimple(name, Scaled(self.b.Outline(cp)), self.b.Advance(cp) * vg.BRAVURA_SCALE, byte)

    def DynamicsKerning(self):
        """Bravura's kerning between the dynamics letters (its GPOS pair
        adjustments), as a 'kern' table, so "ffz" or "fp" close up like text."""
        names = {self.b.cmap[cp]: name for _, name, cp in DYNAMICS}
        pairs = {}
        for lookup in self.b.font["GPOS"].table.LookupList.Lookup:
            for sub in lookup.SubTable:
                if lookup.LookupType == 9:
                    sub = sub.ExtSubTable
                if getattr(sub, "LookupType", 2) != 2:
                    continue
                if sub.Format == 1:
                    for first, pair_set in zip(sub.Coverage.glyphs, sub.PairSet):
                        for rec in pair_set.PairValueRecord if first in names else []:
                            if rec.SecondGlyph in names and rec.Value1 and getattr(rec.Value1, "XAdvance", 0):
                                pairs.setdefault((names[first], names[rec.SecondGlyph]), rec.Value1.XAdvance)
                elif sub.Format == 2:
                    c1, c2 = sub.ClassDef1.classDefs, sub.ClassDef2.classDefs
                    for first in names:
                        if first not in sub.Coverage.glyphs:
                            continue
                        for second in names:
                            rec = sub.Class1Record[c1.get(first, 0)].Class2Record[c2.get(second, 0)]
                            if rec.Value1 and getattr(rec.Value1, "XAdvance", 0):
                                pairs.setdefault((names[first], names[second]), rec.Value1.XAdvance)
        return {k: int(round(v * vg.BRAVURA_SCALE)) for k, v in pairs.items()}

    def DoubleDot(self):
        # Mark 17 at (X, Y - 48): two dots 0.8 space apart, the first starting at X.
        dot = self.b.Outline(0xE1E7)
        shape = Scaled(dot).Add(dot, Transform(vg.BRAVURA_SCALE, 0, 0, vg.BRAVURA_SCALE, 0.8 * SP, 0))
        self.AddSimple("augmentationDotDouble", Place(shape, 0, -48, "start", "centre"), None, DOUBLE_DOT)

    def TurnSlash(self):
        # Mark 66 draws byte 199 at (X - 10, Y - 45) and then "T" at (X - 10, Y - 48):
        # the slashed turn is put where the turn lies, 3 units higher in its cell.
        turn = Scaled(self.b.Outline(0xE567))
        xmin, ymin, xmax, ymax = turn.Bounds()
        placed_turn = Place(turn, -10, -48, "centre", "centre")
        txmin, tymin, _, _ = placed_turn.Bounds()
        dx, dy = txmin - xmin, tymin - ymin + 3 * PX
        self.AddSimple("ornamentTurnSlash", Scaled(self.b.Outline(0xE569)).Moved(dx, dy), None, TURN_SLASH)

    def TrillWiggle(self):
        # Mark 64 at (X - 6, Y - 46): two segments of the trill line, so the
        # sign reads as a wavy line rather than a single kink.
        seg = self.b.Outline(0xEAA4)
        period = 0.948 * SP
        shape = Scaled(seg).Add(seg, Transform(vg.BRAVURA_SCALE, 0, 0, vg.BRAVURA_SCALE, period, 0))
        self.AddSimple("wiggleTrill", Place(shape, -6, -46, "centre", "centre"), None, TRILL_WIGGLE)

    def Arpeggio(self):
        # A column of "g" every 18 units from Top - 32: each glyph covers 0.25
        # space below its baseline to 2 spaces above, one 18-unit period made
        # of two periods of the arpeggio wiggle (drawn horizontally in SMuFL,
        # stretched to the period and turned upright).
        seg = self.b.Outline(0xEAA9)
        repeat = 1.02 * SP
        stretch = 2.25 * SP / (2 * repeat)
        lane = Shape()
        for k in range(2):
            lane.Add(seg, Transform(vg.BRAVURA_SCALE, 0, 0, vg.BRAVURA_SCALE, k * repeat, 0))
        # (x, y) -> (-y, x * stretch): upright, period along y.
        upright = Shape().Add(lane.rec.value, Transform(0, stretch, -1, 0, 0, 0))
        xmin, _, _, _ = upright.Bounds()
        self.AddSimple("arpeggio", upright.Moved(-xmin, -0.25 * SP), None, ARPEGGIO)

    def Brace(self):
        # Bravura's brace is one contour, its tip pointing left at the middle;
        # the on-curve points (2, 498) and (20, 498) split it into halves.
        outline = self.b.Outline(0xE000)
        pen = BoundsPen(None)
        for op, args in outline:
            getattr(pen, op)(*args)
        bxmin, bymin, bxmax, bymax = pen.bounds
        segments = [(op, args) for op, args in outline if op not in ("moveTo", "closePath")]
        start = outline[0][1][0]
        points = [start] + [args[-1] for _, args in segments]
        mid_y = start[1]
        cuts = [i for i, p in enumerate(points) if abs(p[1] - mid_y) < 0.5]
        if len(cuts) != 3 or cuts[0] != 0 or cuts[-1] != len(points) - 1:
            sys.exit("make_velorin: unexpected brace outline in Bravura")
        cut = cuts[1]
        scale = vg.BRACE_HEIGHT / (bymax - bymin)

        def Half(first, last, baseline):
            # Screen y below Top of a Bravura point: (bymax - y) * scale; font y
            # of the half drawn with its baseline `baseline` units below Top.
            t = Transform(scale, 0, 0, scale, -bxmin * scale, baseline - bymax * scale)
            rec = RecordingPen()
            rec.moveTo(points[first])
            for op, args in segments[first:last]:
                getattr(rec, op)(*args)
            rec.closePath()
            return Shape().Add(rec.value, t)

        upper = Half(0, cut, vg.BRACE_UPPER_BASELINE)
        lower = Half(cut, len(segments), vg.BRACE_LOWER_BASELINE)
        self.AddSimple("braceUpper", upper, vg.BRACE_WIDTH, BRACE_UPPER)
        self.AddSimple("braceLower", lower, vg.BRACE_WIDTH, BRACE_LOWER)

    def Heads(self):
        self.heads = {}
        for byte, name, cp in HEADS:
            self.heads[name] = self.AddHead(name, Scaled(self.b.Outline(cp)), byte)
        grace = Scaled(self.b.Outline(0xE0A4), GRACE_SCALE)
        self.heads["noteheadBlackGrace"] = self.AddHead("noteheadBlackGrace", grace, GRACE_HEAD_BYTE)

    def AddHead(self, name, shape, byte):
        """A head with its centre HEAD_CENTRE_HEIGHT_PX above the baseline and
        on a half pixel horizontally, its left edge less than half a pixel
        left of the origin: the glyph table's whole-unit offsets then centre
        it exactly, and the small-note path (origin x - 4) starts it at x - 4."""
        xmin, ymin, xmax, ymax = shape.Bounds()
        centre_x = math.floor(vg.Px(xmax - xmin) / 2) + 0.5
        dx = vg.Units(centre_x) - (xmin + xmax) / 2
        dy = vg.Units(vg.HEAD_CENTRE_HEIGHT_PX) - (ymin + ymax) / 2
        placed = shape.Moved(dx, dy)
        self.AddSimple(name, placed, xmax - xmin, byte)
        return placed

    def HeadOffsets(self, head_name):
        points = SamplePoints(self.heads[head_name])
        return vg.HeadEntryOffsets(vg.HeadGeometry(points), grace=head_name.endswith("Grace"))

    def Flags(self):
        # Flags with the SMuFL origin at (0, 0): the components of the notes.
        self.flags = {}
        for name, cp in FLAG_CODEPOINTS.items():
            shape = Scaled(self.b.Outline(cp))
            self.AddSimple(name + ".raw", shape, None)
            self.flags[name] = shape
        gdx, gdy, up_dx, up_dy, down_dx, down_dy = self.HeadOffsets("noteheadBlack")
        for byte, note, flag in FLAGGED_NOTES:
            down = flag.endswith("Down")
            sx, sy = vg.StemEnd(gdx, gdy, down_dx if down else up_dx, down_dy if down else up_dy, down)
            fx, fy = vg.Units(sx), vg.Units(sy)
            parts = [("noteheadBlack", 0, 0), (flag + ".raw", fx, fy)]
            anchor = self.b.Anchor(flag, "stemDownSW" if down else "stemUpNW")[1] * SP
            # Stem piece from the stem's end to the flag's attachment point.
            if (anchor < 0) if down else (anchor > 0):
                ext = Shape().Rect(0, min(0, anchor), PX, max(0, anchor))
                self.AddSimple(note + ".stem", ext, 0)
                parts.append((note + ".stem", fx, fy))
            width = max(self.advance["noteheadBlack"], fx + self.advance[flag + ".raw"])
            self.AddComposite(note, parts, width, byte)
        # Tail 18 and 19: origin (X - 5, Y - 48), stems of the plain black head.
        for byte, flag in TAIL_FLAGS:
            down = flag.endswith("Down")
            sx, sy = vg.StemEnd(-5, -vg.ASCENT_PIXELS, down_dx if down else up_dx, down_dy if down else up_dy, down)
            self.AddSimple(flag, self.flags[flag].Moved(vg.Units(sx), vg.Units(sy)), None, byte)

    def Grace(self):
        gdx, gdy, up_dx, up_dy, down_dx, down_dy = self.HeadOffsets("noteheadBlackGrace")
        g = GRACE_SCALE
        for byte, name, flag in ACCIACCATURA:
            down = flag.endswith("Down")
            sx, sy = vg.StemEnd(gdx, gdy, down_dx if down else up_dx, down_dy if down else up_dy, down)
            fx, fy = vg.Units(sx), vg.Units(sy)
            small_flag = Scaled(self.b.Outline(FLAG_CODEPOINTS[flag]), g).Moved(fx, fy)
            # The slash runs between the flag's grace-slash anchors.
            if down:
                a = self.b.Anchor(flag, "graceNoteSlashNW")
                b = self.b.Anchor(flag, "graceNoteSlashSE")
                slash = Scaled(self.b.Outline(0xE565))   # graceNoteSlashStemDown
            else:
                a = self.b.Anchor(flag, "graceNoteSlashSW")
                b = self.b.Anchor(flag, "graceNoteSlashNE")
                slash = Scaled(self.b.Outline(0xE564))   # graceNoteSlashStemUp
            sxmin, symin, sxmax, symax = slash.Bounds()
            x0, x1 = sorted((a[0] * SP * g + fx, b[0] * SP * g + fx))
            y0, y1 = sorted((a[1] * SP * g + fy, b[1] * SP * g + fy))
            fit = Transform(1, 0, 0, 1, x0, y0).scale((x1 - x0) / (sxmax - sxmin), (y1 - y0) / (symax - symin)) \
                .translate(-sxmin, -symin)
            shape = Shape().Add(small_flag.rec.value, Transform()).Add(slash.rec.value, fit)
            self.AddSimple(name + ".parts", shape, 0)
            width = max(self.advance["noteheadBlackGrace"], round(fx + self.flags[flag].Bounds()[2] * g))
            self.AddComposite(name, [("noteheadBlackGrace", 0, 0), (name + ".parts", 0, 0)], width, byte)


def SamplePoints(shape, steps=64):
    """Points along an outline (curves sampled), in font units."""
    from fontTools.pens.basePen import BasePen

    class Sampler(BasePen):
        def __init__(self):
            super().__init__(None)
            self.points = []

        def _moveTo(self, p):
            self.points.append(p)

        def _lineTo(self, p):
            self.points.append(p)

        def _curveToOne(self, p1, p2, p3):
            p0 = self._getCurrentPoint()
            for i in range(1, steps + 1):
                t = i / steps
                u = 1 - t
                self.points.append(tuple(u**3 * a + 3 * u * u * t * b + 3 * u * t * t * c + t**3 * d
                                         for a, b, c, d in zip(p0, p1, p2, p3)))

        def _qCurveToOne(self, p1, p2):
            p0 = self._getCurrentPoint()
            for i in range(1, steps + 1):
                t = i / steps
                u = 1 - t
                self.points.append(tuple(u * u * a + 2 * u * t * b + t * t * c for a, b, c in zip(p0, p1, p2)))

    s = Sampler()
    if isinstance(shape, Shape):
        shape.rec.replay(s)
    else:
        shape.draw(s)
    return s.points


def Notdef():
    s = Shape()
    s.Rect(50, 0, 650, 1200)
    # inner counter, wound the other way
    s.rec.moveTo((100, 50))
    s.rec.lineTo((100, 1150))
    s.rec.lineTo((600, 1150))
    s.rec.lineTo((600, 50))
    s.rec.closePath()
    return s


def Build(bravura_dir, out_font):
    b = Bravura(bravura_dir)
    builder = Builder(b)
    builder.glyphs[".notdef"] = Notdef().ToGlyph()
    builder.advance[".notdef"] = 700
    builder.glyphs["space"] = TTGlyphPen(None).glyph()
    builder.advance["space"] = SP
    builder.Map(32, "space")
    builder.Heads()
    builder.Placed()
    builder.SmallAccidentals()
    builder.Dynamics()
    builder.DoubleDot()
    builder.TurnSlash()
    builder.TrillWiggle()
    builder.Arpeggio()
    builder.Brace()
    builder.Flags()
    builder.Grace()

    fb = FontBuilder(vg.UNITS_PER_EM, isTTF=True)
    fb.font.recalcTimestamp = False
    fb.setupGlyphOrder(builder.order)
    cmap = {}
    for byte, name in builder.cmap.items():
        cmap[byte] = name
        cmap[0xF000 + byte] = name
    fb.setupCharacterMap(cmap)
    fb.setupGlyf({n: builder.glyphs[n] for n in builder.order})
    glyf = fb.font["glyf"]
    metrics = {}
    for name in builder.order:
        glyph = glyf[name]
        glyph.recalcBounds(glyf)
        metrics[name] = (builder.advance[name], getattr(glyph, "xMin", 0) if glyph.numberOfContours else 0)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=vg.ASCENT, descent=-vg.DESCENT, lineGap=0)
    version = "Version 1.000; from Bravura %s" % b.version
    bravura_copyright = b.font["name"].getDebugName(0) or "Copyright Steinberg Media Technologies GmbH"
    fb.setupNameTable({
        "copyright": bravura_copyright + " velorin: glyphs rearranged and calibrated for Quavix.",
        "familyName": "velorin",
        "styleName": "Regular",
        "uniqueFontIdentifier": "Quavix: velorin: 1.000",
        "fullName": "velorin",
        "version": version,
        "psName": "velorin",
        "description": "Music symbols of the Quavix score editor, derived from the SMuFL font Bravura %s. "
                       "Not Bravura: Bravura is a Reserved Font Name of the original." % b.version,
        "licenseDescription": "This Font Software is licensed under the SIL Open Font License, Version 1.1.",
        "licenseInfoURL": "https://openfontlicense.org",
    })
    fb.setupOS2(
        version=4, xAvgCharWidth=vg.BRACE_WIDTH, usWeightClass=400, usWidthClass=5, fsType=0,
        sTypoAscender=vg.ASCENT, sTypoDescender=-vg.DESCENT, sTypoLineGap=0,
        usWinAscent=vg.ASCENT, usWinDescent=vg.DESCENT,
        fsSelection=0x40 | 0x80,        # regular, use typo metrics
        achVendID="QVIX", ulUnicodeRange1=0b11, ulCodePageRange1=1,
        sxHeight=SP, sCapHeight=2 * SP, usDefaultChar=0, usBreakChar=32, usMaxContext=0,
        usFirstCharIndex=32, usLastCharIndex=0xF0FF,
    )
    fb.setupPost(keepGlyphNames=True)
    # Fixed dates keep the output byte-identical between builds.
    epoch = datetime(1904, 1, 1, tzinfo=timezone.utc)
    stamp = int((datetime(2024, 1, 1, tzinfo=timezone.utc) - epoch).total_seconds())
    fb.setupHead(unitsPerEm=vg.UNITS_PER_EM, created=stamp, modified=stamp, fontRevision=1.0)
    fb.font["head"].lowestRecPPEM = 8
    gasp = newTable("gasp")
    gasp.gaspRange = {0xFFFF: 0x000A}   # smooth at every size, no grid fitting
    fb.font["gasp"] = gasp
    kerning = builder.DynamicsKerning()
    if kerning:
        kern = newTable("kern")
        kern.version = 0
        sub = KernTable_format_0()
        sub.version, sub.coverage, sub.format, sub.tupleIndex = 0, 1, 0, None
        sub.kernTable = kerning
        kern.kernTables = [sub]
        fb.font["kern"] = kern
    fb.setupMaxp()
    fb.save(out_font)
    # The OS/2 average width positions the brace: make sure nothing recomputed it.
    check = TTFont(out_font)
    if check["OS/2"].xAvgCharWidth != vg.BRACE_WIDTH:
        sys.exit("make_velorin: OS/2 xAvgCharWidth was changed to %d" % check["OS/2"].xAvgCharWidth)
    return b


LICENCE_HEADER = """velorin - the music font of Quavix

velorin is a modified version of the Bravura font (version {version}),
generated at build time by tools/font/make_velorin.py: symbols are copied to
the character codes the drawing code uses, scaled, moved and in a few cases
combined (note heads with flags, brace halves, arpeggio segments). It is
distributed under the SIL Open Font License 1.1, the licence of Bravura,
whose copyright notice and licence text follow unchanged. velorin does not
use the Reserved Font Name "Bravura".

------------------------------------------------------------------------
"""


def WriteLicence(bravura_dir, version, out_path):
    with open(os.path.join(bravura_dir, "LICENSE.txt"), encoding="utf-8") as f:
        text = f.read()
    tmp = out_path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(LICENCE_HEADER.format(version=version))
        f.write(text)
    os.replace(tmp, out_path)


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    bravura_dir, out_font, out_licence = argv[1:]
    os.makedirs(os.path.dirname(os.path.abspath(out_font)), exist_ok=True)
    tmp = out_font + ".tmp"
    b = Build(bravura_dir, tmp)
    os.replace(tmp, out_font)
    WriteLicence(bravura_dir, b.version, out_licence)


if __name__ == "__main__":
    main(sys.argv)
