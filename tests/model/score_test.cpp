// The score container: numbering, lookups, attachment, deletion cascades,
// the insertion point, relinking and clamps.
#include <gtest/gtest.h>

#include "model/score.h"
#include "score_fixture.h"

namespace {

struct ScoreTest : SmallScore {
  using SmallScore::SmallScore;
  CNote* AddNote(int stave, int measure, int x, int y) {
    auto n = std::make_unique<CNote>();
    n->Value = 3;
    n->PlaceAt(x, y);
    return Attach(stave, measure, std::move(n));
  }
  void Select(CXObject* o) {
    o->Selected = 1;
    ++score.SelectedCount;
  }
};

TEST(Numbering, AddObjectNumbersFromUpperNumber) {
  CScore s;
  s.AddObject(std::make_unique<CXObject>());
  EXPECT_EQ(s.GetObject(0)->Number, 0);
  EXPECT_EQ(s.AddObject(std::make_unique<CXText>()), 1u);
  EXPECT_EQ(s.UpperNumber, 2);
  s.GetObject(1)->Selected = 1;
  s.SelectedCount = 1;
  ASSERT_TRUE(s.DeleteSelected());
  EXPECT_EQ(s.UpperNumber, 2);  // deleting never lowers the counter
  s.AddObject(std::make_unique<CXObject>());
  EXPECT_EQ(s.GetObject(1)->Number, 2);
  s.Clear();
  s.AddObject(std::make_unique<CXObject>());
  EXPECT_EQ(s.GetObject(0)->Number, 0);
  EXPECT_EQ(s.GetObject(5), nullptr);
  EXPECT_EQ(s.GetLayer(0), nullptr);
}

TEST(Numbering, FindByNumberGivesTheFirstOfRepeatedNumbers) {
  CScore s;
  for (int n : {5, 3, 5, -7, 2000000000, 3}) {
    auto o = std::make_unique<CXObject>();
    o->Number = n;
    s.AppendObjectKeepingNumber(std::move(o));
  }
  EXPECT_EQ(s.FindByNumber(5), s.GetObject(0));
  EXPECT_EQ(s.FindByNumber(3), s.GetObject(1));
  EXPECT_EQ(s.FindByNumber(-7), s.GetObject(3));
  EXPECT_EQ(s.FindByNumber(2000000000), s.GetObject(4));
  EXPECT_EQ(s.FindByNumber(4), nullptr);
  EXPECT_EQ(s.FindByNumber(-1), nullptr);
  // Removing the first holder of a number exposes the next one.
  ASSERT_TRUE(s.RemoveObject(s.GetObject(0)));
  EXPECT_EQ(s.FindByNumber(5), s.GetObject(1));
  EXPECT_EQ(s.FindByNumber(5)->Number, 5);
  // A renumbered object is found after invalidation.
  s.GetObject(0)->Number = 77;
  s.InvalidateNumberIndex();
  EXPECT_EQ(s.FindByNumber(77), s.GetObject(0));
  EXPECT_EQ(s.FindByNumber(3), s.GetObject(4));
}

TEST(Numbering, RemoveObjectRefusesStrangers) {
  CScore s;
  CXObject stranger;
  EXPECT_FALSE(s.RemoveObject(&stranger));
}

TEST(Attachment, InsertsBeforeObjectsWithEqualLeft) {
  ScoreTest t;
  CNote* a = t.AddNote(0, 0, 100, 110);
  CNote* b = t.AddNote(0, 0, 80, 110);
  CNote* c = t.AddNote(0, 0, 100, 110);
  const auto& list = t.Stave(0)->Attached;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], b);
  EXPECT_EQ(list[1], c);
  EXPECT_EQ(list[2], a);
  EXPECT_EQ(a->Stave, t.Stave(0)->Number);
  EXPECT_EQ(a->Measure, t.Measure(0)->Number);
  EXPECT_EQ(a->OwnerMeasure, t.Measure(0));
}

TEST(Structure, MadeStavesAndMeasuresTakeTheSystemGeometry) {
  ScoreTest t(2, 3, 100);
  CStave* s = t.Stave(1);
  EXPECT_EQ(s->GetBounds(), (Rect{52, 200, 580, 232}));
  EXPECT_EQ(s->Staff, t.staff->Number);
  EXPECT_EQ(s->OwnerStaff, t.staff);
  CMeasure* m = t.Measure(2);
  EXPECT_EQ(m->Right, 580);
  EXPECT_EQ(m->Top, t.staff->Top);
  EXPECT_EQ(m->Bottom, t.staff->Bottom);
  EXPECT_EQ(m->Value, 0);
}

TEST(Structure, StaveDragStaysInsideItsSystem) {
  ScoreTest t(2, 1, 100);  // system 100..232
  CStave* s = t.Stave(1);
  t.AddNote(1, 0, 100, 210);
  s->ActiveHandle = 1;
  s->ResizeByHandle(0, -500);
  EXPECT_EQ(s->Top, 100);
  EXPECT_EQ(s->Attached.front()->Top, 210 - 100 - 6);  // attached objects move along
  s->ResizeByHandle(0, 500);
  EXPECT_EQ(s->Top, 232 - 32);
  EXPECT_EQ(s->Bottom, 232);
}

