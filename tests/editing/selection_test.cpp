#include "editing/selection.h"

#include <gtest/gtest.h>

#include <random>

#include "editing/command_table.h"
#include "editing/journal.h"
#include "model/derived.h"
#include "model/page_objects.h"
#include "notation/recording_device_context.h"
#include "tests/model/score_fixture.h"
#include "tools/scoregen/scoregen.h"

namespace {

int CountSelected(const CScore& score) {
  int n = 0;
  for (const auto& o : score.Objects()) n += o->Selected ? 1 : 0;
  return n;
}

CXLine* AddLine(SmallScore& s, int x, int y, int x1, int y1) {
  auto l = std::make_unique<CXLine>();
  l->X = x, l->Y = y, l->X1 = x1, l->Y1 = y1;
  l->BoundsFromPoints();
  return s.Attach(-1, -1, std::move(l));
}

// The capture walk without shortcuts: every object asked,
// staves in a second pass.
CXObject* ReferenceCapture(const CScore& score, int x, int y) {
  auto locked = [&](const CXObject& o) {
    const CLayer* l = score.GetLayer(static_cast<uint8_t>(o.Layer));
    return l && (l->Style & LAYER_LOCKED);
  };
  for (const auto& o : score.Objects())
    if (!o->IsKind(Kind::Stave) && o->HitTest(x, y) && !locked(*o)) return o.get();
  for (const auto& o : score.Objects())
    if (o->IsKind(Kind::Stave) && o->HitTest(x, y) && !locked(*o)) return o.get();
  return nullptr;
}

}  // namespace

// --- capture by point -----------------------------------------------------------

TEST(CaptureByPoint, NoteOnTheStavesTopStripWinsOverTheStave) {
  SmallScore s;
  CStave* stave = s.Stave(0);
  CNote* note = s.Note(0, 0, 120, 0);  // head on the top line, box overlaps the strip
  ASSERT_TRUE(stave->HitTest(124, stave->Top + 2));
  ASSERT_TRUE(note->HitTest(124, stave->Top + 2));

  EXPECT_TRUE(CaptureObjectByPoint(s.score, 124, stave->Top + 2, false));
  EXPECT_TRUE(note->Selected);
  EXPECT_FALSE(stave->Selected);
  EXPECT_EQ(s.score.LastCaptured, note);
  EXPECT_EQ(s.score.SelectedCount, 1);

  // Beside the note the stave is taken, and the note is let go.
  EXPECT_TRUE(CaptureObjectByPoint(s.score, 300, stave->Top + 2, false));
  EXPECT_TRUE(stave->Selected);
  EXPECT_FALSE(note->Selected);
  EXPECT_EQ(s.score.SelectedCount, 1);

  // Empty paper clears the selection.
  EXPECT_TRUE(CaptureObjectByPoint(s.score, 300, 20, false));
  EXPECT_EQ(CountSelected(s.score), 0);
  EXPECT_EQ(s.score.SelectedCount, 0);
  EXPECT_FALSE(CaptureObjectByPoint(s.score, 300, 20, false));
}

TEST(CaptureByPoint, ShiftTogglesOneNoteAndKeepsTheRest) {
  SmallScore s;
  CNote* a = s.Note(0, 0, 100, 16);
  CNote* b = s.Note(0, 0, 140, 16);
  CNote* c = s.Note(0, 1, 260, 16);
  const int y = s.Stave(0)->Top + 16;
  CaptureObjectByPoint(s.score, 104, y, false);
  CaptureObjectByPoint(s.score, 144, y, true);
  CaptureObjectByPoint(s.score, 264, y, true);
  EXPECT_TRUE(a->Selected && b->Selected && c->Selected);
  EXPECT_EQ(s.score.SelectedCount, 3);

  EXPECT_TRUE(CaptureObjectByPoint(s.score, 144, y, true));
  EXPECT_FALSE(b->Selected);
  EXPECT_TRUE(a->Selected && c->Selected);
  EXPECT_EQ(s.score.SelectedCount, 2);
  EXPECT_EQ(CountSelected(s.score), 2);
}

