// Note operations on single notes, sequential playing, staccato marks and
// the glissando and scale fills.
#include <gtest/gtest.h>

#include "editing/note_ops.h"
#include "tests/model/score_fixture.h"

namespace {

constexpr int kAuto = NTS_UPDATE_TICKS | NTS_UPDATE_KEY | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_VELOCITY;

void Select(std::initializer_list<CNote*> notes) {
  for (CNote* n : notes) n->Selected = 1;
}

TEST(NoteValues, SetNoteTypeGivesEveryNoteAndRestTheSameCodeAndTuplet) {
  SmallScore t(1, 3);
  CNote* quarter = t.Note(0, 0, 70, 16, 3);
  CNote* eighth = t.Note(0, 0, 90, 16, 4);
  CRest* rest = t.Rest(0, 0, 110, 5);
  CNote* other = t.Note(0, 0, 130, 16, 4);
  Select({quarter, eighth, rest});
  // The view asks for 3 and passes it with the first selected note's code.
  EXPECT_EQ(SetNoteType(t.score, 3 << 8 | quarter->DurationCode()), 1);
  t.Update();
  for (CNote* n : {quarter, eighth, static_cast<CNote*>(rest)}) {
    EXPECT_EQ(n->Value, 0x303);
    EXPECT_EQ(n->Ticks, 160);  // a triplet quarter
  }
  EXPECT_EQ(other->Value, 4);
  EXPECT_EQ(eighth->Start, 160);

  SmallScore none(1, 3);
  EXPECT_EQ(SetNoteType(none.score, 3), 0);
  EXPECT_EQ(none.score.LastError, kErrNoNote);
}

TEST(NoteValues, MakeTupletKeepsEachCodeAndClearsHigherBytes) {
  SmallScore t(1, 3);
  CNote* quarter = t.Note(0, 0, 70, 16, 3);
  CNote* eighth = t.Note(0, 0, 90, 16, 0x10004);  // stray high bits
  CNote* dotted = t.Note(0, 0, 110, 16, 0x504, kAuto | NTS_DOTTED);
  CRest* rest = t.Rest(0, 0, 130, 4);
  Select({quarter, eighth, dotted, rest});
  EXPECT_EQ(MakeTuplet(t.score, 3), 1);
  EXPECT_EQ(quarter->Value, 0x303);
  EXPECT_EQ(eighth->Value, 0x304);
  EXPECT_EQ(dotted->Value, 0x304);
  EXPECT_EQ(rest->Value, 0x304);
  t.Update();
  EXPECT_EQ(quarter->Ticks, 160);
  EXPECT_EQ(eighth->Ticks, 80);
  EXPECT_EQ(dotted->Ticks, 120);  // 180 x 2 / 3
  EXPECT_EQ(MakeTuplet(t.score, 256 + 5), 1);
  EXPECT_EQ(quarter->Value, 0x503);
  EXPECT_EQ(MakeTuplet(t.score, -1), 1);  // modulo 256, never a sign spill
  EXPECT_EQ(quarter->Value, 0xFF03);
  EXPECT_EQ(MakeTuplet(t.score, 0), 1);
  EXPECT_EQ(eighth->Value, 4);
}

TEST(FollowAndLock, BitsOnSelectedNotesAndRestsOnly) {
  SmallScore t(1, 3);
  CNote* n = t.Note(0, 0, 70, 16, 3, 0);
  CRest* r = t.Rest(0, 0, 90, 3, 0);
  CNote* unselected = t.Note(0, 0, 110, 16, 3, 0);
  Select({n, r});
  EXPECT_EQ(FollowNoteValue(t.score), 1);
  EXPECT_EQ(FollowPlayLength(t.score), 1);
  EXPECT_EQ(n->Style, NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS);
  EXPECT_EQ(r->Style, NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS);
  EXPECT_EQ(unselected->Style, 0);
  EXPECT_EQ(FollowNoteValue(t.score), 0);  // nothing left to change
  EXPECT_EQ(LockNoteValue(t.score), 1);
  EXPECT_EQ(LockPlayLength(t.score), 1);
  EXPECT_EQ(n->Style, 0);
  EXPECT_EQ(r->Style, 0);

  // Pitch and velocity locks touch notes, not rests.
  n->Style = r->Style = NTS_UPDATE_KEY | NTS_UPDATE_VELOCITY;
  EXPECT_EQ(LockPitch(t.score), 1);
  EXPECT_EQ(LockVelocity(t.score), 1);
  EXPECT_EQ(n->Style, 0);
  EXPECT_EQ(r->Style, NTS_UPDATE_KEY | NTS_UPDATE_VELOCITY);
  EXPECT_EQ(LockVelocity(t.score), 0);
  EXPECT_EQ(SetLegato(t.score), 1);
  EXPECT_EQ(n->Style, NTS_FULL_LENGTH);
  EXPECT_EQ(r->Style & NTS_FULL_LENGTH, 0);

  // A legato quarter sounds its whole length.
  n->Style |= kAuto;
  t.Update();
  EXPECT_EQ(n->PlayTicks, 240);

  SmallScore none(1, 3);
  CRest* onlyRest = none.Rest(0, 0, 90, 3);
  onlyRest->Selected = 1;
  EXPECT_EQ(LockPitch(none.score), 0);
  EXPECT_EQ(none.score.LastError, kErrNoNote);
  EXPECT_EQ(LockNoteValue(none.score), 1);
  EXPECT_TRUE(none.score.LastError.empty());
}

TEST(Stems, UpDownAndAutomatic) {
  SmallScore t(1, 3);
  CNote* high = t.Note(0, 0, 70, 8, 3, NTS_UPDATE_SHAPE);
  CNote* low = t.Note(0, 0, 90, 24, 3, NTS_UPDATE_SHAPE);
  CNote* none = t.Note(0, 0, 110, 24, 1, NTS_UPDATE_SHAPE);  // a whole note, no stem
  high->Stem = 28;
  low->Stem = -28;
  Select({high, low, none});
  t.Update();  // dy

  EXPECT_EQ(StemsUp(t.score), 1);
  EXPECT_EQ(high->Stem, -28);
  EXPECT_EQ(low->Stem, -28);
  EXPECT_EQ(high->Style & NTS_UPDATE_SHAPE, 0);  // locked where flipped
  EXPECT_EQ(low->Style & NTS_UPDATE_SHAPE, NTS_UPDATE_SHAPE);  // already up: untouched
  EXPECT_EQ(none->Stem, 0);

  EXPECT_EQ(StemsDown(t.score), 1);
  EXPECT_EQ(high->Stem, 28);
  EXPECT_EQ(low->Stem, 28);
  EXPECT_EQ(low->Style & NTS_UPDATE_SHAPE, 0);

  // Automatic: above or on the middle line down, below it up.
  EXPECT_EQ(StemsAuto(t.score), 1);
  EXPECT_EQ(high->Stem, 28);
  EXPECT_EQ(low->Stem, -28);
  EXPECT_EQ(high->Style & NTS_UPDATE_SHAPE, NTS_UPDATE_SHAPE);
  EXPECT_EQ(low->Style & NTS_UPDATE_SHAPE, NTS_UPDATE_SHAPE);
  CNote* middle = t.Note(0, 0, 130, 16, 3);
  middle->Stem = -28;
  middle->Selected = 1;
  t.Update();
  EXPECT_EQ(StemsAuto(t.score), 1);
  EXPECT_EQ(middle->Stem, 28);
}

TEST(Staccato, MarksSitOppositeTheStemAndClearOfLines) {
  SmallScore t(1, 3);
  t.score.Layer = 2;
  CNote* upOnLine = t.Note(0, 0, 70, 16);     // stem up, head on a line
  CNote* upInSpace = t.Note(0, 0, 90, 20);
  CNote* downOnLine = t.Note(0, 0, 110, 8);
  CNote* downInSpace = t.Note(0, 0, 130, 12);
  CNote* noStem = t.Note(0, 0, 150, 4, 1);
  upOnLine->Stem = upInSpace->Stem = -28;
  downOnLine->Stem = downInSpace->Stem = 28;
  Select({upOnLine, upInSpace, downOnLine, downInSpace, noStem});
  t.Update();
  const size_t before = t.score.ObjectCount();
  EXPECT_EQ(AddStaccatoMarks(t.score), 1);
  ASSERT_EQ(t.score.ObjectCount(), before + 5);
  auto markOf = [&](CNote* n) -> CMark* {
    for (const auto& up : t.score.Objects())
      if (auto* m = As<CMark>(up.get()); m && m->KindCode() == Kind::Mark && m->NoteLink == n) return m;
    return nullptr;
  };
  struct Expect {
    CNote* note;
    int offset;
  } cases[] = {{upOnLine, 12}, {upInSpace, 8}, {downOnLine, -12}, {downInSpace, -8}, {noStem, 8}};
  for (const Expect& c : cases) {
    CMark* m = markOf(c.note);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Value, 90);
    EXPECT_EQ(m->X, c.note->X);
    EXPECT_EQ(m->Y, c.note->Y + c.offset) << "note at " << c.note->X;
    EXPECT_EQ(m->Note, c.note->Number);
    EXPECT_EQ(m->Layer, 2);
    EXPECT_EQ(m->OwnerStave, t.Stave(0));
    EXPECT_TRUE(c.note->Style & NTS_STACCATO);
  }
  // The staccato halves what sounds.
  t.Update();
  EXPECT_EQ(upOnLine->PlayTicks, 120);
}