TEST(Structure, BarLineDragStopsAtTheSystemEdges) {
  ScoreTest t(1, 3);
  CMeasure* m = t.Measure(2);
  m->ActiveHandle = 4;
  m->ResizeByHandle(100, 0);
  EXPECT_EQ(m->Right, 580);
  CMeasure* first = t.Measure(0);
  first->ActiveHandle = 2;
  first->ResizeByHandle(-1000, 0);
  EXPECT_EQ(first->Right, first->Left + 1);  // clamped to the system's Left, never empty
}

TEST(Structure, BracketWidthFollowsTheMusicFont) {
  SetMusicFontAverageWidth([](int tenths) { return tenths / 20; });
  CBracket b;
  b.SetBounds(40, 100, 50, 300);
  b.ActiveHandle = 6;
  b.ResizeByHandle(0, 100);
  EXPECT_EQ(b.Bottom, 400);
  EXPECT_EQ(b.Left, 50 - 30 - 1);  // (400 - 100) x 2 tenths / 20
  SetMusicFontAverageWidth(nullptr);
}

TEST(Structure, SystemMoveCarriesStavesMeasuresAndTheirObjects) {
  ScoreTest t(2, 2);
  CNote* n = t.AddNote(1, 1, 400, 210);
  t.staff->MoveTo(t.staff->Left + 10, t.staff->Top + 50);
  EXPECT_EQ(t.Stave(1)->Top, 250);
  EXPECT_EQ(t.Measure(1)->Top, 150);
  EXPECT_EQ(n->X, 418);
  EXPECT_EQ(n->Y, 260);
}

TEST(Deletion, NothingSelectedChangesNothing) {
  ScoreTest t;
  size_t before = t.score.ObjectCount();
  EXPECT_FALSE(t.score.DeleteSelected());
  EXPECT_EQ(t.score.ObjectCount(), before);
}

TEST(Deletion, StaveTakesItsObjectsMeasureLeavesThem) {
  ScoreTest t(2, 3);
  CNote* onStave0 = t.AddNote(0, 1, 250, 110);
  CNote* onStave1 = t.AddNote(1, 1, 250, 210);
  int32_t keptNumber = onStave1->Number;
  t.Select(t.Stave(0));
  t.Select(t.Measure(1));
  t.score.SetCurrent(t.Stave(0), t.Measure(1));
  ASSERT_TRUE(t.score.DeleteSelected());
  EXPECT_EQ(t.score.SelectedCount, 0);
  EXPECT_EQ(t.score.CurrentStave, nullptr);
  EXPECT_EQ(t.score.CurrentMeasure, nullptr);
  EXPECT_EQ(t.staff->Staves.size(), 1u);
  EXPECT_EQ(t.staff->Measures.size(), 2u);
  bool note0Alive = false;
  for (const auto& o : t.score.Objects()) note0Alive |= o.get() == onStave0;
  EXPECT_FALSE(note0Alive);
  CXObject* kept = t.score.FindByNumber(keptNumber);
  ASSERT_EQ(kept, onStave1);
  EXPECT_EQ(onStave1->OwnerMeasure, nullptr);  // the link goes, the note stays
  EXPECT_EQ(onStave1->OwnerStave, t.Stave(0));
}

TEST(Deletion, SystemTakesStavesMeasuresAndAttachedObjects) {
  ScoreTest t(2, 3);
  t.AddNote(0, 0, 100, 110);
  t.AddNote(1, 2, 500, 210);
  auto free = std::make_unique<CXText>();
  t.score.AddObject(std::move(free));  // not attached: survives
  t.Select(t.staff);
  ASSERT_TRUE(t.score.DeleteSelected());
  ASSERT_EQ(t.score.ObjectCount(), 1u);
  EXPECT_EQ(t.score.GetObject(0)->GetKind(), 'X');
  EXPECT_TRUE(t.score.Staffs.empty());
}

TEST(Deletion, LinksToDeletedNotesAreCleared) {
  ScoreTest t;
  CNote* n = t.AddNote(0, 0, 100, 110);
  auto mark = std::make_unique<CMark>();
  CMark* m = mark.get();
  m->Note = n->Number;
  m->NoteLink = n;
  t.score.AddAttachedObject(t.Stave(0), t.Measure(0), std::move(mark));
  const int32_t noteNumber = n->Number;
  t.Select(n);
  ASSERT_TRUE(t.score.DeleteSelected());
  EXPECT_EQ(m->NoteLink, nullptr);
  EXPECT_EQ(m->Note, noteNumber);  // the stored number is left as it was
}