TEST(CaptureByPoint, LockedLayerIsPassedOverAndCountStaysTrue) {
  SmallScore s;
  const int y = s.Stave(0)->Top + 16;
  CXText* text = s.Text(98, y - 4, "p");  // before the note in object order
  text->Layer = 1;
  CNote* note = s.Note(0, 0, 100, 16);
  s.score.Layers[1].Style |= LAYER_LOCKED;

  EXPECT_TRUE(CaptureObjectByPoint(s.score, 104, y, false));
  EXPECT_FALSE(text->Selected);
  EXPECT_TRUE(note->Selected);

  // A selected object on a locked layer (selected before the lock) does not
  // survive a plain click that captures something else.
  text->Selected = 1;
  s.score.RecountSelection();
  CaptureObjectByPoint(s.score, 104, y, false);
  EXPECT_FALSE(text->Selected);
  EXPECT_EQ(s.score.SelectedCount, CountSelected(s.score));
}

TEST(CaptureByPoint, LineIsHitWithinItsTolerance) {
  SmallScore s;
  CXLine* line = AddLine(s, 100, 400, 300, 400);
  EXPECT_TRUE(CaptureObjectByPoint(s.score, 200, 403, false));  // 3 units off the path
  EXPECT_TRUE(line->Selected);
  EXPECT_FALSE(CaptureObjectByPoint(s.score, 200, 440, false) && line->Selected);
  EXPECT_FALSE(line->Selected);
  // Beyond an end by more than the tolerance.
  CaptureObjectByPoint(s.score, 303, 400, false);
  EXPECT_FALSE(line->Selected);
}

TEST(CaptureByPoint, FiltersChooseWhatIsConsidered) {
  SmallScore s;
  CStave* stave = s.Stave(0);
  CNote* note = s.Note(0, 0, 120, 0);
  CXText* text = s.Text(118, stave->Top - 2, "x");
  const int x = 124, y = stave->Top + 2;  // note, text and the stave's strip

  CaptureByPoint(s.score, kFilterNotes, x, y, false);
  EXPECT_TRUE(note->Selected);
  CaptureByPoint(s.score, kFilterStructure, x, y, false);
  EXPECT_TRUE(stave->Selected);
  EXPECT_FALSE(note->Selected);
  CaptureByPoint(s.score, kFilterOthers, x, y, false);
  EXPECT_TRUE(text->Selected);
  EXPECT_FALSE(stave->Selected);
  EXPECT_EQ(s.score.SelectedCount, 1);
}

TEST(CaptureByPoint, HitBoundsHoldEveryHit) {
  // The walk skips objects by these boxes, so a hit outside one would be lost.
  SmallScore s;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, 400), len(-300, 300);
  std::vector<CXObject*> objects;
  for (int i = 0; i < 40; ++i) {
    int x = coord(rng), y = coord(rng);
    objects.push_back(AddLine(s, x, y, x + len(rng), y + len(rng)));
    auto beam = std::make_unique<CBeam>();
    beam->X = x, beam->Y = y, beam->X1 = x + len(rng), beam->Y1 = y + len(rng) / 8;
    beam->SetBounds(beam->X, beam->Y, beam->X1, beam->Y1);
    objects.push_back(s.Attach(0, 0, std::move(beam)));
  }
  for (const auto& o : s.score.Objects()) objects.push_back(o.get());
  for (CXObject* o : objects) {
    const Rect box = HitBounds(*o);
    for (int y = o->Top - 40; y < o->Bottom + 40; y += 1)
      for (int x = o->Left - 40; x < o->Right + 40; x += 1)
        if (o->HitTest(x, y)) {
          ASSERT_TRUE(box.Contains(x, y)) << o->GetKind() << " at " << x << "," << y;
        }
  }
}

TEST(CaptureByPoint, SameObjectAsTheFullWalkOnALargeScore) {
  CScore score;
  WorkloadOptions options;
  options.Systems = 6;
  GenerateWorkload(score, options);
  score.Layers.at(1).Style |= LAYER_LOCKED;
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> xs(0, score.PaperWidth), ys(0, 6 * 400);
  int hits = 0;
  for (int i = 0; i < 3000; ++i) {
    const int x = xs(rng), y = ys(rng);
    CXObject* expected = ReferenceCapture(score, x, y);
    CaptureObjectByPoint(score, x, y, false);
    ASSERT_EQ(expected ? score.LastCaptured : nullptr, expected) << x << "," << y;
    ASSERT_EQ(score.SelectedCount, expected ? 1 : 0);
    hits += expected ? 1 : 0;
  }
  EXPECT_GT(hits, 100);
}

