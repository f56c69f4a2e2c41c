#include "notation/draw.h"
#include "notation/velorin_metrics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <optional>

#include "model/score.h"
#include "notation/glyph_table.h"

namespace {

int SaturateToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

constexpr Color kBlack = 0;
constexpr Color kHandleRed = 0x0000FF;
constexpr Color kHandleBlue = 0xFF0000;

void Glyph(DeviceContext& dc, int x, int y, int byte) {
  const char c = static_cast<char>(byte & 0xFF);
  dc.TextOut(x, y, std::string_view(&c, 1));
}

// A point font of the music face at a size in tenths of a point.
LogFont MusicFont(int tenths) { return LogFont::PointFont(tenths, kMusicFace); }

bool Meets(const CXObject& o, const Rect& r) {
  return o.Left < r.Right && o.Right > r.Left && o.Top < r.Bottom && o.Bottom > r.Top;
}

// --- structure --------------------------------------------------------------------

void DrawMeasure(DeviceContext& dc, const CMeasure& m) {
  const int r = m.Right;
  const Color c = dc.GetPen().Colour;
  auto stroke = [&](int x, int width) { dc.FillRect({x, m.Top, x + width, m.Bottom}, c); };
  switch (m.Value) {
    case 5: stroke(r - 4, 1); stroke(r - 1, 1); break;
    case 6: case 166: stroke(r - 7, 3); stroke(r - 1, 1); break;
    case 9: case 41: stroke(r - 6, 1); stroke(r - 3, 3); break;
    default: stroke(r - 1, 1); break;  // 0, 1 and values without strokes of their own
  }
  if (m.Value & 0xF0) {
    // Repeat dots before the line for an end of repeat, after it for a start.
    const int x = static_cast<int8_t>(m.Value & 0xFF) >= 0 ? r - 13 : r;
    Glyph(dc, x, m.Top - 16, '{');
    if (m.Bottom - m.Top >= 32) Glyph(dc, x, m.Bottom - 48, '{');
  }
}

void DrawBracket(DeviceContext& dc, const CBracket& b) {
  const LogFont previous = dc.GetFont();
  dc.SetFont(MusicFont((b.Bottom - b.Top) * 2));
  const TextMetrics tm = dc.GetTextMetrics();
  const int x = b.Right - tm.AveCharWidth;
  const int y = b.Top + tm.Ascent - tm.InternalLeading;
  Glyph(dc, x, y, 167);
  Glyph(dc, x, y + tm.InternalLeading, 234);
  dc.SetFont(previous);
}

void DrawEnding(DeviceContext& dc, const CEnding& e) {
  if (e.Style & 0x10) dc.Line(e.Left, e.Top + 16, e.Left, e.Top);
  dc.Line(e.Left, e.Top, e.Right, e.Top);
  if (e.Style & 0x20) dc.Line(e.Right, e.Top, e.Right, e.Top + 16);
  const LogFont previous = dc.GetFont();
  dc.SetFont(LogFont::PointFont(120, "System"));
  char text[16];
  std::snprintf(text, sizeof text, "%d.", e.Value);
  dc.TextOut(e.Left + 5, e.Top + 2, text);
  dc.SetFont(previous);
}

// --- signs, notes, rests, marks -------------------------------------------------

constexpr int kSharpSteps[7] = {8, 5, 9, 6, 3, 7, 4};
constexpr int kFlatSteps[7] = {4, 7, 3, 6, 2, 5, 1};

// Accidentals share their glyphs and placement with the accidental marks.
std::optional<int> AccidentalGlyph(int code) {
  switch (code) {
    case 1: case 4: return 'b';
    case 2: case 5: return '#';
    case 3: case 6: return 'n';
    case 7: case 9: return 186;
    case 8: case 10: return 220;
    default: return std::nullopt;
  }
}

// Staff steps the key signature's accidentals move down under the clef in
// force before the sign on its stave: the sharps and flats stand on the same
// letters under every clef (treble 0, bass 2, alto 1).
int KeySignatureShift(const CSign& s) {
  static constexpr int kShift[3] = {0, 2, 1};
  int clef = 0;
  if (s.OwnerStave)
    for (const CStaveObject* o : s.OwnerStave->Attached) {
      if (o == &s) break;
      if (o->KindCode() != Kind::Sign || o->Style != SIGN_CLEF) continue;
      if (o->Value >= 0 && o->Value <= 5) clef = o->Value % 3;
    }
  return kShift[clef];
}

// A small clef drawn with the smaller clef font: the glyph scales about the
// top of its character cell, so the cell is placed to put the clef's own line
// (G, F or C) on the stave line it names. The stave's top is found from the
// sign's box (25 or 8 units above it); the line lies `lineOffset` below the
// cell top at the full music-font size.
void DrawSmallClef(DeviceContext& dc, const CSign& s) {
  static constexpr struct { int topToLine, lineOffset, glyph; } kSmall[3] = {
      {25 + 24, 40, '&'}, {8 + 8, 22, '?'}, {8 + 16, 48, 'B'}};
  const auto& c = kSmall[s.Value - 3];
  // In 64 bits: the font's height comes from the file and may be anything.
  int64_t em = std::abs(int64_t(dc.GetFont().Height));
  if (em == 0) em = kVelorinReferencePixels;
  const int64_t scaled = (c.lineOffset * em + kVelorinReferencePixels / 2) / kVelorinReferencePixels;
  Glyph(dc, s.Left, SaturateToInt(int64_t(s.Top) + c.topToLine - scaled), c.glyph);
}

void DrawSign(DeviceContext& dc, const CSign& s) {
  switch (s.Style) {
    case SIGN_CLEF:
      switch (s.Value) {
        case 0: Glyph(dc, s.Left, s.Top, '&'); break;
        case 1: Glyph(dc, s.Left, s.Top - 14, '?'); break;
        case 2: Glyph(dc, s.Left, s.Top - 16, 'B'); break;
        case 3: case 4: case 5: DrawSmallClef(dc, s); break;
        default: break;
      }
      break;
    case SIGN_TIME: {
      char text[8];
      std::snprintf(text, sizeof text, "%d", s.Value & 0xFF);
      dc.TextOut(s.Left, s.Top - 40, text);
      std::snprintf(text, sizeof text, "%d", (s.Value >> 8) & 0xFF);
      dc.TextOut(s.Left, s.Top - 24, text);
      break;
    }
    case SIGN_KEY:
      if (s.Value > 256) {
        const bool sharps = s.Value >= 257 && s.Value <= 271;
        const bool flats = s.Value >= 273 && s.Value <= 287;
        if (!sharps && !flats) break;
        const int glyph = (s.Value & 8) ? 'n' : sharps ? '#' : 'b';
        const int* steps = sharps ? kSharpSteps : kFlatSteps;
        const int shift = KeySignatureShift(s);
        for (int i = 0; i < (s.Value & 7); ++i)
          Glyph(dc, s.Left + 8 * i, s.Top - 4 * (steps[i] - shift) - 8, glyph);
      } else if (auto g = AccidentalGlyph(s.Value)) {
        Glyph(dc, s.X - 4, s.Y - 48, *g);  // a single accidental before a note
      }
      break;
    default:
      break;
  }
}

void DrawNote(DeviceContext& dc, const CNote& n) {
  const int x = n.X, y = n.Y;
  const bool small = (n.Style & NTS_GRACE) && n.Head < 8;
  int code = n.Head;
  if (code < 64 && n.Stem > 0) code += 64;
  if (const GlyphEntry* g = GetGlyph(code)) {
    if (small) {
      const LogFont previous = dc.GetFont();
      dc.SetFont(MusicFont(140));
      Glyph(dc, x - 4, y - 25, g->Character);
      dc.SetFont(previous);
    } else {
      Glyph(dc, x + g->GlyphDx, y + g->GlyphDy, g->Character);
    }
    if (n.Stem != 0 && n.Value > 1) {
      int sx = x + g->StemDx;
      const int sy = y + g->StemDy;
      // A small head is drawn from its cell at x - 4 at the smaller size: the
      // stem goes to the side of that head, not of a full-size one.
      if (small) {
        const int em = std::abs(MusicFont(140).Height);
        sx = x - 4 + ((g->StemDx - g->GlyphDx) * em + kVelorinReferencePixels / 2) / kVelorinReferencePixels;
      }
      dc.Line(sx, sy, sx, SaturateToInt(int64_t(sy) + n.Stem));
    }
  }
  if (n.Tail == 18) Glyph(dc, x - 5, y - 48, n.Stem > 0 ? 'J' : 'j');
  else if (n.Tail == 19) Glyph(dc, x - 5, y - 48, n.Stem > 0 ? 'K' : 'k');
  // Ledger lines above and below the stave.
  const int length = small ? 10 : 18, from = small ? 6 : 8;
  // In 64 bits: a damaged note's dy may be anything; lines beyond int's
  // range are not drawn.
  const int64_t top = int64_t(y) - n.dy, bottom = top + 32;
  auto ledger = [&](int64_t ly) {
    if (ly >= INT32_MIN && ly <= INT32_MAX) dc.Line(x - from, int(ly), x - from + length, int(ly));
  };
  if (n.dy < -7)
    for (int64_t k = 1, ly = top - 8; k <= 16 && ly >= y; ++k, ly -= 8) ledger(ly);
  else if (n.dy >= 40)
    for (int64_t k = 1, ly = bottom + 8; k <= 16 && ly <= y; ++k, ly += 8) ledger(ly);
}

void DrawRest(DeviceContext& dc, const CRest& r) {
  static constexpr int kGlyph[9] = {208, 238, 183, 206, 228, 197, 168, 244, 229};
  static constexpr int kDx[9] = {-6, -6, -6, -4, -4, -4, -4, -4, -4};
  static constexpr int kDy[9] = {-4, -4, 4, 0, -4, 0, 8, 8, 0};
  const int c = std::min(r.DurationCode(), 8);
  Glyph(dc, r.X + kDx[c], r.Y - 48 + kDy[c], kGlyph[c]);
}

void DrawMark(DeviceContext& dc, const CMark& m) {
  const int x = m.X, y = m.Y;
  if (m.Selected) dc.FrameRect(m.GetBounds());
  if (m.Value >= 1 && m.Value <= 10) {
    Glyph(dc, x - 4, y - 48, *AccidentalGlyph(m.Value));
    return;
  }
  switch (m.Value) {
    case 16: Glyph(dc, x - 5, y - 43, 175); break;
    case 17: Glyph(dc, x, y - 48, 223); break;
    case 20: Glyph(dc, x - 10, y - 40, 212); break;
    case 21: Glyph(dc, x, y - 32, 161); break;
    case 22: Glyph(dc, x - 6, y - 42, '*'); break;
    case 33: case 34: case 35: case 36: case 37: Glyph(dc, x - 4, y - 48, 100 + m.Value); break;
    case 48: Glyph(dc, x - 10, y - 48, 'U'); break;
    case 49: Glyph(dc, x - 10, y - 48, 'u'); break;
    case 50: Glyph(dc, x - 4, y - 44, 230); break;
    case 51: Glyph(dc, x - 4, y - 44, 231); break;
    case 60: Glyph(dc, x - 12, y - 48, 64); break;
    case 61: Glyph(dc, x - 12, y - 48, 65); break;
    case 64: Glyph(dc, x - 6, y - 46, '~'); break;
    case 65: Glyph(dc, x - 10, y - 48, 'T'); break;
    case 66: Glyph(dc, x - 10, y - 45, 199); Glyph(dc, x - 10, y - 48, 'T'); break;
    case 67: Glyph(dc, x, y - 32, '`'); break;
    case 68: case 69: case 70:
      Glyph(dc, x, y - 32, '`');
      Glyph(dc, x + 16, y - 40, m.Value == 68 ? 'i' : m.Value == 69 ? 'I' : 233);
      break;
    case 71: Glyph(dc, x, y - 43, 'm'); break;
    case 72: Glyph(dc, x, y - 43, 'M'); break;
    case 75: Glyph(dc, x - 4, y - 48, '+'); break;
    case 76: Glyph(dc, x - 4, y - 48, 159); break;
    case 77: Glyph(dc, x - 2, y - 48, 'o'); break;
    case 78: Glyph(dc, x - 4, y - 48, 245); break;
    case 79: Glyph(dc, x - 4, y - 40, 178); break;
    case 80: Glyph(dc, x - 6, y - 44, 179); break;
    case 82: Glyph(dc, x, y - 42, 195); break;
    case 83: Glyph(dc, x, y - 42, 215); break;
    case 88: Glyph(dc, x - 4, y - 48, '-'); break;
    case 90: Glyph(dc, x, y - 48, '.'); break;
    case 91: Glyph(dc, x - 4, y - 48, '-'); Glyph(dc, x, y - 44, '.'); break;
    case 92: Glyph(dc, x, y - 48, '.'); Glyph(dc, x - 4, y - 44, '-'); break;
    case 93: Glyph(dc, x - 8, y - 44, '>'); break;
    case 94: Glyph(dc, x - 8, y - 56, '-'); Glyph(dc, x - 8, y - 44, '>'); break;
    case 95: Glyph(dc, x - 8, y - 44, '-'); Glyph(dc, x - 8, y - 48, '>'); break;
    case 96: Glyph(dc, x - 4, y - 56, '.'); Glyph(dc, x - 8, y - 46, '>'); break;
    case 97: Glyph(dc, x - 4, y - 46, '.'); Glyph(dc, x - 8, y - 48, '>'); break;
    case 106: Glyph(dc, x, y - 48, 174); break;
    case 107: Glyph(dc, x, y - 48, '\''); break;
    case 116: Glyph(dc, x, y - 32, 'c'); break;
    default: Glyph(dc, x - 8, y - 40, '*'); break;
  }
}

void DrawBeam(DeviceContext& dc, const CBeam& b) {
  const Point p[4] = {{b.X, b.Y}, {b.X1, b.Y1}, {b.X1, b.Y1 + 2}, {b.X, b.Y + 2}};
  dc.FillPolygon(p, 4, kBlack);
}

// Centre of the circle through P and Q whose centre lies on the line through M
// perpendicular to the chord direction (ux, uy).
bool ArcCentre(double px, double py, double qx, double qy, double mx, double my, double ux, double uy, double& cx,
               double& cy) {
  // Points C = M + t (-uy, ux); |C - P| = |C - Q|  =>  linear in t.
  const double nx = -uy, ny = ux;
  const double dx = qx - px, dy = qy - py;
  const double denom = 2 * (nx * dx + ny * dy);
  if (std::fabs(denom) < 1e-9) return false;
  const double t = ((qx * qx + qy * qy) - (px * px + py * py) - 2 * (mx * dx + my * dy)) / denom;
  cx = mx + t * nx;
  cy = my + t * ny;
  return true;
}

void DrawSlur(DeviceContext& dc, const CSlurLine& s) {
  const double ax = s.X, ay = s.Y, bx = s.X1, by = s.Y1, mx = s.X2, my = s.Y2;
  const double ux = bx - ax, uy = by - ay;
  const double cross = ux * (my - ay) - uy * (mx - ax);
  double c1x, c1y, c2x, c2y;
  if (std::fabs(cross) < 1e-9 || !ArcCentre(ax, ay, mx, my, mx, my, ux, uy, c1x, c1y) ||
      !ArcCentre(mx, my, bx, by, mx, my, ux, uy, c2x, c2y)) {
    dc.Line(s.X, s.Y, s.X1, s.Y1);
    return;
  }
  auto square = [](double cx, double cy, double r) {
    return Rect{int(std::lround(cx - r)), int(std::lround(cy - r)), int(std::lround(cx + r)), int(std::lround(cy + r))};
  };
  const Point a{s.X, s.Y}, b{s.X1, s.Y1}, m{s.X2, s.Y2};
  const double r1 = std::hypot(c1x - ax, c1y - ay), r2 = std::hypot(c2x - bx, c2y - by);
  // Arcs run counter-clockwise as seen on screen. For a bow above the chord
  // (the usual slur) that is from M to A and from B to M; for a bow below it
  // the ends swap, so that both halves take the short way round.
  if (cross < 0) {
    dc.Arc(square(c1x, c1y, r1), m, a);
    dc.Arc(square(c2x, c2y, r2), b, m);
  } else {
    dc.Arc(square(c1x, c1y, r1), a, m);
    dc.Arc(square(c2x, c2y, r2), m, b);
  }
}

void DrawOctaveLine(DeviceContext& dc, const COctaveLine& o) {
  Glyph(dc, o.Left, o.Top - 40, '8');
  const PenDesc previous = dc.GetPen();
  dc.SetPen({PenDot, 1, dc.GetTextColor()});
  const int y = o.Top + (o.Value == 1 ? 12 : 4);
  dc.Line(o.Left + 16, y, o.Right, y);
  if (o.Style & 0x100) dc.Line(o.Right, y, o.Right, o.Value == 1 ? y - 12 : y + 12);
  dc.SetPen(previous);
}

// --- page objects ---------------------------------------------------------------

void FrameOutside(DeviceContext& dc, const CXObject& o) {
  dc.FrameRect({o.Left - 1, o.Top - 1, o.Right + 1, o.Bottom + 1});
}

void Arpeggio(DeviceContext& dc, const CXObject& o) {
  const int count = (o.Bottom - o.Top) / 18;
  for (int i = 0; i < count; ++i) Glyph(dc, o.Left, o.Top - 32 + 18 * i, 'g');
}

void DrawShape(DeviceContext& dc, const CXObject& o, bool graphics) {
  const int middle = (o.Top + o.Bottom) / 2;
  switch (o.Value) {
    case 0: {
      const Point p[3] = {{o.Right, o.Top}, {o.Left, middle}, {o.Right, o.Bottom}};
      dc.Polyline(p, 3);
      break;
    }
    case 1: {
      const Point p[3] = {{o.Left, o.Top}, {o.Right, middle}, {o.Left, o.Bottom}};
      dc.Polyline(p, 3);
      break;
    }
    case 2:
      if (o.Style & STYLE_FRAMED) {
        dc.FrameRect(o.GetBounds());
      } else {
        dc.SetMixMode(MixMode::NotXor);
        dc.FillRect(o.GetBounds(), dc.GetTextColor());
        dc.SetMixMode(MixMode::Copy);
      }
      break;
    case 3: Arpeggio(dc, o); break;
    case 4:
      if (graphics) {
        dc.Ellipse(o.GetBounds());
        DrawOutline(dc, o);
        break;
      }
      [[fallthrough]];
    default: DrawOutline(dc, o); break;
  }
}

// A text of dynamics words only (p, mp, mf, f, sfz, fp, rf ...): the bytes
// of the music font's dynamics letters ("mp" and "mf" are one glyph each),
// or nothing for any other text.
std::string DynamicsGlyphs(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == 'm' && i + 1 < text.size() && (text[i + 1] == 'p' || text[i + 1] == 'f')) {
      out += text[++i] == 'p' ? 'P' : 'F';
    } else if (c == 'p' || c == 'f' || c == 's' || c == 'z' || c == 'r') {
      out += c;
    } else {
      return {};
    }
  }
  return out;
}

