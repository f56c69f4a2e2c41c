// Chord grouping and layout.
#include <gtest/gtest.h>

#include "editing/chords.h"
#include "editing/note_ops.h"
#include "tests/model/score_fixture.h"

namespace {

void Select(std::initializer_list<CNote*> notes) {
  for (CNote* n : notes) n->Selected = 1;
}

TEST(ChordGrouping, ThirteenUnitsFromTheGroupsFirstNoteStartAnotherGroup) {
  SmallScore t(2, 3);
  // X 100, 105 and 120: the first two stand together, the third alone.
  CNote* a = t.Note(0, 0, 92, 16);
  CNote* b = t.Note(0, 0, 97, 8);
  CNote* c = t.Note(0, 0, 112, 0);
  ASSERT_EQ(a->X, 100);
  Select({a, b, c});
  EXPECT_EQ(JoinChords(t.score), 1);
  EXPECT_EQ(a->Chord, b->Number);  // b is higher, so it leads
  EXPECT_EQ(b->Chord, b->Number);
  EXPECT_EQ(c->Chord, -1);

  // 12 units from the first note still joins, 13 does not; the distance is
  // measured from the group's first note, not from the previous one.
  SmallScore u(2, 3);
  CNote* p = u.Note(0, 0, 92, 16);   // X 100
  CNote* q = u.Note(0, 0, 100, 8);   // X 108
  CNote* r = u.Note(0, 0, 104, 4);   // X 112
  CNote* s = u.Note(0, 0, 105, 0);   // X 113: starts a new group, alone
  CNote* other = u.Note(1, 0, 92, 8);  // same X on the other stave: never joined
  Select({p, q, r, s, other});
  EXPECT_EQ(JoinChords(u.score), 1);
  EXPECT_EQ(p->Chord, r->Number);
  EXPECT_EQ(q->Chord, r->Number);
  EXPECT_EQ(r->Chord, r->Number);
  EXPECT_EQ(s->Chord, -1);
  EXPECT_EQ(other->Chord, -1);
  // JoinChords sets the numbers only.
  EXPECT_EQ(p->X, 100);
  EXPECT_EQ(q->X, 108);
}

TEST(ChordGrouping, RefusesWithoutTwoNotesAndIgnoresUnselectedOnes) {
  SmallScore t(1, 3);
  CNote* a = t.Note(0, 0, 92, 16);
  CNote* b = t.Note(0, 0, 94, 8);
  EXPECT_EQ(MakeChords(t.score), 0);
  EXPECT_EQ(t.score.LastError, kErrNoNote);
  a->Selected = 1;
  EXPECT_EQ(MakeChords(t.score), 0);
  EXPECT_EQ(t.score.LastError, kErrFewerThanTwo);
  EXPECT_EQ(a->Chord, -1);
  EXPECT_EQ(b->Chord, -1);
  // A rest beside a note is no chord partner.
  CRest* rest = t.Rest(0, 0, 95, 3);
  rest->Selected = 1;
  EXPECT_EQ(MakeChords(t.score), 0);
  EXPECT_EQ(rest->Chord, -1);
}

// Three eighths a step apart each, from the top E, D, C (treble dy 4, 8, 12),
// made in the wrong order to check the sort by height.
struct ThreeSeconds {
  SmallScore t{1, 3};
  CNote *c, *d, *e;
  explicit ThreeSeconds(int stem) {
    c = t.Note(0, 0, 100, 12, 4);
    e = t.Note(0, 0, 102, 4, 4);
    d = t.Note(0, 0, 104, 8, 4);
    for (CNote* n : {c, d, e}) n->Stem = static_cast<int8_t>(stem);
    Select({c, d, e});
  }
};

TEST(ChordLayout, StemDownPutsTheMiddleSecondLeft) {
  ThreeSeconds s(28);
  EXPECT_EQ(MakeChords(s.t.score), 1);
  for (CNote* n : {s.c, s.d, s.e}) {
    EXPECT_EQ(n->Chord, s.e->Number);
    EXPECT_EQ(n->Tail, 1);  // eighths
  }
  EXPECT_EQ(s.e->Left, 102);  // the top note keeps its place and is the column
  EXPECT_EQ(s.d->Left, s.e->Left - 8);
  EXPECT_EQ(s.c->Left, s.e->Left);
  EXPECT_EQ(s.d->X, s.d->Left + 8);  // placed again around the new Left
  // The top note carries the long stem down through the chord; the bottom
  // note, at the stem's end, carries the flag.
  EXPECT_EQ(s.e->Stem, 12 - 4 + 28);
  EXPECT_EQ(s.e->Head, 3);
  EXPECT_EQ(s.d->Stem, 0);
  EXPECT_EQ(s.d->Head, 3);
  EXPECT_EQ(s.c->Stem, 28);
  EXPECT_EQ(s.c->Head, 4);
}

TEST(ChordLayout, StemUpPutsTheMiddleSecondRight) {
  ThreeSeconds s(-28);
  EXPECT_EQ(MakeChords(s.t.score), 1);
  EXPECT_EQ(s.c->Left, s.e->Left);
  EXPECT_EQ(s.d->Left, s.e->Left + 8);
  EXPECT_EQ(s.e->Left, 102);
  // The bottom note carries the long stem up; the top note the flag.
  EXPECT_EQ(s.c->Stem, -(12 - 4 + 28));
  EXPECT_EQ(s.c->Head, 3);
  EXPECT_EQ(s.d->Stem, 0);
  EXPECT_EQ(s.e->Stem, -28);
  EXPECT_EQ(s.e->Head, 4);
}

TEST(ChordLayout, AdjacentSecondsAlternateAndTheFlagAvoidsAShiftedHead) {
  // F E D C, each a second apart, stem down: E and C move left, so the flag
  // goes to D, the note above the shifted bottom note.
  SmallScore t(1, 3);
  std::vector<CNote*> notes;
  for (int dy : {0, 4, 8, 12}) notes.push_back(t.Note(0, 0, 100, dy, 5));
  for (CNote* n : notes) n->Stem = 28;
  LayoutChord(t.score, notes);
  EXPECT_EQ(notes[0]->Left, 100);
  EXPECT_EQ(notes[1]->Left, 92);
  EXPECT_EQ(notes[2]->Left, 100);
  EXPECT_EQ(notes[3]->Left, 92);
  EXPECT_EQ(notes[0]->Stem, 12 + 28);
  EXPECT_EQ(notes[2]->Stem, 28);
  EXPECT_EQ(notes[2]->Head, 5);
  EXPECT_EQ(notes[3]->Stem, 0);
  EXPECT_EQ(notes[3]->Head, 3);
  EXPECT_EQ(notes[1]->Tail, 2);

  // Two notes a second apart, stem up: the top one moves right, so the flag
  // goes to the bottom one, which also holds the stem.
  SmallScore u(1, 3);
  CNote* low = u.Note(0, 0, 100, 20, 4);
  CNote* high = u.Note(0, 0, 100, 16, 4);
  low->Stem = high->Stem = -28;
  LayoutChord(u.score, {low, high});
  EXPECT_EQ(high->Left, 108);
  EXPECT_EQ(low->Left, 100);
  EXPECT_EQ(low->Stem, -28);
  EXPECT_EQ(low->Head, 4);
  EXPECT_EQ(high->Stem, 0);

  // A third apart (8 units) is no second: no shift.
  SmallScore v(1, 3);
  CNote* a = v.Note(0, 0, 100, 8);
  CNote* b = v.Note(0, 0, 100, 16);
  a->Stem = 28;
  LayoutChord(v.score, {a, b});
  EXPECT_EQ(a->Left, 100);
  EXPECT_EQ(b->Left, 100);
  EXPECT_EQ(b->Stem, 28);
  EXPECT_EQ(a->Stem, 8 + 28);
}

TEST(ChordLayout, AWideChordsStemStaysInItsByteAndPointsTheRightWay) {
  SmallScore t(1, 3);
  CNote* top = t.Note(0, 0, 100, -40);
  CNote* bottom = t.Note(0, 0, 100, 80);  // 120 apart: the stem would be 148
  top->Stem = -28;
  LayoutChord(t.score, {top, bottom});
  EXPECT_EQ(bottom->Stem, -127);
  top->Stem = 28;
  bottom->Chord = top->Chord = -1;
  LayoutChord(t.score, {bottom, top});
  EXPECT_EQ(top->Stem, 127);
}

TEST(ChordLayout, FewerThanTwoNotesChangeNothing) {
  SmallScore t(1, 3);
  CNote* a = t.Note(0, 0, 100, 8);
  a->Stem = 28;
  LayoutChord(t.score, {a, nullptr});
  EXPECT_EQ(a->Chord, -1);
  EXPECT_EQ(a->Stem, 28);
  LayoutChord(t.score, {});
}

TEST(ChordLayout, TheChordSharesItsLeadersStartAfterRecalculation) {
  SmallScore t(1, 3);
  CNote* first = t.Note(0, 0, 80, 16);
  CNote* a = t.Note(0, 0, 120, 16);
  CNote* b = t.Note(0, 0, 124, 8);
  CNote* after = t.Note(0, 0, 160, 16);
  Select({a, b});
  EXPECT_EQ(MakeChords(t.score), 1);
  t.Update();
  EXPECT_EQ(first->Start, 0);
  EXPECT_EQ(a->Start, 240);
  EXPECT_EQ(b->Start, 240);
  EXPECT_EQ(after->Start, 480);  // the chord advanced time once
}

}  // namespace
