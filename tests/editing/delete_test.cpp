// Deleting the selection with its dependants.
#include <gtest/gtest.h>

#include "edit_fixture.h"
#include "model/derived.h"

namespace {

TEST(DeleteSelectionTest, TheOnlyMeasureOfASystemTakesTheSystem) {
  NewDocument d;
  CStaff* single = InsertStandardSystem(d.score, 0, 1000);
  d.score.SetCurrent(single->Staves[0], single->Measures[0]);
  ASSERT_NE(InsertNote(d.score, 300, single->Staves[0]->Top + 8, 3), nullptr);
  d.Select(single->Measures[0]);
  const size_t before = d.score.ObjectCount();
  EXPECT_EQ(DeleteSelection(d.score), 1);
  ASSERT_EQ(d.score.Staffs.size(), 1u);
  EXPECT_EQ(d.score.ObjectCount(), before - 4);  // system, stave, measure, note
  EXPECT_EQ(d.score.CurrentStave, nullptr);
  EXPECT_EQ(d.score.CurrentMeasure, nullptr);
  EXPECT_EQ(d.score.SelectedCount, 0);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(DeleteSelectionTest, ADeletedMeasurePassesItsObjectsToTheNextOne) {
  NewDocument d;
  d.At(0, 1);
  CNote* a = InsertNote(d.score, d.End(1), d.Y(0, 8), 3);
  d.At(1, 1);
  CXText* word = InsertText(d.score, d.Measure(1)->Left + 20, d.Y(1, 50), 66);  // below the system
  d.At(0, 2);
  CNote* b = InsertNote(d.score, d.End(2), d.Y(0, 8), 3);
  ASSERT_TRUE(a && word && b);
  CMeasure* third = d.Measure(2);
  d.Select(d.Measure(1));
  DeleteSelection(d.score);
  ASSERT_EQ(d.System()->Measures.size(), 2u);
  EXPECT_EQ(third->Left, 254);  // the next measure takes the freed space
  EXPECT_EQ(a->OwnerMeasure, third);
  EXPECT_EQ(a->Measure, third->Number);
  EXPECT_EQ(word->OwnerMeasure, third);
  EXPECT_EQ(b->OwnerMeasure, third);
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

TEST(DeleteSelectionTest, DeletingTheLastMeasureWidensTheOneBefore) {
  NewDocument d;
  d.At(0, 2);
  CNote* n = InsertNote(d.score, d.End(2), d.Y(0, 8), 3);
  ASSERT_NE(n, nullptr);
  CMeasure* second = d.Measure(1);
  d.Select(d.Measure(2));
  DeleteSelection(d.score);
  EXPECT_EQ(second->Right, 580);
  EXPECT_EQ(n->OwnerMeasure, second);
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

TEST(DeleteSelectionTest, ChordsSplitAroundDeletedNotes) {
  NewDocument d;
  d.At(0, 0);
  CNote* top = InsertNote(d.score, d.End(0), d.Y(0, 4), 3);
  ASSERT_NE(top, nullptr);
  CNote* middle = AddChordNote(d.score, top, top->Left, d.Y(0, 12));
  CNote* bottom = AddChordNote(d.score, top, top->Left, d.Y(0, 20));
  ASSERT_TRUE(middle && bottom);
  ASSERT_EQ(middle->Chord, top->Chord);
  ASSERT_EQ(bottom->Chord, top->Chord);

  // One of three goes: the two left form a chord led by the first of them.
  d.Select(top);
  DeleteSelection(d.score);
  EXPECT_EQ(middle->Chord, middle->Number);
  EXPECT_EQ(bottom->Chord, middle->Number);
  EXPECT_TRUE(CheckStructure(d.score));

  // Two of three go: the one left is a single note.
  CNote* again = AddChordNote(d.score, middle, middle->Left, d.Y(0, 28));
  ASSERT_NE(again, nullptr);
  d.Select(middle);
  d.Select(again);
  DeleteSelection(d.score);
  EXPECT_EQ(bottom->Chord, -1);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(DeleteSelectionTest, StavesAndSystemsGoWithTheirObjects) {
  NewDocument d;
  CStaff* second = InsertPianoSystem(d.score, 0, 1000);
  d.score.SetCurrent(second->Staves[0], second->Measures[0]);
  CNote* n = InsertNote(d.score, 300, second->Staves[0]->Top + 8, 3);
  ASSERT_NE(n, nullptr);
  InsertMark(d.score, n->X, n->Y, 90);
  d.score.LastCaptured = n;
  d.Select(d.Stave(0));
  DeleteSelection(d.score);
  ASSERT_EQ(d.score.Staffs.size(), 2u);
  EXPECT_EQ(d.System(0)->Staves.size(), 1u);  // the lower stave stays
  EXPECT_EQ(d.score.LastCaptured, nullptr);
  EXPECT_TRUE(CheckStructure(d.score));

  // The last stave of a system takes the system; a selected system goes whole.
  d.Select(d.Stave(0));
  d.Select(second);
  const size_t marks = d.All<CMark>().size();
  EXPECT_EQ(marks, 1u);
  DeleteSelection(d.score);
  EXPECT_TRUE(d.score.Staffs.empty());
  EXPECT_TRUE(d.All<CNote>().empty());
  EXPECT_TRUE(d.All<CMark>().empty());
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(DeleteSelectionTest, NotesAfterADeletedOneCloseUpAndItsMarksGo) {
  NewDocument d;
  d.At(0, 1);
  std::vector<CNote*> notes;
  for (int i = 0; i < 3; ++i) notes.push_back(InsertNote(d.score, d.End(1), d.Y(0, 12), 3));
  ASSERT_NE(notes[2], nullptr);
  CMark* dot = InsertDot(d.score, notes[0], 16);
  CMark* accent = InsertMark(d.score, notes[2]->X, notes[2]->Y, 93);
  ASSERT_TRUE(dot && accent);
  d.score.AfterLoad();
  const int firstLeft = notes[0]->Left;
  const int accentOffset = accent->Left - notes[2]->Left;
  d.Select(notes[0]);
  DeleteSelection(d.score);
  EXPECT_TRUE(CheckStructure(d.score));
  auto marks = d.All<CMark>();
  ASSERT_EQ(marks.size(), 1u);  // the dot went with its note
  EXPECT_EQ(marks[0], accent);
  // The notes start a quarter earlier and stand where those starts belong.
  EXPECT_EQ(notes[1]->Start, d.Measure(1)->Start);
  EXPECT_EQ(notes[1]->Left, firstLeft);
  EXPECT_EQ(notes[2]->Left, TickToX(*d.Measure(1), notes[2]->Start));
  EXPECT_EQ(accent->Left - notes[2]->Left, accentOffset);
}

TEST(DeleteSelectionTest, NothingSelectedOrAnEmptyScore) {
  NewDocument d;
  const size_t before = d.score.ObjectCount();
  EXPECT_EQ(DeleteSelection(d.score), 1);
  EXPECT_EQ(d.score.ObjectCount(), before);
  EXPECT_TRUE(CheckStructure(d.score));
  CScore empty;
  EXPECT_EQ(DeleteSelection(empty), 1);
  EXPECT_EQ(InsertMeasureAfter(empty, 10, 10), 0);
  EXPECT_EQ(BreakSystem(empty, nullptr, nullptr, 0), 0);
  EXPECT_EQ(InsertNote(empty, 10, 10, 3), nullptr);
  EXPECT_EQ(StaveAtPoint(empty, 0, 0), nullptr);
  EXPECT_EQ(MeasureAtPoint(empty, 0, 0), nullptr);
}

}  // namespace
