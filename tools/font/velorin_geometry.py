"""Geometry shared by the velorin font generator, the glyph-table generator,
the proof sheet and the font check.

Units and conventions
---------------------
Score units are screen pixels at 100 % zoom; y grows downward. A point (x, y)
of the score names the pixel (x, y), whose centre is at (x + 0.5, y + 0.5):
a one-unit line drawn at y covers exactly that pixel row, so staff lines,
stems and ledger lines are centred on the half pixel. Glyph reference points
(note-head centres, clef lines, rest lines) are therefore put on pixel centres
too, so a head on a line is centred on the line's pixel row.

The default music font (score font 0, 25.6 pt) is a 34-pixel em on a 96-dpi
screen (the logical-font height -34). The staff space is 8 units, so velorin is
designed at 4.25 staff spaces per em: 1700 font units per em, 400 per staff
space, 50 per pixel at 34 pixels. Its ascent is 2400 units (48 pixels at 34):
a glyph whose text origin (top left of its cell) is drawn at y - 48 has its
baseline at y. Every other size scales from this: pixel size = the point size
in tenths x 96 / 720, rounded as Windows does (256 -> 34, 176 -> 23,
140 -> 19, 128 -> 17).

Font coordinates are y up with the origin at the text origin's x and the
baseline. "px" below means pixels at the 34-pixel reference size.
"""

import math

UNITS_PER_EM = 1700
UNITS_PER_SPACE = 400           # one staff space, 8 units at font 0
REFERENCE_PIXELS = 34           # em of score font 0 (25.6 pt at 96 dpi)
UNITS_PER_PIXEL = UNITS_PER_EM // REFERENCE_PIXELS   # 50
ASCENT = 2400                   # 48 px: the "drawn at y - 48" rule
DESCENT = 1200                  # 24 px (deepest ink: the 128th rest, 3 spaces)
ASCENT_PIXELS = ASCENT // UNITS_PER_PIXEL             # 48
BRAVURA_UNITS_PER_SPACE = 250   # SMuFL: 4 spaces per 1000-unit em
BRAVURA_SCALE = UNITS_PER_SPACE / BRAVURA_UNITS_PER_SPACE

STEM_LENGTH = 28                # a new note's stem (units)
# Head centres sit this far above the baseline of their glyph, and their
# glyph-table entries draw them 45 units above the anchor instead of 48.
# The small-note path draws the same characters with a 19-pixel font at
# (x - 4, y - 25); this height puts small heads on the anchor's line there
# too (26.8 px ascent - 25 - 2.5 x 19/34 = +0.4 px: within a tenth of the
# pixel centre).
HEAD_CENTRE_HEIGHT_PX = 2.5
# Small-note offsets of the note drawing (the 140-tenths font at x - 4, y - 25).
SMALL_NOTE_TENTHS = 140
SMALL_NOTE_DX = -4
SMALL_NOTE_DY = -25
# Grace heads of glyph-table entries 9 and 10 sit where the small-note path
# puts a small head: left edge at x - 4, centre on pixel column x - 2, so their
# stems fall on columns x (up) and x - 4 (down), the columns the beamer uses
# for small notes.
GRACE_CENTRE_COLUMN = -2


def Round(v):
    """Half-up rounding (Python's round() rounds halves to even)."""
    return math.floor(v + 0.5)


def PixelSizeForTenths(tenths):
    """Pixel em of a point font of `tenths` tenths of a point on a 96-dpi screen."""
    return Round(tenths * 96.0 / 720.0)


def Px(units):
    return units / UNITS_PER_PIXEL


def Units(px):
    return px * UNITS_PER_PIXEL


class HeadGeometry:
    """Where a note head lies inside a glyph, read from its outline.

    xmin/xmax: the head's horizontal extremes in px from the text origin;
    y_at_xmin / y_at_xmax: the heights (px above the baseline) where the
    outline reaches them (SMuFL's stemDownNW / stemUpSE attachment points);
    cx, cy: the centre of its bounding box.
    """

    def __init__(self, points):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.xmin, self.xmax = Px(min(xs)), Px(max(xs))
        self.ymin, self.ymax = Px(min(ys)), Px(max(ys))
        self.cx = (self.xmin + self.xmax) / 2
        self.cy = (self.ymin + self.ymax) / 2
        # Mean height of the outline points within 1/20 px of each extreme:
        # a flat side gives its middle, a pointed one its tip.
        eps = UNITS_PER_PIXEL / 20
        right = [p[1] for p in points if p[0] >= max(xs) - eps]
        left = [p[1] for p in points if p[0] <= min(xs) + eps]
        self.y_at_xmax = Px(sum(right) / len(right))
        self.y_at_xmin = Px(sum(left) / len(left))


def HeadEntryOffsets(head, grace=False):
    """Glyph and stem offsets of a glyph-table entry for a head at `head`.

    Returns (glyph dx, glyph dy, stem-up dx, stem-up dy, stem-down dx,
    stem-down dy). The glyph offsets put the head's centre on the anchor's
    pixel centre (for grace heads on column x - 2). The stem is a one-unit
    line drawn from (x + stem dx, y + stem dy): its column covers the head's
    extreme on the stem side, and its first pixel is the one nearest the
    outline's attachment point, so stem and head always overlap.
    """
    target_x = (GRACE_CENTRE_COLUMN if grace else 0) + 0.5
    gdx = Round(target_x - head.cx)
    gdy = Round(head.cy + 0.5 - ASCENT_PIXELS)
    baseline = gdy + ASCENT_PIXELS            # below the anchor row's top edge
    up_dx = Round(gdx + head.xmax - 1)
    up_dy = Round(baseline - head.y_at_xmax - 0.5)
    down_dx = Round(gdx + head.xmin)
    down_dy = Round(baseline - head.y_at_xmin - 0.5)
    return gdx, gdy, up_dx, up_dy, down_dx, down_dy


def StemEnd(gdx, gdy, sdx, sdy, down, length=STEM_LENGTH):
    """Where a glyph-table stem ends, in px from the glyph's origin and
    baseline (x right, y up): the x of the stem's left edge and the height of
    the centre of its last pixel."""
    end_row = sdy + (length if down else -length)
    return sdx - gdx, gdy + ASCENT_PIXELS - (end_row + 0.5)


# --- brace -------------------------------------------------------------------
# The bracket draws a velorin font of (Bottom - Top) x 2 tenths of a point,
# that is an em of E = 4H/15 px for a height H, and puts glyph 167 at
# (Right - average width, Top + ascent - internal leading) and glyph 234 at
# (Right - average width, Top + ascent). With this design's metrics
# (ascent 24/17 E, descent 12/17 E, internal leading 19/17 E) the upper half's
# baseline is 2900 units below Top and the lower half's 4800, in units of the
# brace font; the whole brace is 15/4 em = 6375 units tall.
BRACE_HEIGHT = UNITS_PER_EM * 15 // 4           # 6375
BRACE_UPPER_BASELINE = 2 * ASCENT - (ASCENT + DESCENT - UNITS_PER_EM)   # 2900
BRACE_LOWER_BASELINE = 2 * ASCENT                                     # 4800
BRACE_WIDTH = 512                               # also OS/2 xAvgCharWidth