void DrawText(DeviceContext& dc, const CXText& t) {
  if (const std::string glyphs = DynamicsGlyphs(t.text); !glyphs.empty()) {
    // Set in the music font at the staff's size, on the text's baseline
    // (three quarters down its box); music glyphs stand 48 units below their cell top.
    const LogFont previous = dc.GetFont();
    dc.SetFont(MusicFont(256));
    const Rect box = t.GetBounds();
    dc.TextOut(box.Left, box.Top + (box.Bottom - box.Top) * 3 / 4 - 48, glyphs);
    dc.SetFont(previous);
    if (t.Style & STYLE_FRAMED) dc.FrameRect(box);
    return;
  }
  dc.DrawTextInBox(t.GetBounds(), t.text);
  if (t.Style & STYLE_FRAMED) dc.FrameRect(t.GetBounds());
}

void DrawAngleText(DeviceContext& dc, const CAngleText& t) {
  LogFont f = dc.GetFont();
  const LogFont previous = f;
  f.Escapement = t.Escapement;
  f.Orientation = t.Orientation;
  dc.SetFont(f);
  dc.TextOut(t.Left, t.Top, t.text);
  dc.SetFont(previous);
}

// The font an object draws with: texts and links their own (index 1 when out
// of range), signs of Value 3 to 6 font 5, everything else font 0.
const LogFont* FontFor(const CScore& score, const CXObject& o, bool outOfRangeToDefault) {
  const auto& fonts = score.Fonts;
  if (fonts.empty()) return nullptr;
  int index = 0;
  const int8_t* own = nullptr;
  if (auto* t = As<CXText>(&o)) own = &t->Font;
  else if (auto* l = As<CXLink>(&o)) own = &l->Font;
  if (own) {
    index = *own;
    if (index < 0 || index >= int(fonts.size())) index = outOfRangeToDefault ? 0 : 1;
  } else if (o.KindCode() == Kind::Sign && o.Value >= 3 && o.Value <= 6 && fonts.size() > 5) {
    index = 5;
  }
  if (index >= int(fonts.size())) index = 0;
  return &fonts[index];
}