TEST(PlayInSequence, ChainsPlayStartsWithinOneMeasure) {
  SmallScore t(2, 3);
  CNote* a = t.Note(0, 0, 70, 16, 3);
  CRest* r = t.Rest(0, 0, 90, 4);
  CNote* b = t.Note(0, 0, 110, 16, 4);
  CNote* elsewhere = t.Note(1, 0, 70, 16, 3);  // another stave: not part of it
  t.Update();
  Select({b, a, r, elsewhere});
  a->PlayTicks = 100;
  r->PlayTicks = 50;
  EXPECT_EQ(PlayInSequence(t.score), 1);
  EXPECT_EQ(a->PlayStart, 0);
  EXPECT_EQ(r->PlayStart, 100);
  EXPECT_EQ(b->PlayStart, 150);
  EXPECT_EQ(elsewhere->PlayStart, 0);
}

TEST(PlayInSequence, RefusesWithItsTexts) {
  SmallScore t(1, 3);
  CNote* a = t.Note(0, 0, 70, 16);
  CNote* b = t.Note(0, 1, 250, 16);
  t.Update();
  EXPECT_EQ(PlayInSequence(t.score), 0);
  EXPECT_EQ(t.score.LastError, "-1:选中的对象中没有找到音符!");
  a->Selected = 1;
  EXPECT_EQ(PlayInSequence(t.score), 0);
  EXPECT_EQ(t.score.LastError, "-1:选中的音符少于2个!");
  b->Selected = 1;
  EXPECT_EQ(PlayInSequence(t.score), 0);
  EXPECT_EQ(t.score.LastError, "-1:选中的音符不在同一个小节内!");
  EXPECT_EQ(b->PlayStart, b->Start);

  SmallScore loose(1, 3);
  auto n = std::make_unique<CNote>();
  n->Selected = 1;
  loose.score.AddObject(std::move(n));
  loose.Note(0, 0, 70, 16)->Selected = 1;
  EXPECT_EQ(PlayInSequence(loose.score), 0);
  EXPECT_EQ(loose.score.LastError, "-1:选中的音符不在谱表上!");
}