TEST(InsertionPoint, NearestStaveAndMeasureUnderX) {
  ScoreTest t(2, 3, 100);  // staves 100..132 and 200..232, measures 52..228..404..580
  EXPECT_TRUE(t.score.SetInsertionPoint(300, 180));
  EXPECT_EQ(t.score.CurrentStave, t.Stave(1));
  EXPECT_EQ(t.score.CurrentMeasure, t.Measure(1));
  EXPECT_FALSE(t.score.SetInsertionPoint(310, 190));  // same stave and measure
  // Equal distance (166 is 50 from both centres 116 and 216): the first stave wins.
  EXPECT_TRUE(t.score.SetInsertionPoint(300, 166));
  EXPECT_EQ(t.score.CurrentStave, t.Stave(0));
  // Past the system's right edge: the last measure.
  EXPECT_TRUE(t.score.SetInsertionPoint(700, 116));
  EXPECT_EQ(t.score.CurrentMeasure, t.Measure(2));
  CScore empty;
  EXPECT_FALSE(empty.SetInsertionPoint(0, 0));
}

TEST(Relinking, RebuildsListsInOrderAndSkipsDanglingNumbers) {
  ScoreTest t(2, 2);
  CNote* a = t.AddNote(0, 0, 120, 110);
  CNote* b = t.AddNote(0, 1, 60, 110);
  auto orphan = std::make_unique<CNote>();
  orphan->Stave = 9999;
  orphan->Measure = a->Number;  // names a note, not a measure
  CNote* o = orphan.get();
  t.score.AddObject(std::move(orphan));
  auto wrongStaff = std::make_unique<CStave>();
  wrongStaff->Staff = a->Number;  // names a note, not a system
  CStave* ws = wrongStaff.get();
  t.score.AddObject(std::move(wrongStaff));
  auto mark = std::make_unique<CMark>();
  mark->Note = a->Number;
  mark->Stave = t.Stave(0)->Number;
  CMark* m = mark.get();
  t.score.AddObject(std::move(mark));

  t.score.RelinkObjects();
  ASSERT_EQ(t.score.Staffs.size(), 1u);
  ASSERT_EQ(t.staff->Staves.size(), 2u);
  EXPECT_EQ(t.staff->Staves[0]->Top, 100);
  const auto& list = t.Stave(0)->Attached;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], m);  // Left 0
  EXPECT_EQ(list[1], b);
  EXPECT_EQ(list[2], a);
  EXPECT_EQ(o->OwnerStave, nullptr);
  EXPECT_EQ(o->OwnerMeasure, nullptr);
  EXPECT_EQ(ws->OwnerStaff, nullptr);
  EXPECT_EQ(m->NoteLink, a);
}

TEST(Relinking, EqualKeysGoBeforeEarlierArrivals) {
  ScoreTest t(1, 1);
  CNote* first = t.AddNote(0, 0, 100, 110);
  CNote* second = t.AddNote(0, 0, 100, 110);
  t.score.RelinkObjects();
  const auto& list = t.Stave(0)->Attached;
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], second);
  EXPECT_EQ(list[1], first);
}

TEST(Clamps, FontAndLayerIndexesFollowTheTables) {
  ScoreTest t;
  auto text = std::make_unique<CXText>();
  text->Font = 12;
  text->Layer = 9;
  CXText* tx = text.get();
  t.score.AddObject(std::move(text));
  auto link = std::make_unique<CXLink>();
  link->Font = 8;
  CXLink* ln = link.get();
  t.score.AddObject(std::move(link));
  EXPECT_EQ(t.score.ClampFontIndexes(), 1);
  EXPECT_EQ(tx->Font, 7);
  EXPECT_EQ(ln->Font, 7);
  EXPECT_EQ(t.score.ClampLayerIndexes(), 1);
  EXPECT_EQ(tx->Layer, 7);
  tx->Font = -2;
  EXPECT_EQ(t.score.ClampFontIndexes(), -1);
  t.score.Layers.clear();
  EXPECT_EQ(t.score.ClampLayerIndexes(), -1);
}

TEST(Tables, NewDocumentTables) {
  CScore s;
  s.ResetDefaultTables();
  ASSERT_EQ(s.Layers.size(), 8u);
  EXPECT_EQ(s.Layers[1].Color, 0x0000FF);
  EXPECT_EQ(s.Layers[7].Color, 0x808080);
  ASSERT_EQ(s.Pens.size(), 1u);
  EXPECT_EQ(s.Pens[0].WidthX, 1);
  ASSERT_EQ(s.Fonts.size(), 8u);
  EXPECT_EQ(s.Fonts[0].Face(), "velorin");
  EXPECT_EQ(s.Fonts[0].Height, -34);  // 25.6 pt at 96 dpi
  EXPECT_EQ(s.Fonts[1].Height, -26);
  EXPECT_EQ(s.Fonts[2].Face(), "Arial Narrow Italic");
  EXPECT_EQ(s.Fonts[6].Face(), "\xCB\xCE\xCC\xE5");
  EXPECT_EQ(s.Fonts[7].Height, -16);
}

TEST(Extent, LargestRightAndBottom) {
  CScore s;
  s.ComputeExtent();
  EXPECT_EQ(s.ExtentWidth, 1);
  auto o = std::make_unique<CXObject>();
  o->SetBounds(10, 10, 700, 900);
  s.AddObject(std::move(o));
  s.ComputeExtent();
  EXPECT_EQ(s.ExtentWidth, 700);
  EXPECT_EQ(s.ExtentHeight, 900);
}

}  // namespace