// --- capture by rectangle --------------------------------------------------------

TEST(CaptureByRectangle, DirectionDecidesBetweenInsideAndCrossing) {
  SmallScore s;
  CNote* note = s.Note(0, 0, 100, 16);  // box 100..116
  const int top = note->Top - 10, bottom = note->Bottom + 10;
  // Left to right over half of the note: nothing.
  CaptureObjectByRectangle(s.score, Rect{90, top, 108, bottom}, false);
  EXPECT_FALSE(note->Selected);
  // Right to left over the same half: the note.
  EXPECT_TRUE(CaptureObjectByRectangle(s.score, Rect{108, top, 90, bottom}, false));
  EXPECT_TRUE(note->Selected);
  EXPECT_EQ(s.score.LastCaptured, note);
  // Wholly inside, left to right.
  CaptureObjectByRectangle(s.score, Rect{90, top, 120, bottom}, false);
  EXPECT_TRUE(note->Selected);
}

TEST(CaptureByRectangle, AddKeepsAndReplacingCountsRight) {
  SmallScore s;
  CNote* a = s.Note(0, 0, 100, 16);
  CNote* b = s.Note(0, 0, 140, 16);
  CNote* c = s.Note(0, 1, 260, 16);
  const int top = a->Top - 2, bottom = a->Bottom + 2;
  CaptureObjectByRectangle(s.score, Rect{95, top, 160, bottom}, false);
  EXPECT_EQ(s.score.SelectedCount, 2);
  CaptureObjectByRectangle(s.score, Rect{255, top, 280, bottom}, true);
  EXPECT_TRUE(a->Selected && b->Selected && c->Selected);
  EXPECT_EQ(s.score.SelectedCount, 3);
  // A new rectangle over b and c replaces the selection; b stays selected.
  CaptureObjectByRectangle(s.score, Rect{135, top, 280, bottom}, false);
  EXPECT_FALSE(a->Selected);
  EXPECT_TRUE(b->Selected && c->Selected);
  EXPECT_EQ(s.score.SelectedCount, 2);
}

TEST(CaptureByRectangle, LockedAndFilteredObjectsAreNotCaught) {
  SmallScore s;
  CNote* note = s.Note(0, 0, 100, 16);
  CXText* text = s.Text(130, note->Top, "t");
  text->Layer = 2;
  s.score.Layers[2].Style |= LAYER_LOCKED;
  const Rect all{0, 0, 2000, 2000};
  CaptureObjectByRectangle(s.score, all, false);
  EXPECT_FALSE(text->Selected);
  EXPECT_TRUE(note->Selected);
  EXPECT_TRUE(s.staff->Selected);
  EXPECT_EQ(s.score.SelectedCount, CountSelected(s.score));

  CaptureByRectangle(s.score, kFilterNotes, all, false);
  EXPECT_TRUE(note->Selected);
  EXPECT_FALSE(s.staff->Selected);
  EXPECT_EQ(s.score.SelectedCount, 1);
}

// --- handles, moving and sizing ----------------------------------------------------

TEST(Handles, CaptureSizingHandleChoosesTheFirstSelectedObject) {
  SmallScore s;
  CXText* a = s.Text(300, 400, "a");  // 300..320 x 400..412
  CXText* b = s.Text(300, 400, "b");
  CXText* c = s.Text(500, 500, "c");
  a->Selected = b->Selected = 1;
  c->ActiveHandle = 4;  // stale, not selected
  s.score.RecountSelection();

  EXPECT_FALSE(CaptureSizingHandle(s.score, 310, 406));
  EXPECT_TRUE(CaptureSizingHandle(s.score, 321, 413));  // near the bottom-right corner
  EXPECT_EQ(a->ActiveHandle, 4);
  EXPECT_EQ(b->ActiveHandle, 0);
  EXPECT_EQ(c->ActiveHandle, 0);
  EXPECT_EQ(s.score.LastCaptured, a);

  SizeSelected(s.score, 10, 8);
  EXPECT_EQ(a->GetBounds(), (Rect{300, 400, 330, 420}));
  EXPECT_EQ(b->GetBounds(), (Rect{300, 400, 320, 412}));

  // Dragged past the opposite edge the box turns round and stays non-empty.
  EXPECT_TRUE(SizeCaptured(s.score, -30, -20));
  EXPECT_EQ(a->GetBounds(), (Rect{300, 400, 301, 401}));
}

