// What the draw pass puts on a device context, recorded.
#include <gtest/gtest.h>

#include <cmath>

#include "model/score.h"
#include "notation/draw.h"
#include "notation/glyph_table.h"
#include "notation/recording_device_context.h"
#include "../model/score_fixture.h"

namespace {

class Drawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(LoadCharList(QUAVIX_GENERATED_CHARLIST)); }
  RecordingDeviceContext dc;
  int CountLedgerLines(const CNote& n) {
    int count = 0;
    for (const DrawCall* c : dc.Of(DrawCall::Line))
      if (c->Points[0].Y == c->Points[1].Y && c->Points[0].X == n.X - 8 && c->Points[1].X == n.X + 10) ++count;
    return count;
  }
};

TEST_F(Drawing, NoFontsDrawNothing) {
  SmallScore t(1, 1);
  t.score.Fonts.clear();
  DrawScore(dc, t.score);
  EXPECT_TRUE(dc.Calls.empty());
}

TEST_F(Drawing, HiddenLayersAndLayersBeyondTheTable) {
  SmallScore t(1, 1);
  t.score.Layers[3].Style = 0;
  auto hidden = std::make_unique<CXText>();
  hidden->Layer = 3;
  hidden->text = "hidden";
  hidden->Selected = 1;
  t.score.AddObject(std::move(hidden));
  auto beyond = std::make_unique<CXText>();
  beyond->Layer = 9;
  beyond->text = "beyond";
  t.score.AddObject(std::move(beyond));
  auto shown = std::make_unique<CXText>();
  shown->Layer = 1;
  shown->text = "shown";
  t.score.AddObject(std::move(shown));
  DrawScore(dc, t.score);
  auto boxes = dc.Of(DrawCall::TextBox);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]->TextBytes, "shown");
  EXPECT_EQ(boxes[0]->TextColour, 0x0000FFu);  // layer 1's colour
  for (const DrawCall* c : dc.Of(DrawCall::FillRect)) EXPECT_NE(c->Box.Width(), 4) << "a handle was drawn";
}

TEST_F(Drawing, ClipBoxWidenedBy64AcrossAnd100Down) {
  CScore score;
  score.ResetDefaultTables();
  auto place = [&](int left, int top) {
    auto o = std::make_unique<CXObject>();
    o->Value = 9;  // an outline
    o->SetBounds(left, top, left + 10, top + 10);
    score.AddObject(std::move(o));
  };
  place(1000 - 60 - 10, 500);   // right edge 60 left of the clip: drawn
  place(1000 - 70 - 10, 500);   // 70 left: not drawn
  place(1100, 400 - 99 - 10);   // 99 above: drawn
  place(1100, 400 - 101 - 10);  // 101 above: not drawn
  RecordingDeviceContext clipped({1000, 400, 1400, 800});
  DrawScore(clipped, score);
  auto outlines = clipped.Of(DrawCall::Polyline);
  ASSERT_EQ(outlines.size(), 2u);
  EXPECT_EQ(outlines[0]->Points[0], (Point{930, 500}));
  EXPECT_EQ(outlines[1]->Points[0], (Point{1100, 291}));
}

TEST_F(Drawing, SelectionIsTealWithEightHandles) {
  SmallScore t(1, 1);
  CNote* n = t.Note(0, 0, 100, 16);
  n->Head = 3;
  n->Selected = 1;
  n->ActiveHandle = 4;
  DrawObject(dc, t.score, *n);
  std::vector<const DrawCall*> squares;
  for (const DrawCall* c : dc.Of(DrawCall::FillRect))
    if (c->Box.Width() == 4 && c->Box.Height() == 4) squares.push_back(c);
  ASSERT_EQ(squares.size(), 8u);
  for (int h = 0; h < 8; ++h) EXPECT_EQ(squares[h]->FillColour, h == 3 ? 0x0000FFu : 0xFF0000u) << h;
  auto texts = dc.Of(DrawCall::Text);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0]->TextColour, kSelectionColor);
  EXPECT_EQ(RedOf(kSelectionColor), 0);
  EXPECT_EQ(GreenOf(kSelectionColor), 128);
  EXPECT_EQ(BlueOf(kSelectionColor), 128);
}