// Stands in for the editor's insertion: a note at the point on the
// insertion point's stave and measure, refusing points right of x 240.
CNote* TestInsert(CScore& score, int x, int y, int code) {
  if (x > 240 || !score.CurrentStave) return nullptr;
  auto n = std::make_unique<CNote>();
  n->Value = code;
  n->Style = NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_KEY;
  n->PlaceAt(x, y);
  CNote* raw = n.get();
  score.AddAttachedObject(score.CurrentStave, score.CurrentMeasure, std::move(n));
  return raw;
}

TEST(Glissando, FillsEachStepAndSharesTheDuration) {
  SmallScore t(1, 3);
  CNote* b = t.Note(0, 0, 192, 20, 4);  // the right note, selected first
  CNote* a = t.Note(0, 0, 92, 0, 4);
  t.Update();
  Select({b, a});
  const size_t before = t.score.ObjectCount();
  EXPECT_EQ(MakeGlissando(t.score, 600, &TestInsert), 1);
  ASSERT_EQ(t.score.ObjectCount(), before + 4);  // k = 5 steps, 4 notes between
  std::vector<CNote*> notes{a};
  for (size_t i = before; i < t.score.ObjectCount(); ++i) notes.push_back(static_cast<CNote*>(t.score.GetObject(i)));
  notes.push_back(b);
  for (size_t j = 0; j < notes.size(); ++j) {
    CNote* n = notes[j];
    if (j > 0 && j < 5) {
      EXPECT_EQ(n->Left, a->X + int(j) * 20);
      EXPECT_EQ(n->Y, a->Y + int(j) * 4);
      EXPECT_EQ(n->DurationCode(), 4);
      EXPECT_EQ(n->OwnerStave, t.Stave(0));
    }
    EXPECT_EQ(n->Ticks, 100);
    EXPECT_EQ(n->PlayTicks, 100);
    EXPECT_EQ(n->Layer, 0);
    EXPECT_EQ(n->Style & (NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS), 0);
  }
  EXPECT_EQ(t.score.CurrentStave, nullptr);  // the user's insertion point is given back
}

