// Geometry, kinds and copying of single objects.
#include <gtest/gtest.h>

#include "model/score.h"

namespace {

TEST(Bounds, SetBoundsNormalisesAndNeverEmpty) {
  CXObject o;
  o.SetBounds(10, 10, 10, 10);
  EXPECT_EQ(o.GetBounds(), (Rect{10, 10, 11, 11}));
  o.SetBounds(50, 40, 20, 10);
  EXPECT_EQ(o.GetBounds(), (Rect{20, 10, 50, 40}));
}

TEST(Bounds, HitTestIncludesLeftTopExcludesRightBottom) {
  CXObject o;
  o.SetBounds(10, 20, 30, 40);
  EXPECT_TRUE(o.HitTest(10, 20));
  EXPECT_TRUE(o.HitTest(29, 39));
  EXPECT_FALSE(o.HitTest(30, 25));
  EXPECT_FALSE(o.HitTest(15, 40));
  EXPECT_FALSE(o.HitTest(9, 25));
}

TEST(Bounds, MoveToKeepsSize) {
  CXObject o;
  o.SetBounds(10, 20, 30, 60);
  o.MoveTo(-5, 100);
  EXPECT_EQ(o.GetBounds(), (Rect{-5, 100, 15, 140}));
}

TEST(Handles, ResizeByEachHandleMovesItsEdges) {
  struct Case { int handle; Rect expected; };
  const Case cases[] = {
      {1, {5, 17, 100, 50}}, {2, {0, 17, 105, 50}}, {3, {5, 10, 100, 57}}, {4, {0, 10, 105, 57}},
      {5, {0, 17, 100, 50}}, {6, {0, 10, 100, 57}}, {7, {5, 10, 100, 50}}, {8, {0, 10, 105, 50}},
      {0, {0, 10, 100, 50}},
  };
  for (const Case& c : cases) {
    CXObject o;
    o.SetBounds(0, 10, 100, 50);
    o.ActiveHandle = static_cast<uint8_t>(c.handle);
    o.ResizeByHandle(5, 7);
    EXPECT_EQ(o.GetBounds(), c.expected) << "handle " << c.handle;
  }
}

TEST(Handles, DraggingAnEdgePastTheOtherTurnsTheBoxOver) {
  CXObject o;
  o.SetBounds(0, 0, 20, 10);
  o.ActiveHandle = 7;
  o.ResizeByHandle(30, 0);
  EXPECT_EQ(o.Left, 20);
  EXPECT_EQ(o.Right, 30);
}

TEST(Handles, HandleRectsAndHandleAt) {
  CXObject o;
  o.SetBounds(0, 0, 21, 11);
  Rect r;
  ASSERT_TRUE(o.GetHandleRect(r, 6, 2));
  EXPECT_EQ(r, (Rect{8, 9, 12, 13}));  // midpoint (10, 11)
  ASSERT_TRUE(o.GetHandleRect(r, 9, 2));
  EXPECT_EQ(r, (Rect{-2, -2, 2, 2}));  // outside 1..8: around (0, 0)
  EXPECT_EQ(o.HandleAt(0, 0), 1);
  EXPECT_EQ(o.HandleAt(23, 13), 4);
  EXPECT_EQ(o.HandleAt(24, 11), 0);
  EXPECT_EQ(o.HandleAt(10, 5), 0);
}

TEST(Handles, ClassesOfferOnlyTheirHandles) {
  CMeasure m;
  CStave s;
  CBracket b;
  COctaveLine l;
  CXLine line;
  Rect r;
  for (int h = 1; h <= 8; ++h) {
    EXPECT_EQ(m.GetHandleRect(r, h, 2), h == 2 || h == 4) << h;
    EXPECT_EQ(s.GetHandleRect(r, h, 2), h == 1 || h == 2) << h;
    EXPECT_EQ(b.GetHandleRect(r, h, 2), h == 5 || h == 6) << h;
    EXPECT_EQ(l.GetHandleRect(r, h, 2), h == 7 || h == 8) << h;
    EXPECT_EQ(line.GetHandleRect(r, h, 2), h == 1 || h == 4) << h;
  }
  line.X = 10; line.Y = 20; line.X1 = 90; line.Y1 = 5;
  line.BoundsFromPoints();
  ASSERT_TRUE(line.GetHandleRect(r, 4, 3));
  EXPECT_EQ(r, (Rect{87, 2, 93, 8}));
  EXPECT_EQ(line.HandleAt(11, 21), 1);
}

TEST(Kinds, IsKindFollowsTheClassTree) {
  CRest rest;
  EXPECT_TRUE(rest.IsKind('W'));
  EXPECT_TRUE(rest.IsKind('N'));
  EXPECT_TRUE(rest.IsKind('w'));
  EXPECT_FALSE(rest.IsKind('M'));
  CXLink link;
  EXPECT_FALSE(link.IsKind('X'));
  EXPECT_TRUE(link.IsKind('w'));
  CAngleText angle;
  EXPECT_TRUE(angle.IsKind('X'));
  CBeam beam;
  EXPECT_TRUE(beam.IsKind('M'));
  EXPECT_FALSE(beam.IsKind('N'));
  CMeasure measure;
  EXPECT_FALSE(measure.IsKind('w'));
  for (char k : std::string("OgLGMSHNRc8{XvaIlEsTV")) {
    auto o = CreateObject(k);
    ASSERT_TRUE(o) << k;
    EXPECT_EQ(o->GetKind(), k);
    EXPECT_TRUE(o->IsKind('O')) << k;
  }
}

TEST(Kinds, FactoryRefusesAbstractAndUnknownCodes) {
  for (int k : {int('w'), int('W'), int('-'), 0, int('Z'), 255, int('n')}) EXPECT_FALSE(CreateObject(k)) << k;
  EXPECT_TRUE(CreateObject('N' + 256));  // only the low byte counts
}

TEST(Kinds, KindNames) {
  EXPECT_STREQ(KindName('a'), "Undefined");
  EXPECT_STREQ(KindName('w'), "Undefined");
  EXPECT_STREQ(KindName(334), "CNote");
  EXPECT_STREQ(KindName('-'), "CHorizontalLine");
  EXPECT_STREQ(KindName('O'), "CXObject");
  EXPECT_STREQ(KindName('W'), "CXWord");
  EXPECT_STREQ(KindName('v'), "CVisualMidi");
}

TEST(Defaults, ClassDefaults) {
  CNote n;
  EXPECT_EQ(n.Velocity, 100);
  EXPECT_EQ(n.Chord, -1);
  EXPECT_EQ(n.Tie, -1);
  EXPECT_EQ(n.Stave, -1);
  CStave s;
  EXPECT_EQ(s.Patch, 255);
  EXPECT_EQ(s.LineSpace, 8);
  CMeasure m;
  EXPECT_EQ(m.Tempo, 600000);
  EXPECT_EQ(m.LeftPadding, 4);
  CXText t;
  EXPECT_EQ(t.text, "text");
  EXPECT_EQ(t.Font, 1);
  CVisualMidi v;
  EXPECT_EQ(v.text, "V");
  CAngleText a;
  EXPECT_EQ(a.Escapement, 300);
  CXLink l;
  EXPECT_EQ(l.text, "link to");
  EXPECT_EQ(l.GetBounds(), (Rect{0, 0, 80, 20}));
  CXImage i;
  EXPECT_EQ(i.source, "image");
  EXPECT_EQ(i.GetBounds(), (Rect{0, 0, 30, 32}));
  CEnding e;
  EXPECT_EQ(e.Value, 1);
  CStaff st;
  EXPECT_EQ(st.Spacing, 64);
}

TEST(Geometry, LineHitBySummedDistances) {
  CXLine line;
  line.X = 0; line.Y = 100; line.X1 = 100; line.Y1 = 100;
  line.BoundsFromPoints();
  EXPECT_TRUE(line.HitTest(50, 97));    // 100.2 < 104
  EXPECT_FALSE(line.HitTest(50, 80));   // 107.7
  EXPECT_TRUE(line.HitTest(101, 100));  // 102
  EXPECT_FALSE(line.HitTest(103, 100)); // 106
  CBeam beam;
  beam.X = 0; beam.Y = 0; beam.X1 = 40; beam.Y1 = 0;
  EXPECT_TRUE(beam.HitTest(20, 1));
  EXPECT_FALSE(beam.HitTest(20, 15));
}

TEST(Geometry, StructureHitStrips) {
  CStaff staff;
  staff.SetBounds(50, 100, 500, 300);
  EXPECT_TRUE(staff.HitTest(54, 200));
  EXPECT_FALSE(staff.HitTest(55, 200));
  CStave stave;
  stave.SetBounds(50, 100, 500, 132);
  EXPECT_TRUE(stave.HitTest(300, 107));
  EXPECT_FALSE(stave.HitTest(300, 108));
  CMeasure m;
  m.SetBounds(100, 100, 200, 300);
  EXPECT_TRUE(m.HitTest(192, 150));
  EXPECT_TRUE(m.HitTest(203, 150));
  EXPECT_FALSE(m.HitTest(204, 150));
  EXPECT_FALSE(m.HitTest(191, 150));
}

TEST(Geometry, MoveToShiftsExtraPoints) {
  CXLine line;
  line.X = 10; line.Y = 10; line.X1 = 50; line.Y1 = 30;
  line.BoundsFromPoints();
  line.MoveTo(20, 0);
  EXPECT_EQ(line.X, 20); EXPECT_EQ(line.Y, 0); EXPECT_EQ(line.X1, 60); EXPECT_EQ(line.Y1, 20);
  EXPECT_EQ(line.GetBounds(), (Rect{20, 0, 60, 20}));

  CSlurLine slur;
  slur.SetBounds(0, 0, 10, 10);
  slur.X = 1; slur.Y = 2; slur.X1 = 3; slur.Y1 = 4; slur.X2 = 5; slur.Y2 = 6;
  slur.MoveTo(100, 200);
  EXPECT_EQ(slur.X, 101); EXPECT_EQ(slur.Y, 202);
  EXPECT_EQ(slur.X1, 103); EXPECT_EQ(slur.Y1, 204);
  EXPECT_EQ(slur.X2, 105); EXPECT_EQ(slur.Y2, 206);

  CBeam beam;
  beam.SetBounds(0, 0, 10, 10);
  beam.X1 = 9; beam.Y1 = 9;
  beam.MoveTo(-1, -1);
  EXPECT_EQ(beam.X1, 8); EXPECT_EQ(beam.Y1, 8); EXPECT_EQ(beam.X, -1);
}

TEST(Geometry, LineHandlesMoveOnlyTheirPoint) {
  CXLine line;
  line.X = 10; line.Y = 10; line.X1 = 50; line.Y1 = 30;
  line.BoundsFromPoints();
  line.ActiveHandle = 4;
  line.ResizeByHandle(-60, 0);
  EXPECT_EQ(line.X, 10);
  EXPECT_EQ(line.X1, -10);
  EXPECT_EQ(line.GetBounds(), (Rect{-10, 10, 10, 30}));
}

TEST(Placement, NotesAndRestsSizeToTheirGlyph) {
  CNote quarter;
  quarter.Value = 3;
  quarter.PlaceAt(100, 50);
  EXPECT_EQ(quarter.GetBounds(), (Rect{100, 44, 116, 56}));
  EXPECT_EQ(quarter.X, 108);
  EXPECT_EQ(quarter.Y, 50);
  CNote breve;
  breve.Value = 0;
  breve.PlaceAt(100, 50);
  EXPECT_EQ(breve.GetBounds(), (Rect{100, 44, 132, 56}));
  EXPECT_EQ(breve.X, 116);

  struct RestCase { int code; Rect r; int x; };
  const RestCase cases[] = {{3, {0, -16, 16, 16}, 8}, {4, {0, -8, 16, 8}, 8}, {6, {0, -20, 24, 20}, 12},
                            {8, {0, -24, 24, 24}, 12}, {1, {0, -8, 16, 0}, 8}, {9, {0, 0, 1, 1}, 0}};
  for (const RestCase& c : cases) {
    CRest r;
    r.Value = c.code;
    r.PlaceAt(0, 0);
    EXPECT_EQ(r.GetBounds(), c.r) << c.code;
    EXPECT_EQ(r.X, c.x) << c.code;
  }
}

TEST(Copying, CopyFromTakesValuesButNotIdentity) {
  CNote a;
  a.Number = 7; a.Layer = 3; a.Selected = 1;
  a.Value = 0x304; a.Style = 0x1800; a.SetBounds(1, 2, 3, 4);
  a.X = 5; a.Y = 6; a.Key = 60; a.Chord = 12; a.Tie = 13; a.Velocity = 90; a.Stave = 3;
  CNote b;
  ASSERT_TRUE(b.CopyFrom(&a));
  EXPECT_EQ(b.Number, 0); EXPECT_EQ(b.Layer, 0); EXPECT_EQ(b.Selected, 0);
  EXPECT_EQ(b.Value, 0x304); EXPECT_EQ(b.Style, 0x1800);
  EXPECT_EQ(b.GetBounds(), a.GetBounds());
  EXPECT_EQ(b.X, 5); EXPECT_EQ(b.Key, 60); EXPECT_EQ(b.Chord, 12); EXPECT_EQ(b.Tie, 13);
  EXPECT_EQ(b.Velocity, 90); EXPECT_EQ(b.Stave, 3);
  EXPECT_FALSE(b.CopyFrom(nullptr));

  CStave s1; s1.LineSpace = 10; s1.Voice = 2; s1.Channel = 9; s1.Patch = 40;
  CStave s2;
  s2.CopyFrom(&s1);
  EXPECT_EQ(s2.LineSpace, 10); EXPECT_EQ(s2.Voice, 2); EXPECT_EQ(s2.Channel, 9); EXPECT_EQ(s2.Patch, 40);

  CXLink l1; l1.Font = 3; l1.text = "x"; l1.href = "y";
  CXLink l2;
  l2.CopyFrom(&l1);
  EXPECT_EQ(l2.Font, 3); EXPECT_EQ(l2.text, "x"); EXPECT_EQ(l2.href, "y");
  // Copying across kinds copies only the common part.
  CXText t;
  t.CopyFrom(&l1);
  EXPECT_EQ(t.text, "text");
}

TEST(VisualMidi, InstructionNames) {
  CVisualMidi v;
  v.Value = 0x7200F0;
  EXPECT_STREQ(v.InstructionName(), "节奏");
  v.Value = 0x6300FF;
  EXPECT_STREQ(v.InstructionName(), "和弦");
  v.Value = 0x90;
  EXPECT_STREQ(v.InstructionName(), "音符开");
  v.Value = 0x70;
  EXPECT_STREQ(v.InstructionName(), "未定义");
  v.Value = 0x4400F0;
  EXPECT_STREQ(v.InstructionName(), "未定义");
}

}  // namespace