TEST_F(Drawing, NoteGlyphStemAndTwin) {
  SmallScore t(1, 1);
  CNote* n = t.Note(0, 0, 100, 16, 5);
  n->Head = 5;
  n->Stem = 28;
  DrawObject(dc, t.score, *n);
  const GlyphEntry* g = GetGlyph(69);
  ASSERT_TRUE(g);
  EXPECT_TRUE(dc.HasGlyph(g->Byte(), n->X + g->GlyphDx, n->Y + g->GlyphDy));
  auto lines = dc.Of(DrawCall::Line);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0]->Points[0], (Point{n->X + g->StemDx, n->Y + g->StemDy}));
  EXPECT_EQ(lines[0]->Points[1], (Point{n->X + g->StemDx, n->Y + g->StemDy + 28}));
}

TEST_F(Drawing, WholeNotesHaveNoStem) {
  SmallScore t(1, 1);
  CNote* whole = t.Note(0, 0, 100, 16, 1);
  whole->Head = 1;
  whole->Stem = -28;
  DrawObject(dc, t.score, *whole);
  EXPECT_TRUE(dc.Of(DrawCall::Line).empty());
}

TEST_F(Drawing, LedgerLinesAboveAndBelow) {
  SmallScore t(1, 1);
  struct Case { int dy, lines; };
  for (Case c : {Case{-12, 1}, Case{-8, 1}, Case{-7, 0}, Case{-24, 3}, Case{36, 0}, Case{40, 1}, Case{56, 3}}) {
    dc.Calls.clear();
    CNote* n = t.Note(0, 0, 100, c.dy, 3);
    n->Head = 3;
    t.Update();
    DrawObject(dc, t.score, *n);
    EXPECT_EQ(CountLedgerLines(*n), c.lines) << "dy " << c.dy;
  }
  dc.Calls.clear();
  CNote* above = t.Note(0, 0, 100, -12, 3);
  above->Head = 3;
  t.Update();
  DrawObject(dc, t.score, *above);
  bool eightAboveTop = false;
  for (const DrawCall* c : dc.Of(DrawCall::Line)) eightAboveTop |= c->Points[0].Y == t.Stave(0)->Top - 8;
  EXPECT_TRUE(eightAboveTop);
}

TEST_F(Drawing, RestsByCodeWithHighCodesAsEight) {
  SmallScore t(1, 1);
  CRest* r = t.Rest(0, 0, 100, 12);
  DrawObject(dc, t.score, *r);
  EXPECT_TRUE(dc.HasGlyph(229, r->X - 4, r->Y - 48));
  dc.Calls.clear();
  CRest* quarter = t.Rest(0, 0, 200, 3);
  DrawObject(dc, t.score, *quarter);
  EXPECT_TRUE(dc.HasGlyph(206, quarter->X - 4, quarter->Y - 48));
}

TEST_F(Drawing, KeySignatureStepsAndNaturals) {
  SmallScore t(1, 1);
  CSign* sharps = t.Sign(0, 0, 60, SIGN_KEY, 259);
  DrawObject(dc, t.score, *sharps);
  for (auto [i, step] : {std::pair{0, 8}, {1, 5}, {2, 9}})
    EXPECT_TRUE(dc.HasGlyph('#', sharps->Left + 8 * i, sharps->Top - 4 * step - 8)) << i;
  EXPECT_EQ(dc.Of(DrawCall::Text).size(), 3u);
  dc.Calls.clear();
  CSign* naturals = t.Sign(0, 0, 60, SIGN_KEY, 267);
  DrawObject(dc, t.score, *naturals);
  for (auto [i, step] : {std::pair{0, 8}, {1, 5}, {2, 9}})
    EXPECT_TRUE(dc.HasGlyph('n', naturals->Left + 8 * i, naturals->Top - 4 * step - 8)) << i;
  dc.Calls.clear();
  CSign* flats = t.Sign(0, 0, 60, SIGN_KEY, 274);
  DrawObject(dc, t.score, *flats);
  EXPECT_TRUE(dc.HasGlyph('b', flats->Left, flats->Top - 16 - 8));
  EXPECT_TRUE(dc.HasGlyph('b', flats->Left + 8, flats->Top - 28 - 8));
}