TEST(Handles, HitsSelectionAsksOnlySelectedObjects) {
  SmallScore s;
  CXLine* line = AddLine(s, 100, 400, 300, 400);
  EXPECT_FALSE(HitsSelection(s.score, 200, 402));
  line->Selected = 1;
  EXPECT_TRUE(HitsSelection(s.score, 200, 402));
  EXPECT_FALSE(HitsSelection(s.score, 200, 450));
}

TEST(MoveSelected, MovesObjectsButNotStavesOrMeasuresAlone) {
  SmallScore s;
  CNote* note = s.Note(0, 0, 100, 16);
  CXLine* line = AddLine(s, 100, 400, 300, 420);
  s.Update();
  const Rect stave = s.Stave(0)->GetBounds(), measure = s.Measure(1)->GetBounds();

  s.Stave(0)->Selected = s.Measure(1)->Selected = 1;
  s.score.RecountSelection();
  EXPECT_FALSE(MoveSelected(s.score, 20, 30));
  EXPECT_EQ(s.Stave(0)->GetBounds(), stave);
  EXPECT_EQ(s.Measure(1)->GetBounds(), measure);

  SelectOnly(s.score, note, false);
  SelectOnly(s.score, line, true);
  const Rect noteBox = note->GetBounds();
  EXPECT_TRUE(MoveSelected(s.score, 20, 4));
  EXPECT_EQ(note->Left, noteBox.Left + 20);
  EXPECT_EQ(note->Top, noteBox.Top + 4);
  EXPECT_EQ(line->X1, 320);
  EXPECT_EQ(line->Y, 404);
}

TEST(MoveSelected, ASelectedSystemCarriesItsStavesAndTheirObjectsOnce) {
  SmallScore s;
  CNote* note = s.Note(1, 0, 100, 16);
  CXText* loose = s.Text(400, 600, "free", -1, -1);
  const Rect noteBox = note->GetBounds(), staveBox = s.Stave(1)->GetBounds();
  SelectAll(s.score);  // the system, its staves, measures, the note and the free text
  EXPECT_TRUE(MoveSelected(s.score, 0, 40));
  EXPECT_EQ(s.staff->Top, 140);
  EXPECT_EQ(s.Stave(1)->Top, staveBox.Top + 40);
  EXPECT_EQ(note->Top, noteBox.Top + 40);  // not twice
  EXPECT_EQ(loose->Top, 640);
}

// --- measure width -------------------------------------------------------------

class MeasureWidth : public ::testing::Test {
 protected:
  void SetUp() override {
    // Three measures 52..228, 228..404, 404..580.
    first = s.Note(0, 0, 70, 16);
    second = s.Note(0, 0, 150, 16);
    later = s.Note(1, 1, 260, 16);
    lastMark = s.Mark(1, 2, 450, 1);
    s.Update();
    s.score.AfterLoad();
  }
  SmallScore s{2, 3};
  CNote *first, *second, *later;
  CMark* lastMark;
};

TEST_F(MeasureWidth, NarrowingStopsAtTheNoteArea) {
  CMeasure* m = s.Measure(1);
  const int room = m->Right - m->Left - m->LeftPadding - m->RightPadding;
  // Make the note area exactly 100.
  const int d0 = 100 - room;
  ASSERT_TRUE(ChangeMeasureWidth(s.score, *m, d0));
  ASSERT_EQ(m->Right - m->Left - m->LeftPadding - m->RightPadding, 100);
  const int right = m->Right, systemRight = s.staff->Right, markLeft = lastMark->Left;
  const int laterLeft = s.Measure(2)->Left;

  EXPECT_TRUE(ChangeMeasureWidth(s.score, *m, -150));
  EXPECT_EQ(m->Right, right - 100);
  EXPECT_EQ(s.staff->Right, systemRight - 100);
  EXPECT_EQ(s.Stave(0)->Right, systemRight - 100);
  EXPECT_EQ(s.Stave(1)->Right, systemRight - 100);
  EXPECT_EQ(s.Measure(2)->Left, laterLeft - 100);
  EXPECT_EQ(lastMark->Left, markLeft - 100);
  // Nothing left to give.
  EXPECT_FALSE(ChangeMeasureWidth(s.score, *m, -1));
}

