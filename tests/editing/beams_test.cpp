// The beamer and the beam commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "editing/note_ops.h"
#include "tests/model/score_fixture.h"

namespace {

std::vector<CBeam*> Beams(const CScore& score) {
  std::vector<CBeam*> out;
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Beam) out.push_back(static_cast<CBeam*>(up.get()));
  return out;
}

// Eighth notes (or other codes) at x 70, 90, 110, ... on stave 0, measure 0,
// with the given stems, selected, their start times computed.
std::vector<CNote*> SelectedRun(SmallScore& t, std::initializer_list<int> dys, int stem, int code = 4, int stave = 0) {
  std::vector<CNote*> notes;
  int x = 70;
  for (int dy : dys) {
    CNote* n = t.Note(stave, 0, x, dy, code);
    n->Stem = static_cast<int8_t>(stem);
    n->Selected = 1;
    notes.push_back(n);
    x += 20;
  }
  t.Update();
  return notes;
}

// y of a beam at x, along the beam.
double BeamYAt(const CBeam* b, int x) {
  if (b->X1 == b->X) return b->Y;
  return b->Y + double(b->Y1 - b->Y) * (x - b->X) / double(b->X1 - b->X);
}

// Every stem ends on the primary beam, within the rounding of one unit.
void ExpectStemsOnBeam(const std::vector<CNote*>& notes, const CBeam* primary, bool up) {
  for (const CNote* n : notes) {
    const int stemX = up ? n->X + 4 : n->X - 4;
    EXPECT_EQ(n->Head, 3);
    EXPECT_NEAR(n->Y + n->Stem, BeamYAt(primary, stemX), 1.0) << "note at " << n->X;
    EXPECT_EQ(n->Stem < 0, up);
  }
}

TEST(BeamByBeat, FourEighthsMakeTwoBeamsOfTwoNotes) {
  SmallScore t(1, 3);
  std::vector<CNote*> n = SelectedRun(t, {16, 16, 16, 16}, -28);
  ASSERT_EQ(n[3]->Start, 360);
  EXPECT_EQ(BeamByBeat(t.score), 1);
  std::vector<CBeam*> beams = Beams(t.score);
  ASSERT_EQ(beams.size(), 2u);
  EXPECT_EQ(beams[0]->X, n[0]->X + 4);
  EXPECT_EQ(beams[0]->X1, n[1]->X + 4);
  EXPECT_EQ(beams[1]->X, n[2]->X + 4);
  EXPECT_EQ(beams[1]->X1, n[3]->X + 4);
  for (CBeam* b : beams) {
    EXPECT_EQ(b->Y, n[0]->Y - 28);  // level notes, stems up: a stem's length above
    EXPECT_EQ(b->Y1, b->Y);
    EXPECT_EQ(b->Value, 1);
    EXPECT_EQ(b->Style, 64);
    EXPECT_EQ(b->OwnerStave, t.Stave(0));
    EXPECT_EQ(b->OwnerMeasure, t.Measure(0));
    EXPECT_EQ(b->Left, std::min(b->X, b->X1));
    EXPECT_EQ(b->Right, std::max(b->X, b->X1));
  }
  EXPECT_EQ(beams[0]->Note, n[0]->Number);
  EXPECT_EQ(beams[0]->NoteLink, n[0]);
  EXPECT_EQ(beams[1]->NoteLink, n[2]);
  ExpectStemsOnBeam({n[0], n[1]}, beams[0], true);
  // The beams are in the stave's list and stay with the notes' stave through
  // the recalculation.
  EXPECT_NE(std::find(t.Stave(0)->Attached.begin(), t.Stave(0)->Attached.end(), beams[0]), t.Stave(0)->Attached.end());
  t.Update();
  EXPECT_EQ(beams[1]->OwnerStave, t.Stave(0));
}

TEST(BeamByBeat, GroupsNeverCrossStavesAndLoneNotesStayUnbeamed) {
  SmallScore t(2, 3);
  std::vector<CNote*> upper = SelectedRun(t, {16, 16, 16}, 28);  // beats 0, 0, 1
  std::vector<CNote*> lower = SelectedRun(t, {16, 16}, 28, 4, 1);
  EXPECT_EQ(BeamByBeat(t.score), 1);
  std::vector<CBeam*> beams = Beams(t.score);
  ASSERT_EQ(beams.size(), 2u);
  EXPECT_EQ(beams[0]->NoteLink, upper[0]);
  EXPECT_EQ(beams[1]->NoteLink, lower[0]);
  EXPECT_EQ(beams[1]->OwnerStave, t.Stave(1));
  EXPECT_EQ(upper[2]->Stem, 28);  // alone in its beat: untouched
  EXPECT_EQ(upper[2]->Head, 0);

  SmallScore none(1, 3);
  EXPECT_EQ(BeamByBeat(none.score), 0);
  EXPECT_EQ(none.score.LastError, kErrNoNote);
}