// Under a bass or alto clef the accidentals stand on the same letters as
// under the treble clef: two and one staff steps lower.
TEST_F(Drawing, KeySignatureFollowsTheClefInForce) {
  SmallScore t(1, 1);
  t.Sign(0, 0, 20, SIGN_CLEF, 1);
  CSign* bassSharps = t.Sign(0, 0, 60, SIGN_KEY, 259);
  t.Sign(0, 0, 100, SIGN_CLEF, 5);
  CSign* altoFlats = t.Sign(0, 0, 140, SIGN_KEY, 274);
  DrawObject(dc, t.score, *bassSharps);
  for (auto [i, step] : {std::pair{0, 6}, {1, 3}, {2, 7}})
    EXPECT_TRUE(dc.HasGlyph('#', bassSharps->Left + 8 * i, bassSharps->Top - 4 * step - 8)) << i;
  dc.Calls.clear();
  DrawObject(dc, t.score, *altoFlats);
  EXPECT_TRUE(dc.HasGlyph('b', altoFlats->Left, altoFlats->Top - 12 - 8));
  EXPECT_TRUE(dc.HasGlyph('b', altoFlats->Left + 8, altoFlats->Top - 24 - 8));
}

TEST_F(Drawing, RepeatBarLineOnATwoStaveSystem) {
  SmallScore t(2, 1);  // system 100..232
  CMeasure* m = t.Measure(0);
  m->Value = 41;
  t.Update();
  DrawObject(dc, t.score, *m);
  auto strokes = dc.Of(DrawCall::FillRect);
  ASSERT_EQ(strokes.size(), 2u);
  EXPECT_EQ(strokes[0]->Box, (Rect{m->Right - 6, m->Top, m->Right - 5, m->Bottom}));
  EXPECT_EQ(strokes[1]->Box, (Rect{m->Right - 3, m->Top, m->Right, m->Bottom}));
  EXPECT_TRUE(dc.HasGlyph('{', m->Right - 13, m->Top - 16));
  EXPECT_TRUE(dc.HasGlyph('{', m->Right - 13, m->Bottom - 48));
  dc.Calls.clear();
  m->Value = 166;
  DrawObject(dc, t.score, *m);
  EXPECT_TRUE(dc.HasGlyph('{', m->Right, m->Top - 16));
}

// The small clefs are drawn with the smaller clef font (23 pixels against
// the music font's 34): their G, F and C lines still land on the stave's
// second, fourth and middle lines.
TEST_F(Drawing, SmallClefsNameTheirLines) {
  SmallScore t(1, 1);
  const int top = t.Stave(0)->Top;
  struct Case { int value, boxTop, glyph, line, offset; };
  for (const Case& c : {Case{3, -25, '&', 24, 40}, Case{4, -8, '?', 8, 22}, Case{5, -8, 'B', 16, 48}}) {
    CSign* clef = t.Sign(0, 0, 60, SIGN_CLEF, c.value);
    clef->SetBounds(60, top + c.boxTop, 80, top + 10);
    dc.Calls.clear();
    DrawScore(dc, t.score);
    // The glyph's line at the full size lies `offset` below its cell top.
    const int scaled = (c.offset * 23 + 17) / 34;
    EXPECT_TRUE(dc.HasGlyph(c.glyph, 60, top + c.line - scaled)) << c.value;
    t.score.RemoveObject(clef);
  }
}

TEST_F(Drawing, FontChoice) {
  SmallScore t(1, 1);
  CXText* text = t.Text(60, 120, "t");
  text->Font = 6;
  CXText* broken = t.Text(60, 140, "u");
  broken->Font = 30;
  CSign* smallClef = t.Sign(0, 0, 60, SIGN_CLEF, 4);
  DrawScore(dc, t.score);
  auto faceOf = [&](const std::string& bytes) {
    for (const DrawCall& c : dc.Calls)
      if (c.TextBytes == bytes) return c.Face;
    return std::string("none");
  };
  EXPECT_EQ(faceOf("t"), "\xCB\xCE\xCC\xE5");
  EXPECT_EQ(faceOf("u"), "Times New Roman");  // out of range: font 1
  EXPECT_EQ(faceOf("?"), "velorin");
  for (const DrawCall& c : dc.Calls)
    if (c.TextBytes == "?") EXPECT_EQ(c.FontHeight, t.score.Fonts[5].Height);
  (void)smallClef;
}