void Prepare(DeviceContext& dc, const CScore& score, const CXObject& o, const CLayer& layer,
             std::optional<PenDesc>& lastPen, bool outOfRangeToDefault) {
  const PenDesc pen{o.KindCode() == Kind::Line ? o.Style : PenSolid, 1, static_cast<Color>(layer.Color)};
  if (!lastPen || !(*lastPen == pen)) {
    dc.SetPen(pen);
    lastPen = pen;
  }
  if (o.Selected) {
    DrawHandles(dc, o);
    dc.SetTextColor(kSelectionColor);
  } else {
    dc.SetTextColor(static_cast<Color>(layer.Color));
  }
  if (const LogFont* f = FontFor(score, o, outOfRangeToDefault)) dc.SetFont(*f);
}

const CLayer* VisibleLayer(const CScore& score, const CXObject& o) {
  const size_t index = static_cast<uint8_t>(o.Layer) & 0x7F;
  if (index >= score.Layers.size()) return nullptr;
  const CLayer& layer = score.Layers[index];
  return (layer.Style & LAYER_VISIBLE) ? &layer : nullptr;
}

}  // namespace

void DrawKind(DeviceContext& dc, const CScore& score, const CXObject& o) {
  switch (o.KindCode()) {
    case Kind::Staff: dc.Line(o.Left, o.Top, o.Left, o.Bottom); break;
    case Kind::Stave:
      for (int i = 0; i <= 4; ++i) dc.Line(o.Left, o.Top + 8 * i, o.Right, o.Top + 8 * i);
      break;
    case Kind::Measure: DrawMeasure(dc, static_cast<const CMeasure&>(o)); break;
    case Kind::Bracket: DrawBracket(dc, static_cast<const CBracket&>(o)); break;
    case Kind::Sign: DrawSign(dc, static_cast<const CSign&>(o)); break;
    case Kind::Note: DrawNote(dc, static_cast<const CNote&>(o)); break;
    case Kind::Rest: DrawRest(dc, static_cast<const CRest&>(o)); break;
    case Kind::Mark: DrawMark(dc, static_cast<const CMark&>(o)); break;
    case Kind::Beam: DrawBeam(dc, static_cast<const CBeam&>(o)); break;
    case Kind::Slur: DrawSlur(dc, static_cast<const CSlurLine&>(o)); break;
    case Kind::Line: {
      auto& l = static_cast<const CXLine&>(o);
      dc.Line(l.X, l.Y, l.X1, l.Y1);
      break;
    }
    case Kind::Ending: DrawEnding(dc, static_cast<const CEnding&>(o)); break;
    case Kind::OctaveLine: DrawOctaveLine(dc, static_cast<const COctaveLine&>(o)); break;
    case Kind::Text: DrawText(dc, static_cast<const CXText&>(o)); break;
    case Kind::AngleText: DrawAngleText(dc, static_cast<const CAngleText&>(o)); break;
    case Kind::VisualMidi: {
      auto& v = static_cast<const CVisualMidi&>(o);
      if ((v.Value & 0xFF) == 0xFF) DrawText(dc, v);
      else dc.FillRect(v.GetBounds(), dc.GetTextColor());
      break;
    }
    case Kind::Image: {
      auto& i = static_cast<const CXImage&>(o);
      if (i.picture) dc.DrawPicture(*i.picture, i.GetBounds());
      else DrawOutline(dc, i);
      if (i.Style & STYLE_FRAMED) FrameOutside(dc, i);
      break;
    }
    case Kind::Link: {
      auto& l = static_cast<const CXLink&>(o);
      dc.TextOut(l.Left + 2, l.Top + 2, l.text);
      if (l.Style & STYLE_FRAMED) FrameOutside(dc, l);
      break;
    }
    case Kind::Combo:
      if (o.Value == 3) Arpeggio(dc, o);
      else DrawOutline(dc, o);
      break;
    case Kind::Object: DrawShape(dc, o, false); break;
    case Kind::Graphics: DrawShape(dc, o, true); break;
    default: break;
  }
  (void)score;
}