TEST(Beamer, AnEighthThenASixteenthGiveAContinuedBeamAndALeftHook) {
  SmallScore t(1, 3);
  CNote* eighth = t.Note(0, 0, 70, 8, 4);
  CNote* sixteenth = t.Note(0, 0, 90, 8, 5);
  eighth->Stem = sixteenth->Stem = 28;
  eighth->Selected = sixteenth->Selected = 1;
  t.Update();
  ASSERT_EQ(sixteenth->Start, 120);
  EXPECT_EQ(BeamSelection(t.score), 1);
  std::vector<CBeam*> beams = Beams(t.score);
  ASSERT_EQ(beams.size(), 2u);
  const int line = eighth->Y + 28;
  // Level 0 runs from stem to stem (stems down: left of the heads).
  EXPECT_EQ(beams[0]->X, eighth->X - 4);
  EXPECT_EQ(beams[0]->X1, sixteenth->X - 4);
  EXPECT_EQ(beams[0]->Y, line);
  // Level 1 is a hook on the sixteenth, 4 units further in, pointing back
  // into its half beat.
  EXPECT_EQ(beams[1]->X, sixteenth->X - 4);
  EXPECT_EQ(beams[1]->X1, sixteenth->X - 4 - 8);
  EXPECT_EQ(beams[1]->Y, line - 4);
  EXPECT_EQ(beams[1]->Y1, line - 4);
  ExpectStemsOnBeam({eighth, sixteenth}, beams[0], false);
}

TEST(Beamer, HooksPointByTheirPlaceInTheBeat) {
  // A sixteenth late in its half beat (start 90 of 120) hooks to the right.
  SmallScore t(1, 3);
  CNote* first = t.Note(0, 0, 70, 8, 4, NTS_UPDATE_PLAYTICKS);
  first->Ticks = 90;  // locked
  CNote* late = t.Note(0, 0, 90, 8, 5);
  first->Stem = late->Stem = -28;
  t.Update();
  ASSERT_EQ(late->Start, 90);
  EXPECT_GT(BeamNotes(t.score, {first, late}), 0);
  std::vector<CBeam*> beams = Beams(t.score);
  ASSERT_EQ(beams.size(), 2u);
  EXPECT_EQ(beams[1]->X, late->X + 4);
  EXPECT_EQ(beams[1]->X1, late->X + 4 + 8);
  EXPECT_EQ(beams[1]->Y, beams[0]->Y + 4);  // stems up: further beams lie lower

  // Exactly a quarter beat into its half beat is not past it: left.
  SmallScore edge(1, 3);
  CNote* before = edge.Note(0, 0, 70, 8, 4, NTS_UPDATE_PLAYTICKS);
  before->Ticks = 60;
  CNote* onQuarter = edge.Note(0, 0, 90, 8, 5);
  before->Stem = onQuarter->Stem = -28;
  edge.Update();
  ASSERT_EQ(onQuarter->Start, 60);
  EXPECT_EQ(BeamNotes(edge.score, {before, onQuarter}), 2);
  EXPECT_EQ(Beams(edge.score).at(1)->X1, onQuarter->X + 4 - 8);

  // A sixteenth that starts a group hooks right when the next note has one beam.
  SmallScore u(1, 3);
  CNote* s = u.Note(0, 0, 70, 8, 5);
  CNote* e = u.Note(0, 0, 90, 8, 4);
  s->Stem = e->Stem = 28;
  u.Update();
  EXPECT_EQ(BeamNotes(u.score, {s, e}), 2);
  beams = Beams(u.score);
  EXPECT_EQ(beams[0]->X1, e->X - 4);
  EXPECT_EQ(beams[1]->X, s->X - 4);
  EXPECT_EQ(beams[1]->X1, s->X - 4 + 8);
}