TEST_F(Drawing, DynamicsAreSetInTheMusicFontsDynamicsLetters) {
  SmallScore t(1, 1);
  t.Text(60, 120, "mf");
  t.Text(60, 160, "sfz");
  t.Text(60, 200, "pp");
  t.Text(60, 240, "mezzo");  // a word: plain text
  t.Text(60, 280, "m");      // no dynamics letter of its own
  DrawScore(dc, t.score);
  auto call = [&](const std::string& bytes) -> const DrawCall* {
    for (const DrawCall& c : dc.Calls)
      if (c.TextBytes == bytes) return &c;
    return nullptr;
  };
  for (const char* glyphs : {"F", "sfz", "pp"}) {
    const DrawCall* c = call(glyphs);
    ASSERT_TRUE(c) << glyphs;
    EXPECT_EQ(c->What, DrawCall::Text);
    EXPECT_EQ(c->Face, "velorin");
  }
  ASSERT_TRUE(call("mezzo"));
  EXPECT_EQ(call("mezzo")->What, DrawCall::TextBox);
  EXPECT_NE(call("mezzo")->Face, "velorin");
  ASSERT_TRUE(call("m"));
  EXPECT_NE(call("m")->Face, "velorin");
}

TEST_F(Drawing, ShapesAndBeams) {
  SmallScore t(1, 1);
  auto wedge = std::make_unique<CXGraphics>();
  wedge->Value = 0;
  wedge->SetBounds(100, 150, 200, 170);
  CXGraphics* w = t.Attach(0, 0, std::move(wedge));
  DrawObject(dc, t.score, *w);
  auto lines = dc.Of(DrawCall::Polyline);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->Points, (std::vector<Point>{{200, 150}, {100, 160}, {200, 170}}));
  dc.Calls.clear();
  auto beam = std::make_unique<CBeam>();
  beam->X = 10; beam->Y = 20; beam->X1 = 50; beam->Y1 = 30;
  CBeam* b = t.Attach(0, 0, std::move(beam));
  DrawObject(dc, t.score, *b);
  auto polys = dc.Of(DrawCall::FillPolygon);
  ASSERT_EQ(polys.size(), 1u);
  EXPECT_EQ(polys[0]->Points, (std::vector<Point>{{10, 20}, {50, 30}, {50, 32}, {10, 22}}));
  dc.Calls.clear();
  auto block = std::make_unique<CXObject>();
  block->Value = 2;
  block->SetBounds(0, 0, 10, 10);
  t.score.AddObject(std::move(block));
  DrawObject(dc, t.score, *t.score.GetObject(t.score.ObjectCount() - 1));
  ASSERT_EQ(dc.Of(DrawCall::FillRect).size(), 1u);
  EXPECT_EQ(dc.Of(DrawCall::FillRect)[0]->Mix, MixMode::NotXor);
}

TEST_F(Drawing, SlurArcsMeetAtTheShapingPoint) {
  SmallScore t(1, 1);
  auto slur = std::make_unique<CSlurLine>();
  slur->X = 100; slur->Y = 100; slur->X1 = 200; slur->Y1 = 100; slur->X2 = 150; slur->Y2 = 80;
  CSlurLine* s = t.Attach(0, 0, std::move(slur));
  DrawObject(dc, t.score, *s);
  auto arcs = dc.Of(DrawCall::Arc);
  ASSERT_EQ(arcs.size(), 2u);
  // Both circles pass through the shaping point and their own end.
  for (const DrawCall* a : arcs) {
    const double cx = (a->Box.Left + a->Box.Right) / 2.0, cy = (a->Box.Top + a->Box.Bottom) / 2.0;
    const double r = a->Box.Width() / 2.0;
    for (const Point& p : a->Points) EXPECT_NEAR(std::hypot(p.X - cx, p.Y - cy), r, 1.0);
  }
  dc.Calls.clear();
  s->Y2 = 100;  // on the chord: a straight line
  DrawObject(dc, t.score, *s);
  EXPECT_EQ(dc.Of(DrawCall::Arc).size(), 0u);
  EXPECT_EQ(dc.Of(DrawCall::Line).size(), 1u);
}

}  // namespace