void DrawScore(DeviceContext& dc, const CScore& score) {
  if (score.Fonts.empty()) return;
  DeviceStateSaver saved(dc);
  dc.SetBackgroundMode(BackgroundMode::Transparent);
  const Rect clip = dc.GetClipBox();
  const Rect area{clip.Left - 64, clip.Top - 100, clip.Right + 64, clip.Bottom + 100};
  std::optional<PenDesc> lastPen;
  for (const auto& up : score.Objects()) {
    const CXObject& o = *up;
    const CLayer* layer = VisibleLayer(score, o);
    if (!layer || !Meets(o, area)) continue;
    Prepare(dc, score, o, *layer, lastPen, false);
    DrawKind(dc, score, o);
  }
}

void DrawObject(DeviceContext& dc, const CScore& score, const CXObject& object) {
  if (score.Fonts.empty()) return;
  const CLayer* layer = VisibleLayer(score, object);
  if (!layer) return;
  DeviceStateSaver saved(dc);
  dc.SetBackgroundMode(BackgroundMode::Transparent);
  std::optional<PenDesc> lastPen;
  Prepare(dc, score, object, *layer, lastPen, true);
  DrawKind(dc, score, object);
}

void DrawOutline(DeviceContext& dc, const CXObject& o) {
  const Point p[5] = {{o.Left, o.Top}, {o.Right - 1, o.Top}, {o.Right - 1, o.Bottom - 1}, {o.Left, o.Bottom - 1},
                      {o.Left, o.Top}};
  dc.Polyline(p, 5);
}