TEST(Beamer, SlopeFollowsTheOuterNotesWithinItsLimitOrLiesFlat) {
  // Rising notes, stems down: the line follows them and clears the lowest
  // head by a stem's length.
  SmallScore t(1, 3);
  std::vector<CNote*> n = SelectedRun(t, {0, 16, 8}, 28);
  EXPECT_EQ(BeamSelection(t.score), 1);
  std::vector<CBeam*> beams = Beams(t.score);
  ASSERT_EQ(beams.size(), 1u);
  EXPECT_EQ(beams[0]->Y1 - beams[0]->Y, 8);  // slope 8/40 over 40 units
  ExpectStemsOnBeam(n, beams[0], false);
  // The middle note, the lowest after projecting, is 28 from the line.
  EXPECT_NEAR(BeamYAt(beams[0], n[1]->X - 4) - n[1]->Y, 28.0, 1.0);

  // A steep pair is held to a slope of a quarter.
  SmallScore steep(1, 3);
  std::vector<CNote*> m = SelectedRun(steep, {-20, 60}, -28);
  EXPECT_EQ(BeamSelection(steep.score), 1);
  CBeam* b = Beams(steep.score).at(0);
  EXPECT_EQ(b->Y1 - b->Y, 5);  // 20 units at 0.25
  ExpectStemsOnBeam(m, b, true);

  // With the flat-beam setting the same pair gets a level beam.
  SmallScore flat(1, 3);
  flat.score.FlatBeams = true;
  std::vector<CNote*> f = SelectedRun(flat, {-20, 60}, -28);
  EXPECT_EQ(BeamSelection(flat.score), 1);
  CBeam* level = Beams(flat.score).at(0);
  EXPECT_EQ(level->Y, level->Y1);
  EXPECT_EQ(level->Y, f[0]->Y - 28);
  ExpectStemsOnBeam(f, level, true);
}

TEST(Beamer, AChordIsBeamedAtItsStemNotAtEachHead) {
  // E and D a second apart, stem down: D sits left of the stem, E carries it.
  SmallScore t(1, 3);
  CNote* e = t.Note(0, 0, 100, 4, 4);
  CNote* d = t.Note(0, 0, 100, 8, 4);
  e->Stem = 28;
  e->Selected = d->Selected = 1;
  ASSERT_EQ(MakeChords(t.score), 1);
  ASSERT_EQ(d->X, e->X - 8);
  t.Update();
  // Alone in its beat the chord is no beam group, whatever its heads' x.
  EXPECT_EQ(BeamByBeat(t.score), 0);
  EXPECT_TRUE(Beams(t.score).empty());

  CNote* single = t.Note(0, 0, 140, 8, 4);
  single->Stem = 28;
  single->Selected = 1;
  t.Update();
  EXPECT_EQ(BeamSelection(t.score), 1);
  std::vector<CBeam*> beams = Beams(t.score);
  ASSERT_EQ(beams.size(), 1u);
  EXPECT_EQ(beams[0]->X, e->X - 4);  // the chord's stem, not the moved head
  EXPECT_EQ(beams[0]->X1, single->X - 4);
  EXPECT_EQ(beams[0]->Y, d->Y + 28);  // clear of the lowest head
  EXPECT_EQ(beams[0]->NoteLink, e);   // the chord's leader
  ExpectStemsOnBeam({e, single}, beams[0], false);
  EXPECT_EQ(d->Stem, 0);
}

TEST(Beamer, StemsTooLongForTheirByteAreHeldAtTheLimit) {
  SmallScore t(1, 3);
  t.score.FlatBeams = true;
  std::vector<CNote*> n = SelectedRun(t, {-100, 100}, 28);
  EXPECT_EQ(BeamSelection(t.score), 1);
  EXPECT_EQ(n[1]->Stem, 28);
  EXPECT_EQ(n[0]->Stem, 127);  // 228 would wrap to a negative byte
}

TEST(Beamer, GraceNotesKeepTheirStemsAndShiftTheBeamsLeft) {
  SmallScore t(1, 3);
  std::vector<CNote*> n = SelectedRun(t, {16, 16}, -28, 4);
  for (CNote* g : n) {
    g->Style |= NTS_GRACE;
    g->Head = 9;
  }
  EXPECT_EQ(BeamNotes(t.score, n), 1);
  CBeam* b = Beams(t.score).at(0);
  EXPECT_EQ(b->X, n[0]->X);  // stem x (X + 4) moved 4 left
  EXPECT_EQ(b->X1, n[1]->X);
  EXPECT_EQ(n[0]->Stem, -28);
  EXPECT_EQ(n[0]->Head, 9);
}