TEST_F(MeasureWidth, WideningMovesLaterMeasuresAndRespacesOnlyThisMeasure) {
  CMeasure* m = s.Measure(0);
  const Rect laterBox = later->GetBounds(), firstBox = first->GetBounds();
  const int markX = lastMark->X, right2 = s.Measure(2)->Right, right0 = m->Right;
  ASSERT_NE(m->Ticks, 0);
  ASSERT_NE(second->Start, 0);

  EXPECT_TRUE(ChangeMeasureWidth(s.score, *m, 60));
  EXPECT_EQ(m->Right, right0 + 60);
  EXPECT_EQ(s.Measure(1)->Left, right0 + 60);
  EXPECT_EQ(s.Measure(2)->Right, right2 + 60);
  EXPECT_EQ(later->Left, laterBox.Left + 60);
  EXPECT_EQ(lastMark->X, markX + 60);
  // The notes of the widened measure stand at their ticks on the new scale.
  EXPECT_EQ(second->Left, TickToX(*m, second->Start));
  EXPECT_EQ(first->Left, TickToX(*m, first->Start));
  EXPECT_NE(second->Left, 150);
  EXPECT_NE(first->GetBounds(), firstBox);

  // The view's end of a bar-line drag goes the same way.
  s.score.LastCaptured = m;
  EXPECT_TRUE(SizeCaptured(s.score, -60, 0));
  EXPECT_EQ(m->Right, right0);
  EXPECT_EQ(later->GetBounds(), laterBox);
}

TEST(MeasureRespace, MatchesRespacingWholeStaves) {
  // Chords and marks of a generated score: placing one measure's notes must
  // do what re-spacing every stave does when only that measure changed.
  CScore source;
  WorkloadOptions options;
  options.Systems = 3;
  GenerateWorkload(source, options);
  source.AfterLoad();
  for (CStaff* system : source.Staffs)
    for (CStave* stave : system->Staves) RespaceStave(source, *stave);
  const auto bytes = source.SnapshotToBytes();

  CScore a, b;
  for (CScore* s : {&a, &b}) {
    ASSERT_TRUE(s->RestoreFromBytes(bytes));
    s->RelinkObjects();
    s->AfterLoad();
    CMeasure* m = s->Staffs[1]->Measures[1];
    m->Right += 40;
    ComputeUnitsPerTick(*m);
  }
  const auto before = a.SnapshotToBytes();
  RespaceMeasure(a, *a.Staffs[1]->Measures[1]);
  for (CStave* stave : b.Staffs[1]->Staves) RespaceStave(b, *stave);
  EXPECT_NE(a.SnapshotToBytes(), before);
  EXPECT_EQ(a.SnapshotToBytes(), b.SnapshotToBytes());
}

// --- select all, align, same size ------------------------------------------------

TEST(SelectAll, ReturnsZeroWhenEverythingIsSelected) {
  SmallScore s;
  s.Note(0, 0, 100, 16);
  EXPECT_EQ(SelectAll(s.score), 1);
  EXPECT_EQ(s.score.SelectedCount, static_cast<int>(s.score.ObjectCount()));
  EXPECT_EQ(SelectAll(s.score), 0);
}

TEST(SelectOnly, KeepsTheCountTrue) {
  SmallScore s;
  CNote* a = s.Note(0, 0, 100, 16);
  CNote* b = s.Note(0, 0, 140, 16);
  SelectAll(s.score);
  SelectOnly(s.score, a, false);
  EXPECT_EQ(s.score.SelectedCount, 1);
  SelectOnly(s.score, b, true);
  EXPECT_TRUE(a->Selected && b->Selected);
  EXPECT_EQ(s.score.SelectedCount, 2);
}

class Align : public ::testing::Test {
 protected:
  void SetUp() override {
    ref = s.Text(200, 300, "ref");  // 200..220 x 300..312
    ref->Right = 260;
    other = s.Text(100, 350, "other");
    note = s.Note(0, 0, 400, 16);
    SelectOnly(s.score, other, false);
    SelectOnly(s.score, note, true);
    SelectOnly(s.score, ref, true);
    s.score.LastCaptured = ref;
  }
  SmallScore s;
  CXText *ref, *other;
  CNote* note;
};