void DrawHandles(DeviceContext& dc, const CXObject& o) {
  if (!o.Selected) return;
  DrawOutline(dc, o);
  Rect r;
  for (int h = 1; h <= 8; ++h)
    if (o.GetHandleRect(r, h, 2)) dc.FillRect(r, h == o.ActiveHandle ? kHandleRed : kHandleBlue);
}

void DrawMoveFeedback(DeviceContext& dc, const CXObject& o, int dx, int dy) {
  const Point p[5] = {{o.Left + dx, o.Top + dy},
                      {o.Right - 1 + dx, o.Top + dy},
                      {o.Right - 1 + dx, o.Bottom - 1 + dy},
                      {o.Left + dx, o.Bottom - 1 + dy},
                      {o.Left + dx, o.Top + dy}};
  dc.Polyline(p, 5);
}

void DrawResizeFeedback(DeviceContext& dc, const CXObject& o, int dx, int dy) {
  if (!o.Selected || o.ActiveHandle == 0) return;
  if (auto* n = As<CNote>(&o)) {
    // A note's handle drags its stem.
    const GlyphEntry* g = GetGlyph(n->Head < 64 && n->Stem > 0 ? n->Head + 64 : n->Head);
    const int sx = n->X + (g ? g->StemDx : 0), sy = n->Y + (g ? g->StemDy : 0);
    dc.Line(sx, sy, sx, sy + n->Stem + dy);
    return;
  }
  // The outline the object would have: resize a copy.
  std::unique_ptr<CXObject> copy = CreateObject(o.GetKind());
  if (!copy) return;
  copy->CopyFrom(&o);
  if (auto* stave = As<CStave>(&o)) static_cast<CStave*>(copy.get())->OwnerStaff = stave->OwnerStaff;
  if (auto* measure = As<CMeasure>(&o)) static_cast<CMeasure*>(copy.get())->OwnerStaff = measure->OwnerStaff;
  copy->ActiveHandle = o.ActiveHandle;
  copy->ResizeByHandle(dx, dy);
  DrawOutline(dc, *copy);
}

void DrawGlyphWithStem(DeviceContext& dc, int code, int x, int y) {
  const GlyphEntry* g = GetGlyph(code);
  if (!g) return;
  Glyph(dc, x + g->GlyphDx, y + g->GlyphDy, g->Character);
  const int sx = x + g->StemDx, sy = y + g->StemDy;
  dc.Line(sx, sy, sx, sy + (code >= 64 ? 28 : -28));
}