TEST(Beamer, GroupsThatCannotBeBeamedChangeNothing) {
  SmallScore t(1, 3);
  std::vector<CNote*> n = SelectedRun(t, {16, 8}, 28);
  EXPECT_EQ(BeamNotes(t.score, {n[0]}), 0);
  EXPECT_EQ(BeamNotes(t.score, {n[0], n[0]}), 0);  // first and last at one x
  // A first note on no stave.
  auto loose = std::make_unique<CNote>();
  loose->Value = 4;
  loose->PlaceAt(300, 100);
  CNote* l = loose.get();
  t.score.AddObject(std::move(loose));
  EXPECT_EQ(BeamNotes(t.score, {l, n[1]}), 0);
  EXPECT_TRUE(Beams(t.score).empty());
  EXPECT_EQ(n[0]->Stem, 28);

  // One selected note: nothing to beam, and the view is told why.
  SmallScore one(1, 3);
  SelectedRun(one, {16}, 28);
  EXPECT_EQ(BeamSelection(one.score), 0);
  EXPECT_EQ(one.score.LastError, kErrFewerThanTwo);
}

TEST(Beamer, AMeasureWithoutABeatLengthStillBeams) {
  SmallScore t(1, 3);
  std::vector<CNote*> n = SelectedRun(t, {16, 16}, 28, 5);
  t.Measure(0)->Numerator = 0;  // a damaged measure: no beat to divide by
  t.Measure(0)->Ticks = 0;
  EXPECT_EQ(BeamNotes(t.score, n), 2);
}

TEST(ClearBeams, RemovesSelectedBeamsAndEveryLinkToThem) {
  SmallScore t(1, 3);
  std::vector<CNote*> n = SelectedRun(t, {16, 16, 16, 16}, 28);
  ASSERT_EQ(BeamByBeat(t.score), 1);
  std::vector<CBeam*> beams = Beams(t.score);
  ASSERT_EQ(beams.size(), 2u);
  for (CNote* note : n) note->Selected = 0;
  beams[0]->Selected = 1;
  t.score.RecountSelection();
  t.score.LastCaptured = beams[0];
  CMark* onBeam = t.Mark(0, 0, 80, 90);
  onBeam->Note = beams[0]->Number;
  onBeam->NoteLink = beams[0];
  const size_t before = t.score.ObjectCount();

  EXPECT_EQ(ClearBeams(t.score), 1);
  EXPECT_EQ(t.score.ObjectCount(), before - 1);
  ASSERT_EQ(Beams(t.score).size(), 1u);
  EXPECT_EQ(Beams(t.score)[0], beams[1]);
  EXPECT_EQ(t.score.LastCaptured, nullptr);
  EXPECT_EQ(onBeam->NoteLink, nullptr);
  EXPECT_EQ(t.score.SelectedCount, 0);
  // Nothing in the stave's list points at a removed object.
  for (CStaveObject* o : t.Stave(0)->Attached) {
    bool live = false;
    for (const auto& up : t.score.Objects()) live = live || up.get() == o;
    EXPECT_TRUE(live);
  }
  t.Update();
  t.score.RelinkObjects();
  EXPECT_EQ(onBeam->NoteLink, nullptr);

  // Nothing selected: still 1, nothing removed.
  EXPECT_EQ(ClearBeams(t.score), 1);
  EXPECT_EQ(Beams(t.score).size(), 1u);
}

TEST(LockBeams, ClearsTheShapeBitAndReportsWhetherAnythingChanged) {
  SmallScore t(1, 3);
  CNote* a = t.Note(0, 0, 70, 16, 4, NTS_UPDATE_SHAPE | NTS_UPDATE_TICKS);
  CNote* b = t.Note(0, 0, 90, 16, 4, NTS_UPDATE_SHAPE);
  CRest* r = t.Rest(0, 0, 110, 4, NTS_UPDATE_SHAPE);
  a->Selected = r->Selected = 1;
  EXPECT_EQ(LockBeams(t.score), 1);
  EXPECT_EQ(a->Style, NTS_UPDATE_TICKS);
  EXPECT_EQ(b->Style, NTS_UPDATE_SHAPE);  // not selected
  EXPECT_EQ(r->Style, NTS_UPDATE_SHAPE);  // rests are not notes here
  EXPECT_EQ(LockBeams(t.score), 0);
}

}  // namespace