TEST_F(Align, LeftRightTopMoveToTheReference) {
  EXPECT_EQ(AlignLeft(s.score), 1);
  EXPECT_EQ(other->Left, 200);
  EXPECT_EQ(note->Left, 200);
  EXPECT_EQ(other->Right, 220);
  EXPECT_EQ(AlignLeft(s.score), 0);  // already aligned: nothing to record

  EXPECT_EQ(AlignRight(s.score), 1);
  EXPECT_EQ(other->Right, 260);
  EXPECT_EQ(note->Right, 260);
  EXPECT_EQ(ref->Left, 200);

  EXPECT_EQ(AlignTop(s.score), 1);
  EXPECT_EQ(other->Top, 300);
  EXPECT_EQ(other->Bottom, 312);
}

TEST_F(Align, SameSizeOnlyForBoxKinds) {
  // The note keeps its size, so only one object changes: the change is made
  // but reported only when more than one object changed.
  const Rect noteBox = note->GetBounds();
  EXPECT_EQ(SameWidth(s.score), 0);
  EXPECT_EQ(other->Right - other->Left, 60);
  EXPECT_EQ(note->GetBounds(), noteBox);

  ref->Bottom = 330;
  EXPECT_EQ(SameHeight(s.score), 0);
  EXPECT_EQ(other->Bottom - other->Top, 30);
  EXPECT_EQ(SameSize(s.score), 0);

  ref->Right = 300;
  CXText* third = s.Text(50, 400, "third");
  SelectOnly(s.score, third, true);
  EXPECT_EQ(SameSize(s.score), 1);
  EXPECT_EQ(third->GetBounds(), (Rect{50, 400, 150, 430}));
  EXPECT_EQ(other->GetBounds(), (Rect{100, 350, 200, 380}));
  EXPECT_EQ(note->GetBounds(), noteBox);
}

TEST_F(Align, NeedsTwoSelectedAndAReference) {
  SelectOnly(s.score, other, false);
  EXPECT_EQ(AlignLeft(s.score), 0);
  EXPECT_EQ(other->Left, 100);
  SelectOnly(s.score, ref, true);
  s.score.LastCaptured = nullptr;
  EXPECT_EQ(AlignLeft(s.score), 0);
  EXPECT_EQ(other->Left, 100);
}

// With two selected objects only one moves: the function reports no change,
// as its rule says, yet the command journals the move, so undo takes back
// exactly it and nothing before it.
TEST_F(Align, ALoneMovedObjectIsJournalled) {
  SelectOnly(s.score, other, false);
  SelectOnly(s.score, ref, true);
  int changed = -1;
  EXPECT_EQ(AlignTop(s.score, &changed), 0);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(other->Top, 300);

  CommandJournal journal(s.score);
  journal.RecordSnapshot();
  const auto left = [&] {
    for (const auto& o : s.score.Objects())
      if (o->IsKind(Kind::Text) && static_cast<CXText&>(*o).text == "other") return o->Left;
    return -1;
  };
  const CommandOutcome out = RunScoreCommand(s.score, *FindScoreCommand("align-left"), {}, &journal);
  EXPECT_TRUE(out.Done);
  EXPECT_EQ(left(), 200);
  EXPECT_EQ(journal.Count(), 2);
  journal.Undo();
  EXPECT_EQ(left(), 100);
  journal.Redo();
  EXPECT_EQ(left(), 200);
}

// --- feedback ---------------------------------------------------------------------

TEST(Feedback, OutlinesOfTheSelectionOffsetAndResized) {
  SmallScore s;
  CXText* a = s.Text(100, 200, "a");  // 100..120 x 200..212
  CXText* b = s.Text(300, 200, "b");
  s.Text(500, 200, "unselected");
  a->Selected = b->Selected = 1;
  a->ActiveHandle = 8;

  RecordingDeviceContext moving;
  DrawSelectionMove(moving, s.score, 5, 7);
  auto outlines = moving.Of(DrawCall::Polyline);
  ASSERT_EQ(outlines.size(), 2u);
  EXPECT_EQ(outlines[0]->Points.front(), (Point{105, 207}));
  EXPECT_EQ(outlines[1]->Points.front(), (Point{305, 207}));

  RecordingDeviceContext resizing;
  DrawSelectionResize(resizing, s.score, 10, 0);
  // Only the object with an active handle; its outline reaches the new right edge.
  auto resized = resizing.Of(DrawCall::Polyline);
  ASSERT_EQ(resized.size(), 1u);
  EXPECT_EQ(resized[0]->Points[1], (Point{129, 200}));
}
