// Grace notes before and after their main note.
#include <gtest/gtest.h>

#include "editing/note_ops.h"
#include "tests/model/score_fixture.h"

namespace {

int BeamCount(const CScore& score) {
  int count = 0;
  for (const auto& up : score.Objects()) count += up->KindCode() == Kind::Beam;
  return count;
}

TEST(GraceNotes, ConversionSetsStyleAndHeads) {
  SmallScore t(1, 3);
  CNote* eighth = t.Note(0, 0, 70, 16, 4, NTS_UPDATE_SHAPE | NTS_UPDATE_TICKS);
  CNote* quarter = t.Note(0, 0, 90, 16, 3);
  CNote* sixteenth = t.Note(0, 0, 110, 16, 5);
  quarter->Head = 3;
  EXPECT_EQ(MakeGraceNotes(t.score, {eighth}), 1);
  EXPECT_EQ(eighth->Style, NTS_UPDATE_TICKS | NTS_GRACE | NTS_FULL_LENGTH);
  EXPECT_EQ(eighth->Head, 9);  // the slashed eighth on its own
  EXPECT_EQ(MakeGraceNotes(t.score, {quarter}), 1);
  EXPECT_EQ(quarter->Head, 3);  // a single quarter keeps its head
  EXPECT_EQ(MakeGraceNotes(t.score, {quarter, sixteenth}), 1);
  EXPECT_EQ(quarter->Head, 9);
  EXPECT_EQ(sixteenth->Head, 10);
  EXPECT_EQ(MakeGraceNotes(t.score, {}), 0);
  t.Update();
  EXPECT_EQ(eighth->Ticks, 30);
}

TEST(GraceNotes, BeforeTakeTheirTimeFromTheFollowingNote) {
  SmallScore t(1, 3);
  CNote* g1 = t.Note(0, 0, 70, 8, 4);
  CNote* g2 = t.Note(0, 0, 90, 12, 4);
  CNote* main = t.Note(0, 0, 110, 16, 3);
  CNote* member = t.Note(0, 0, 110, 8, 3);
  CNote* next = t.Note(0, 0, 150, 16, 3);
  main->Chord = member->Chord = main->Number;
  g1->Stem = g2->Stem = -28;
  g1->Selected = g2->Selected = 1;
  t.Update();
  ASSERT_EQ(next->Start, 480);

  EXPECT_EQ(MakeBeforeGraceNotes(t.score), 1);
  t.Update();
  EXPECT_EQ(g1->Ticks, 30);
  EXPECT_EQ(g2->Ticks, 30);
  EXPECT_EQ(main->Ticks, 180);
  EXPECT_EQ(main->Style & NTS_UPDATE_TICKS, 0);
  EXPECT_EQ(member->Ticks, 180);
  EXPECT_EQ(member->Style & NTS_UPDATE_TICKS, 0);
  // The measure keeps its time: the grace notes then the shortened main note.
  EXPECT_EQ(g1->Start, 0);
  EXPECT_EQ(g2->Start, 30);
  EXPECT_EQ(main->Start, 60);
  EXPECT_EQ(member->Start, 60);
  EXPECT_EQ(next->Start, 240);
  // Grace notes sound their full (short) length and are beamed together.
  EXPECT_EQ(g1->PlayTicks, 30);
  EXPECT_EQ(BeamCount(t.score), 1);
  EXPECT_EQ(g1->Stem, -28);  // small notes keep their stems
}

TEST(GraceNotes, BeforeWithoutAMainNoteOnlyConvert) {
  SmallScore t(1, 3);
  CNote* other = t.Note(0, 1, 250, 16, 3);  // the next measure does not lend
  CNote* g = t.Note(0, 0, 200, 16, 4);
  g->Selected = 1;
  t.Update();
  EXPECT_EQ(MakeBeforeGraceNotes(t.score), 1);
  t.Update();
  EXPECT_TRUE(g->Style & NTS_GRACE);
  EXPECT_EQ(other->Ticks, 240);
  EXPECT_TRUE(other->Style & NTS_UPDATE_TICKS);

  SmallScore none(1, 3);
  EXPECT_EQ(MakeBeforeGraceNotes(none.score), 0);
  EXPECT_EQ(none.score.LastError, kErrNoNote);
  EXPECT_EQ(MakeAfterGraceNotes(none.score), 0);
}

TEST(GraceNotes, AMainNoteShorterThanItsGraceNotesKeepsATick) {
  SmallScore t(1, 3);
  std::vector<CNote*> graces;
  for (int x : {70, 90, 110}) graces.push_back(t.Note(0, 0, x, 16, 4));  // 30 each as grace notes
  CNote* main = t.Note(0, 0, 130, 16, 6);                                  // a 32nd: 30 ticks
  for (CNote* g : graces) g->Selected = 1;
  t.Update();
  EXPECT_EQ(MakeBeforeGraceNotes(t.score), 1);
  EXPECT_EQ(main->Ticks, 1);
}

TEST(GraceNotes, AfterTakeTheirTimeFromThePrecedingNote) {
  SmallScore t(1, 3);
  CNote* earlier = t.Note(0, 0, 60, 20, 3);
  CNote* main = t.Note(0, 0, 90, 16, 3);
  CNote* member = t.Note(0, 0, 90, 8, 3);
  CNote* g1 = t.Note(0, 0, 120, 12, 5);
  CNote* g2 = t.Note(0, 0, 140, 8, 5);
  CNote* next = t.Note(0, 0, 170, 16, 3);
  main->Chord = member->Chord = main->Number;
  g1->Selected = g2->Selected = 1;
  t.Update();
  ASSERT_EQ(next->Start, 600);

  EXPECT_EQ(MakeAfterGraceNotes(t.score), 1);
  EXPECT_EQ(g1->Head, 10);
  t.Update();
  EXPECT_EQ(earlier->Ticks, 240);  // the nearest note lends, not the first
  EXPECT_EQ(main->Ticks, 210);
  EXPECT_EQ(main->Style & NTS_UPDATE_TICKS, 0);
  EXPECT_EQ(main->Start, 240);
  EXPECT_EQ(g1->Start, 450);
  EXPECT_EQ(g2->Start, 465);
  EXPECT_EQ(next->Start, 480);
  // The chord's other note sounds with the shortened main note.
  EXPECT_EQ(main->PlayTicks, 195);
  EXPECT_EQ(member->PlayStart, main->PlayStart);
  EXPECT_EQ(member->PlayTicks, 195);
  EXPECT_EQ(member->Style & NTS_UPDATE_PLAYTICKS, 0);
  EXPECT_TRUE(member->Style & NTS_FULL_LENGTH);
  EXPECT_EQ(BeamCount(t.score), 2);  // two sixteenths: two levels
}

TEST(GraceNotes, AfterSkipsGraceNotesAndTiedTailsAndStaysInItsMeasure) {
  SmallScore t(1, 3);
  CNote* before = t.Note(0, 0, 150, 16, 3);  // previous measure: never lends
  CNote* head = t.Note(0, 1, 240, 16, 3);
  CNote* tail = t.Note(0, 1, 270, 16, 3);    // tied to head
  CNote* oldGrace = t.Note(0, 1, 300, 16, 4, NTS_UPDATE_TICKS | NTS_GRACE);
  CNote* g = t.Note(0, 1, 320, 16, 4);
  head->Tie = tail->Tie = head->Number;
  g->Selected = 1;
  t.Update();
  EXPECT_EQ(MakeAfterGraceNotes(t.score), 1);
  t.Update();
  EXPECT_EQ(head->Ticks, 210);
  EXPECT_EQ(tail->Ticks, 240);
  EXPECT_EQ(oldGrace->Ticks, 30);
  EXPECT_EQ(before->Ticks, 240);

  // A grace note first in its measure has no main note.
  SmallScore u(1, 3);
  CNote* prev = u.Note(0, 0, 150, 16, 3);
  CNote* first = u.Note(0, 1, 240, 16, 4);
  first->Selected = 1;
  u.Update();
  EXPECT_EQ(MakeAfterGraceNotes(u.score), 1);
  u.Update();
  EXPECT_EQ(prev->Ticks, 240);
  EXPECT_TRUE(first->Style & NTS_GRACE);
}

}  // namespace