TEST(Glissando, RefusalsChangeNothing) {
  SmallScore t(1, 3);
  CNote* a = t.Note(0, 0, 92, 0, 4);
  CNote* b = t.Note(0, 0, 192, 4, 4);  // one step apart
  CNote* c = t.Note(0, 0, 212, 20, 4);
  t.Update();
  const size_t count = t.score.ObjectCount();
  Select({a, b});
  EXPECT_EQ(MakeGlissando(t.score, 600, &TestInsert), 0);
  EXPECT_EQ(FillScale(t.score, &TestInsert), 0);
  c->Selected = 1;  // three selected
  EXPECT_EQ(FillScale(t.score, &TestInsert), 0);
  b->Selected = 0;  // a and c, 5 steps: but 5 ticks cannot be shared by 6 notes
  EXPECT_EQ(MakeGlissando(t.score, 5, &TestInsert), 0);
  EXPECT_EQ(t.score.ObjectCount(), count);
  EXPECT_EQ(a->Style & NTS_UPDATE_TICKS, NTS_UPDATE_TICKS);
  // Notes thousands of steps apart are no scale to fill.
  b->Selected = 0;
  c->Selected = 1;
  c->Y = 100000;
  EXPECT_EQ(FillScale(t.score, &TestInsert), 0);
  EXPECT_EQ(t.score.ObjectCount(), count);
  // A rest and a mark are no pair.
  a->Selected = 0;
  CMark* m = t.Mark(0, 0, 100, 90);
  m->Selected = 1;
  EXPECT_EQ(FillScale(t.score, &TestInsert), 0);
  EXPECT_EQ(t.score.ObjectCount(), count + 1);
}

TEST(Scale, LeavesOutNotesThatDoNotFit) {
  SmallScore t(1, 3);
  CNote* a = t.Note(0, 0, 92, 24, 3);
  CNote* b = t.Note(0, 0, 292, 0, 3);  // 6 steps up, x step 33
  t.Update();
  Select({a, b});
  const size_t before = t.score.ObjectCount();
  EXPECT_EQ(FillScale(t.score, &TestInsert), 1);
  // x 133, 166, 200, 233 fit; 266 is refused by the insertion.
  ASSERT_EQ(t.score.ObjectCount(), before + 4);
  auto* last = static_cast<CNote*>(t.score.GetObject(before + 3));
  EXPECT_EQ(last->Y, a->Y - 16);
  EXPECT_EQ(last->Ticks, 240);  // recalculated: lengths follow the code
  EXPECT_EQ(a->Ticks, 240);
  EXPECT_EQ(a->Style & NTS_UPDATE_TICKS, NTS_UPDATE_TICKS);
}

}  // namespace
