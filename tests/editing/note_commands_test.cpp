// Note-menu commands: durations and dots, beat division, octave shifts,
// beam breaks and hooks, arpeggios, slides, breaking chords, ties, binding
// marks, merging rests, dotted joins and spacing.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

#include "edit_fixture.h"
#include "editing/edit_util.h"
#include "editing/note_commands.h"
#include "editing/note_ops.h"
#include "editing/tie_arcs.h"
#include "model/derived.h"
#include "tests/model/score_fixture.h"
#include "tools/scoregen/scoregen.h"

namespace {

// Runs a command as the view does: the recalculation follows, and the
// structure must hold whether it worked or refused.
int Command(CScore& score, int (*command)(CScore&)) {
  const int result = command(score);
  score.UpdateDerived();
  EXPECT_TRUE(CheckStructure(score));
  return result;
}

struct Doc : NewDocument {
  // Notes of the given codes appended to a measure of a stave at dy, starts computed.
  std::vector<CNote*> Notes(size_t stave, size_t measure, std::initializer_list<int> codes, int dy = 12) {
    At(stave, measure);
    std::vector<CNote*> out;
    for (int code : codes) {
      CNote* n = InsertNote(score, End(measure), Y(stave, dy), code);
      EXPECT_NE(n, nullptr);
      out.push_back(n);
    }
    score.UpdateDerived();
    return out;
  }
  CRest* AddRest(size_t stave, size_t measure, int code) {
    At(stave, measure);
    CRest* r = InsertRest(score, End(measure), Y(stave, 16), code);
    EXPECT_NE(r, nullptr);
    score.UpdateDerived();
    return r;
  }
  void Pick(std::initializer_list<CXObject*> objects) {
    for (const auto& up : score.Objects()) up->Selected = 0;
    score.SelectedCount = 0;
    for (CXObject* o : objects) Select(o);
  }
  bool Alive(const CXObject* o) {
    return std::any_of(score.Objects().begin(), score.Objects().end(), [&](const auto& up) { return up.get() == o; });
  }
  std::vector<CMark*> DotsOf(const CNote* n) {
    std::vector<CMark*> out;
    for (CMark* m : All<CMark>())
      if (m->NoteLink == n && (m->Value == 16 || m->Value == 17)) out.push_back(m);
    return out;
  }
};

// --- durations and dots --------------------------------------------------------------

TEST(NoteDurations, CodeChangesLengthHeadAndFlagAndKeepsTuplets) {
  Doc d;
  std::vector<CNote*> n{d.Notes(0, 0, {3})[0], d.Notes(0, 1, {1})[0]};
  CRest* r = d.AddRest(0, 2, 3);
  n[0]->Value = 0x303;
  d.Pick({n[0], n[1], r});
  EXPECT_EQ(Command(d.score, [](CScore& s) { return SetNoteDuration(s, 4); }), 1);
  EXPECT_EQ(n[0]->Value, 0x304);
  EXPECT_EQ(n[0]->Ticks, 80);  // a triplet eighth
  EXPECT_EQ(n[1]->Ticks, 120);
  EXPECT_EQ(n[1]->Head, 4);
  EXPECT_EQ(n[1]->Tail, 1);
  EXPECT_NE(n[1]->Stem, 0);  // the whole note had none
  EXPECT_EQ(r->Head, 4);
  EXPECT_EQ(r->Ticks, 120);
  EXPECT_EQ(SetNoteDuration(d.score, 4), 0);  // nothing left to change
  EXPECT_TRUE(d.score.LastError.empty());

  EXPECT_EQ(SetNoteDuration(d.score, 8), 0);
  EXPECT_EQ(d.score.LastError, kErrBadDuration);
  d.Pick({});
  EXPECT_EQ(SetNoteDuration(d.score, 3), 0);
  EXPECT_EQ(d.score.LastError, kErrNoNote);
}

TEST(NoteDurations, DotsAddOneBoundDotMarkAndToggleOff) {
  Doc d;
  auto n = d.Notes(0, 0, {3});
  CRest* whole = d.AddRest(0, 1, 1);
  d.Pick({n[0], whole});
  EXPECT_EQ(Command(d.score, [](CScore& s) { return ToggleNoteDots(s, 1); }), 1);
  EXPECT_EQ(n[0]->Ticks, 360);
  ASSERT_EQ(d.DotsOf(n[0]).size(), 1u);
  EXPECT_EQ(d.DotsOf(n[0])[0]->Value, 16);
  EXPECT_EQ(whole->Style & (NTS_DOTTED | NTS_DOUBLE_DOTTED), 0);  // a whole-measure rest takes none
  EXPECT_EQ(whole->Ticks, 960);

  EXPECT_EQ(Command(d.score, [](CScore& s) { return SetNoteDots(s, 2); }), 1);
  EXPECT_EQ(n[0]->Ticks, 420);
  ASSERT_EQ(d.DotsOf(n[0]).size(), 1u);  // the single dot was replaced
  EXPECT_EQ(d.DotsOf(n[0])[0]->Value, 17);
  EXPECT_EQ(Command(d.score, [](CScore& s) { return ToggleNoteDots(s, 2); }), 1);
  EXPECT_EQ(n[0]->Ticks, 240);
  EXPECT_TRUE(d.DotsOf(n[0]).empty());
  EXPECT_EQ(SetNoteDots(d.score, 3), 0);
  EXPECT_EQ(d.score.LastError, kErrBadDots);
}

// --- one beat divided evenly ---------------------------------------------------------

TEST(DivideBeat, ThreeNotesBecomeTripletEighthsFillingOneBeat) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3, 3, 3});
  d.Pick({n[0], n[1], n[2]});
  EXPECT_EQ(Command(d.score, DivideBeat), 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(n[i]->Value, 0x304);
    EXPECT_EQ(n[i]->Ticks, 80);
    EXPECT_EQ(n[i]->Start, 80 * i);
  }
  EXPECT_EQ(n[3]->Start, 240);  // the beat is exactly full
}

TEST(DivideBeat, SevenNotesShareTheRemainderAndKeepItAfterRecalculation) {
  Doc d;
  auto n = d.Notes(0, 0, {5, 5, 5, 5, 5, 5, 5});
  d.Pick({n[0], n[1], n[2], n[3], n[4], n[5], n[6]});
  EXPECT_EQ(Command(d.score, DivideBeat), 1);
  int total = 0;
  for (CNote* note : n) {
    EXPECT_TRUE(note->Ticks == 34 || note->Ticks == 35) << note->Ticks;
    total += note->Ticks;
  }
  EXPECT_EQ(total, 240);
  d.score.UpdateDerived();
  EXPECT_EQ(n[6]->Start + n[6]->Ticks, 240);
}

TEST(DivideBeat, Refusals) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3, 3});
  auto next = d.Notes(0, 1, {3});
  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, DivideBeat), 0);
  EXPECT_EQ(d.score.LastError, kErrFewerThanTwo);
  d.Pick({n[2], next[0]});
  EXPECT_EQ(Command(d.score, DivideBeat), 0);
  EXPECT_EQ(d.score.LastError, kErrNotOneMeasure);
  d.Pick({n[0], n[2]});  // n[1] lies between them
  EXPECT_EQ(Command(d.score, DivideBeat), 0);
  EXPECT_EQ(d.score.LastError, kErrNotAdjacent);
  n[1]->Voice = 1;
  d.Pick({n[0], n[1]});
  EXPECT_EQ(Command(d.score, DivideBeat), 0);
  EXPECT_EQ(d.score.LastError, kErrNotOneVoice);
  EXPECT_EQ(n[0]->Ticks, 240);  // nothing changed on refusal

  // Two sixteenths would grow to a beat: no room left in a full measure.
  Doc f;
  auto full = f.Notes(0, 0, {5, 5, 2, 4, 4, 4});
  f.Pick({full[0], full[1]});
  EXPECT_EQ(Command(f.score, DivideBeat), 0);
  EXPECT_EQ(f.score.LastError, kErrNoRoom);
  EXPECT_EQ(full[1]->Ticks, 60);
}

// --- octave shifts -------------------------------------------------------------------

TEST(Octave, UpKeepsTheWrittenNotesAndSoundsThemAnOctaveHigherUnderALine) {
  Doc d;
  auto n = d.Notes(0, 1, {3, 3, 3, 3});  // C5 = 72 each
  ASSERT_EQ(n[0]->Key, 72);
  const int y1 = n[1]->Y;
  d.Pick({n[1], n[2]});
  EXPECT_EQ(Command(d.score, OctaveUp), 1);
  EXPECT_EQ(n[1]->Key, 84);
  EXPECT_EQ(n[2]->Key, 84);
  EXPECT_EQ(n[1]->Y, y1);
  EXPECT_EQ(n[0]->Key, 72);
  EXPECT_EQ(n[3]->Key, 72);
  auto lines = d.All<COctaveLine>();
  ASSERT_EQ(lines.size(), 1u);
  const COctaveLine* line = lines[0];
  EXPECT_EQ(line->Value, 0);
  EXPECT_EQ(line->OwnerStave, d.Stave(0));
  EXPECT_LE(line->Left, n[1]->Left);
  EXPECT_GE(line->Right, n[2]->Right);
  EXPECT_LT(line->Right, n[3]->X);
  EXPECT_GT(line->Left, n[0]->X);
  EXPECT_LE(line->Bottom, d.Stave(0)->Top);  // above the stave

  // Twice would still read as one octave: refused, nothing changes.
  EXPECT_EQ(Command(d.score, OctaveUp), 0);
  EXPECT_EQ(d.score.LastError, kErrUnderOctaveLine);
  EXPECT_EQ(n[1]->Key, 84);
  // Outer notes whose span takes in the shifted ones too.
  d.Pick({n[0], n[3]});
  EXPECT_EQ(Command(d.score, OctaveUp), 0);
  EXPECT_EQ(d.score.LastError, kErrUnderOctaveLine);
  EXPECT_EQ(n[0]->Key, 72);
  EXPECT_EQ(n[2]->Key, 84);
  EXPECT_EQ(d.All<COctaveLine>().size(), 1u);
}

TEST(Octave, DownTakesChordPartnersAndGoesBelowTheStave) {
  Doc d;
  auto n = d.Notes(1, 0, {3, 3}, 16);
  CNote* partner = AddChordNote(d.score, n[0], n[0]->Left, d.Y(1, 8));
  ASSERT_NE(partner, nullptr);
  d.score.UpdateDerived();
  const int partnerKey = partner->Key, key = n[0]->Key;
  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, OctaveDown), 1);
  EXPECT_EQ(n[0]->Key, key - 12);
  EXPECT_EQ(partner->Key, partnerKey - 12);
  EXPECT_EQ(n[1]->Key, key);
  auto lines = d.All<COctaveLine>();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->Value, 1);
  EXPECT_GE(lines[0]->Top, d.Stave(1)->Top + 32);
}

TEST(Octave, OutOfRangeIsRefusedWithoutALine) {
  Doc d;
  auto n = d.Notes(0, 0, {3});
  n[0]->Style &= ~NTS_UPDATE_KEY;
  n[0]->Key = 120;
  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, OctaveUp), 0);
  EXPECT_EQ(d.score.LastError, kErrOctaveRange);
  EXPECT_EQ(n[0]->Key, 120);
  EXPECT_TRUE(d.All<COctaveLine>().empty());
  d.Pick({});
  EXPECT_EQ(Command(d.score, OctaveDown), 0);
  EXPECT_EQ(d.score.LastError, kErrNoNote);
}

// --- beams ---------------------------------------------------------------------------

std::vector<CBeam*> BeamsOf(Doc& d) { return d.All<CBeam>(); }

TEST(BreakBeam, SplitsTheGroupBeforeTheNoteAndRestoresLoneFlags) {
  Doc d;
  auto n = d.Notes(0, 0, {4, 4, 4, 4}, 20);
  d.Pick({n[0], n[1], n[2], n[3]});
  ASSERT_EQ(BeamSelection(d.score), 1);
  d.score.UpdateDerived();
  ASSERT_EQ(BeamsOf(d).size(), 1u);

  d.Pick({n[0]});  // the first stem breaks nothing
  EXPECT_EQ(Command(d.score, BreakBeam), 0);
  EXPECT_EQ(d.score.LastError, kErrNotInBeam);
  EXPECT_EQ(BeamsOf(d).size(), 1u);

  d.Pick({n[2]});
  EXPECT_EQ(Command(d.score, BreakBeam), 1);
  auto beams = BeamsOf(d);
  ASSERT_EQ(beams.size(), 2u);
  std::sort(beams.begin(), beams.end(), [](CBeam* a, CBeam* b) { return a->X < b->X; });
  EXPECT_LT(beams[0]->X1, n[2]->Left);  // ends at the second stem
  EXPECT_GT(beams[1]->X, n[1]->Right);  // starts at the third

  d.Pick({n[1]});
  EXPECT_EQ(Command(d.score, BreakBeam), 1);
  ASSERT_EQ(BeamsOf(d).size(), 1u);
  for (CNote* lone : {n[0], n[1]}) {
    EXPECT_EQ(lone->Head, 4);  // its own flag again
    EXPECT_EQ(std::abs(lone->Stem), 28);
  }
}

TEST(NoteDurations, ABeamedNoteMadeAQuarterLeavesTheBeamAndTheRestAreBeamedAgain) {
  Doc d;
  auto n = d.Notes(0, 0, {4, 4, 4, 4}, 20);
  d.Pick({n[0], n[1], n[2], n[3]});
  ASSERT_EQ(BeamSelection(d.score), 1);
  d.score.UpdateDerived();
  ASSERT_EQ(BeamsOf(d).size(), 1u);

  d.Pick({n[1]});
  ASSERT_EQ(SetNoteDuration(d.score, 3), 1);
  d.score.UpdateDerived();
  EXPECT_TRUE(CheckStructure(d.score));
  // The quarter and the first eighth stand alone with their own stems; the
  // last two eighths share one new beam.
  EXPECT_EQ(n[1]->Head, 3);
  EXPECT_EQ(n[1]->Tail, 0);
  EXPECT_EQ(n[0]->Head, 4);
  auto beams = BeamsOf(d);
  ASSERT_EQ(beams.size(), 1u);
  EXPECT_GT(std::min(beams[0]->X, beams[0]->X1), n[1]->Right);

  // A sixteenth inside a group gets its second beam.
  d.Pick({n[3]});
  ASSERT_EQ(SetNoteDuration(d.score, 5), 1);
  d.score.UpdateDerived();
  EXPECT_GE(BeamsOf(d).size(), 2u);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(DottedJoin, InsideABeamTheBeamsFollowTheNotesThatStay) {
  Doc d;
  auto n = d.Notes(0, 0, {4, 5, 5, 4}, 20);
  d.Pick({n[0], n[1], n[2], n[3]});
  ASSERT_EQ(BeamSelection(d.score), 1);
  d.score.UpdateDerived();
  d.Pick({n[0], n[1]});
  ASSERT_EQ(Command(d.score, JoinIntoDottedNote), 1);
  // Every beam starts on the stem of a note that is still there (an up stem
  // stands 4 units right of its note's x, a down stem 4 left); the sixteenth's second beam is now
  // a hook on the remaining sixteenth.
  ASSERT_FALSE(BeamsOf(d).empty());
  const std::vector<CNote*> notes = d.All<CNote>();
  for (CBeam* b : BeamsOf(d)) {
    const bool onAStem =
        std::any_of(notes.begin(), notes.end(), [&](CNote* m) { return b->X == m->X + (m->Stem < 0 ? 4 : -4); });
    EXPECT_TRUE(onAStem) << "a beam starting at " << b->X << " stands on no stem";
  }
}

TEST(BeamHooks, TurnLeftAndRightAboutTheStem) {
  Doc d;
  auto n = d.Notes(0, 0, {4, 5}, 20);
  n[0]->Style |= NTS_DOTTED;
  d.score.UpdateDerived();
  ASSERT_EQ(n[1]->Start, 180);
  d.Pick({n[0], n[1]});
  ASSERT_EQ(BeamSelection(d.score), 1);
  CBeam* hook = nullptr;
  for (CBeam* b : BeamsOf(d))
    if (std::abs(b->X1 - b->X) == 8) hook = b;
  ASSERT_NE(hook, nullptr);
  ASSERT_LT(hook->X1, hook->X);  // the sixteenth's hook points to the dotted eighth
  const int x = hook->X, y = hook->Y, dy = hook->Y1 - hook->Y;

  d.Pick({n[1]});
  EXPECT_EQ(Command(d.score, FlagRight), 1);
  EXPECT_EQ(hook->X1, x + 8);
  EXPECT_EQ(hook->Y1, y - dy);  // mirrored: the same slope
  EXPECT_EQ(hook->X, x);
  EXPECT_EQ(Command(d.score, FlagRight), 0);
  EXPECT_EQ(Command(d.score, FlagLeft), 1);
  EXPECT_EQ(hook->X1, x - 8);

  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, FlagLeft), 0);
  EXPECT_EQ(d.score.LastError, kErrNoHook);
}

// --- arpeggio ------------------------------------------------------------------------

TEST(Arpeggio, RollsAChordFromTheLowestNoteOnce) {
  Doc d;
  auto n = d.Notes(0, 0, {3}, 24);
  CNote* mid = AddChordNote(d.score, n[0], n[0]->Left, d.Y(0, 16));
  CNote* top = AddChordNote(d.score, n[0], n[0]->Left, d.Y(0, 8));
  d.score.UpdateDerived();
  d.Pick({mid});  // one note brings its chord
  EXPECT_EQ(Command(d.score, MakeArpeggio), 1);
  auto combos = d.All<CXCombo>();
  ASSERT_EQ(combos.size(), 1u);
  EXPECT_EQ(combos[0]->Value, 3);
  EXPECT_EQ(combos[0]->Members.size(), 3u);
  EXPECT_LT(combos[0]->Right, std::min({n[0]->Left, mid->Left, top->Left}));
  EXPECT_EQ(n[0]->PlayStart, n[0]->Start);
  EXPECT_EQ(mid->PlayStart, n[0]->Start + 16);
  EXPECT_EQ(top->PlayStart, n[0]->Start + 32);

  EXPECT_EQ(Command(d.score, MakeArpeggio), 0);  // already rolled
  EXPECT_EQ(d.All<CXCombo>().size(), 1u);
  auto single = d.Notes(0, 1, {3});
  d.Pick({single[0]});
  EXPECT_EQ(Command(d.score, MakeArpeggio), 0);
  EXPECT_EQ(d.score.LastError, kErrNoChord);
}

// --- finger slide --------------------------------------------------------------------

TEST(Slide, EachNoteStartsWhenThePreviousStopsSoundingAndThatLasts) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3, 3, 3});
  auto next = d.Notes(0, 1, {3});
  for (int i = 0; i < 3; ++i) {
    n[i]->Style &= ~NTS_UPDATE_PLAYTICKS;
    n[i]->PlayTicks = 60;
  }
  d.Pick({n[0], n[1], n[2], n[3]});
  EXPECT_EQ(Command(d.score, SlideNotes), 1);  // the recalculation keeps the result
  for (int i = 0; i < 4; ++i) EXPECT_EQ(n[i]->Start, 60 * i);
  EXPECT_EQ(n[3]->Ticks, 960 - 180);
  EXPECT_EQ(next[0]->Start, 960);  // the next measure is untouched

  d.Pick({n[0], n[2]});
  EXPECT_EQ(Command(d.score, SlideNotes), 0);
  EXPECT_EQ(d.score.LastError, kErrNotAdjacent);
  n[2]->PlayTicks = 2000;
  d.Pick({n[2], n[3]});
  EXPECT_EQ(Command(d.score, SlideNotes), 0);
  EXPECT_EQ(d.score.LastError, kErrSlideTooLong);
}

// --- breaking chords -----------------------------------------------------------------

TEST(BreakChords, IndependentNotesFromTheLowestUpWithRoomMade) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3}, 24);
  CNote* e = AddChordNote(d.score, n[0], n[0]->Left, d.Y(0, 16));
  CNote* g = AddChordNote(d.score, n[0], n[0]->Left, d.Y(0, 8));
  CMark* accent = InsertMark(d.score, g->X, g->Y, 93);
  ASSERT_EQ(accent->NoteLink, g);
  d.score.UpdateDerived();
  const int follower = n[1]->Left;
  d.Pick({e});
  EXPECT_EQ(Command(d.score, BreakChords), 1);
  for (CNote* x : {n[0], e, g}) EXPECT_EQ(x->Chord, -1);
  EXPECT_EQ(n[0]->Start, 0);  // lowest first
  EXPECT_EQ(e->Start, 240);
  EXPECT_EQ(g->Start, 480);
  EXPECT_EQ(n[1]->Start, 720);
  EXPECT_LT(n[0]->Right, e->Left + 8);
  EXPECT_LT(e->Left, g->Left);
  EXPECT_GT(n[1]->Left, follower);
  EXPECT_EQ(accent->X, g->X);  // its mark came along
  for (CNote* x : {n[0], e, g}) EXPECT_NE(x->Stem, 0);

  d.Pick({g});
  EXPECT_EQ(Command(d.score, BreakChords), 0);
  EXPECT_EQ(d.score.LastError, kErrNoChord);
}

TEST(BreakChords, AFullMeasureIsRefusedAndTheChordStays) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3, 3, 3});
  CNote* partner = AddChordNote(d.score, n[0], n[0]->Left, d.Y(0, 4));
  d.score.UpdateDerived();
  d.Pick({partner});
  EXPECT_EQ(Command(d.score, BreakChords), 0);
  EXPECT_EQ(d.score.LastError, kErrNoRoom);
  EXPECT_GE(partner->Chord, 0);
  EXPECT_EQ(partner->Chord, n[0]->Chord);
}

// --- tie groups ----------------------------------------------------------------------

TEST(Ties, SamePitchNotesThatFollowDirectlyAreChained) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3, 3});
  auto other = d.Notes(0, 0, {3}, 16);  // another pitch ends the measure
  d.Pick({n[0], n[1], n[2], other[0]});
  EXPECT_EQ(Command(d.score, TieNotes), 1);
  for (CNote* x : n) EXPECT_EQ(x->Tie, n[0]->Number);
  EXPECT_EQ(other[0]->Tie, -1);
  EXPECT_EQ(n[0]->PlayTicks, 720 - 15);  // the chain sounds as one note
  // An arc between each pair of heads, bound to the first so that it moves with it.
  auto arcs = [&] {
    std::vector<CSlurLine*> out;
    for (const auto& up : d.score.Objects())
      if (up->KindCode() == Kind::Slur) out.push_back(static_cast<CSlurLine*>(up.get()));
    return out;
  };
  ASSERT_EQ(arcs().size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    bool found = false;
    for (CSlurLine* s : arcs()) found |= s->NoteLink == n[i] && IsTieArc(*s, *n[i], *n[i + 1]);
    EXPECT_TRUE(found) << i;
  }
  d.Pick({n[0], n[1], n[2]});
  EXPECT_EQ(Command(d.score, TieNotes), 1);
  EXPECT_EQ(arcs().size(), 2u);  // tying again shows no second arc

  d.Pick({n[1]});
  EXPECT_EQ(Command(d.score, UntieNotes), 1);
  EXPECT_EQ(n[0]->Tie, -1);  // nothing left to tie it to
  EXPECT_EQ(n[1]->Tie, -1);
  EXPECT_EQ(n[2]->Tie, -1);
  EXPECT_TRUE(arcs().empty());  // the arcs go with the ties
  EXPECT_EQ(Command(d.score, UntieNotes), 0);
  EXPECT_EQ(d.score.LastError, kErrNotTied);
}

TEST(Ties, ExtendingAChainJoinsItAndGapsAreNotTied) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3, 3, 3});
  d.Pick({n[0], n[1]});
  ASSERT_EQ(Command(d.score, TieNotes), 1);
  d.Pick({n[1], n[2], n[3]});
  EXPECT_EQ(Command(d.score, TieNotes), 1);
  for (CNote* x : n) EXPECT_EQ(x->Tie, n[0]->Number);
  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, UntieNotes), 1);  // the rest of the chain stays tied
  EXPECT_EQ(n[1]->Tie, n[1]->Number);
  EXPECT_EQ(n[3]->Tie, n[1]->Number);

  Doc g;
  auto m = g.Notes(0, 0, {3, 3});
  m[1]->Style &= ~NTS_UPDATE_KEY;
  m[1]->Key = 74;
  auto last = g.Notes(0, 0, {3});
  g.Pick({m[0], last[0]});
  EXPECT_EQ(Command(g.score, TieNotes), 0);
  EXPECT_EQ(g.score.LastError, kErrNoTiePair);
}

// --- binding marks -------------------------------------------------------------------

TEST(BindMarks, AMarkBindsToTheNearestNoteAndIsDeletedWithIt) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 3});
  d.At(0, 0);
  CMark* fermata = InsertMark(d.score, n[1]->X + 3, n[1]->Top - 12, 48);
  ASSERT_EQ(fermata->NoteLink, nullptr);
  d.Pick({fermata});
  EXPECT_EQ(Command(d.score, BindMarks), 1);
  EXPECT_EQ(fermata->NoteLink, n[1]);
  EXPECT_EQ(fermata->Note, n[1]->Number);
  EXPECT_EQ(Command(d.score, BindMarks), 0);  // already bound

  EXPECT_EQ(Command(d.score, UnbindMarks), 1);
  EXPECT_EQ(fermata->Note, -1);
  EXPECT_EQ(Command(d.score, UnbindMarks), 0);
  EXPECT_EQ(d.score.LastError, kErrNotBound);

  // A selected note is the only candidate; once bound, deleting the note takes the mark.
  d.Pick({fermata, n[0]});
  EXPECT_EQ(Command(d.score, BindMarks), 0);  // n[0] is too far away
  EXPECT_EQ(d.score.LastError, kErrNoMarkTarget);
  d.Pick({fermata});
  ASSERT_EQ(Command(d.score, BindMarks), 1);
  d.Pick({n[1]});
  DeleteSelection(d.score);
  EXPECT_FALSE(d.Alive(fermata));
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(BindMarks, ABoundDotDotsItsNote) {
  Doc d;
  auto n = d.Notes(0, 0, {3});
  d.At(0, 0);
  CMark* dot = InsertMark(d.score, n[0]->Right + 6, n[0]->Y - 20, 16);
  ASSERT_EQ(dot->NoteLink, nullptr);
  dot->X = n[0]->Right + 6;
  dot->Y = n[0]->Y;
  d.Pick({dot});
  EXPECT_EQ(Command(d.score, BindMarks), 1);
  EXPECT_EQ(n[0]->Ticks, 360);
  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, BindMarks), 0);
  EXPECT_EQ(d.score.LastError, kErrNoMark);
}

// --- merging a rest into the preceding note -------------------------------------------

int VoiceTotal(Doc& d, size_t stave, size_t measure) {
  int total = 0;
  for (CStaveObject* o : d.Stave(stave)->Attached)
    if (auto* n = As<CNote>(o); n && n->OwnerMeasure == d.Measure(measure) && n->Chord < 0) total += n->Ticks;
  return total;
}

TEST(MergeRest, TheNoteGrowsByTheRestAndTheMeasureKeepsItsTicks) {
  Doc d;
  auto n = d.Notes(0, 0, {3});
  CRest* r1 = d.AddRest(0, 0, 4);
  CRest* r2 = d.AddRest(0, 0, 4);
  auto tail = d.Notes(0, 0, {2});
  ASSERT_EQ(VoiceTotal(d, 0, 0), 960);
  d.Pick({r1});
  EXPECT_EQ(Command(d.score, MergeRestIntoNote), 1);
  EXPECT_FALSE(d.Alive(r1));
  EXPECT_EQ(n[0]->DurationCode(), 3);
  EXPECT_EQ(n[0]->Style & NTS_DOTTED, NTS_DOTTED);  // quarter + eighth: a dotted quarter
  EXPECT_EQ(d.DotsOf(n[0]).size(), 1u);
  EXPECT_EQ(VoiceTotal(d, 0, 0), 960);
  EXPECT_EQ(tail[0]->Start, 480);

  d.Pick({r2});
  EXPECT_EQ(Command(d.score, MergeRestIntoNote), 1);
  EXPECT_EQ(n[0]->DurationCode(), 2);  // a half, the dot gone
  EXPECT_EQ(n[0]->Style & NTS_DOTTED, 0);
  EXPECT_TRUE(d.DotsOf(n[0]).empty());
  EXPECT_EQ(n[0]->Ticks, 480);
  EXPECT_EQ(tail[0]->Start, 480);
}

TEST(MergeRest, AnUnwritableSumIsLockedAndRestsWithoutANoteAreRefused) {
  Doc d;
  CRest* lead = d.AddRest(0, 0, 3);
  auto n = d.Notes(0, 0, {3});
  CRest* r = d.AddRest(0, 0, 3);
  r->Style |= NTS_DOTTED | NTS_UPDATE_TICKS;  // 360: 240 + 360 is no single value
  d.score.UpdateDerived();
  d.Pick({lead});
  EXPECT_EQ(Command(d.score, MergeRestIntoNote), 0);
  EXPECT_EQ(d.score.LastError, kErrNoNoteBeforeRest);
  d.Pick({r});
  EXPECT_EQ(Command(d.score, MergeRestIntoNote), 1);
  EXPECT_EQ(n[0]->Ticks, 600);
  EXPECT_EQ(n[0]->Style & NTS_UPDATE_TICKS, 0);
  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, MergeRestIntoNote), 0);
  EXPECT_EQ(d.score.LastError, kErrNoRest);
}

// --- joining into a dotted note ------------------------------------------------------

TEST(DottedJoin, QuarterAndEighthBecomeADottedQuarterButTwoEighthsDoNot) {
  Doc d;
  auto n = d.Notes(0, 0, {3, 4, 4, 4});
  d.Pick({n[2], n[3]});
  EXPECT_EQ(Command(d.score, JoinIntoDottedNote), 0);
  EXPECT_EQ(d.score.LastError, kErrNoDottedPair);
  EXPECT_TRUE(d.Alive(n[3]));

  d.Pick({n[0], n[1]});
  EXPECT_EQ(Command(d.score, JoinIntoDottedNote), 1);
  EXPECT_FALSE(d.Alive(n[1]));
  EXPECT_EQ(n[0]->DurationCode(), 3);
  EXPECT_EQ(n[0]->Ticks, 360);
  EXPECT_EQ(d.DotsOf(n[0]).size(), 1u);
  EXPECT_EQ(n[2]->Start, 360);  // the measure keeps its time
}

TEST(DottedJoin, EighthThenQuarterAndDoubleDotsButNeverTwoPitches) {
  Doc d;
  auto n = d.Notes(0, 0, {4, 3});
  auto m = d.Notes(0, 1, {3, 5});
  m[0]->Style |= NTS_DOTTED;
  d.score.UpdateDerived();
  d.Pick({n[0], n[1], m[0], m[1]});
  EXPECT_EQ(Command(d.score, JoinIntoDottedNote), 1);
  EXPECT_EQ(n[0]->DurationCode(), 3);
  EXPECT_EQ(n[0]->Ticks, 360);
  EXPECT_EQ(m[0]->Style & NTS_DOUBLE_DOTTED, NTS_DOUBLE_DOTTED);
  EXPECT_EQ(m[0]->Ticks, 420);

  Doc g;
  auto p = g.Notes(0, 0, {3});
  auto q = g.Notes(0, 0, {4}, 16);
  g.Pick({p[0], q[0]});
  EXPECT_EQ(Command(g.score, JoinIntoDottedNote), 0);
  EXPECT_TRUE(g.Alive(q[0]));
}

// --- spacing -------------------------------------------------------------------------

TEST(Spacing, ByTimePutsEveryNoteAtItsStartsX) {
  Doc d;
  auto n = d.Notes(0, 1, {4, 4, 2});
  CMark* staccato = InsertMark(d.score, n[1]->X, n[1]->Y, 90);
  ASSERT_EQ(staccato->NoteLink, n[1]);
  for (int i = 0; i < 3; ++i) editing::Shift(n[i], -3 * i, 0);  // crowded, still in order
  d.score.UpdateDerived();
  const int markOffset = staccato->X - n[1]->X;
  d.Pick({n[0]});
  EXPECT_EQ(Command(d.score, SpaceNotesByTime), 1);
  for (CNote* x : n) EXPECT_EQ(x->Left, TickToX(*d.Measure(1), x->Start));
  EXPECT_EQ(staccato->X - n[1]->X, markOffset);
  EXPECT_EQ(Command(d.score, SpaceNotesByTime), 0);
}

TEST(Spacing, CrowdedNotesMoveApartInOrderOrAreRefused) {
  Doc d;
  auto n = d.Notes(0, 2, {3, 3, 3});
  const int first = n[0]->Left;
  editing::Shift(n[1], first + 6 - n[1]->Left, 0);
  editing::Shift(n[2], first + 12 - n[2]->Left, 0);
  d.score.UpdateDerived();
  d.Pick({n[1]});
  EXPECT_EQ(Command(d.score, SpreadCrowdedNotes), 1);
  EXPECT_EQ(n[0]->Left, first);
  EXPECT_GE(n[1]->Left, n[0]->Right + 4);
  EXPECT_GE(n[2]->Left, n[1]->Right + 4);
  EXPECT_EQ(n[2]->Start, n[0]->Start + 480);
  EXPECT_EQ(Command(d.score, SpreadCrowdedNotes), 0);

  SmallScore t(1, 20);  // measures 26 units wide
  std::vector<CNote*> crowd;
  for (int i = 0; i < 3; ++i) crowd.push_back(t.Note(0, 0, t.Measure(0)->Left + 4 + i, 16, 5));
  t.Update();
  crowd[0]->Selected = 1;
  t.score.SelectedCount = 1;
  const int left2 = crowd[2]->Left;
  EXPECT_EQ(Command(t.score, SpreadCrowdedNotes), 0);
  EXPECT_EQ(t.score.LastError, kErrMeasureTooNarrow);
  EXPECT_EQ(crowd[2]->Left, left2);
}


// --- every command on random selections ---------------------------------------------

// A piano page filled by the editing operations: random values and rests,
// chords, beams by beat, bound and free marks.
void FillRandomly(Doc& d, std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  static constexpr int kCodes[] = {2, 3, 3, 4, 4, 4, 5, 5};
  for (size_t stave = 0; stave < 2; ++stave)
    for (size_t measure = 0; measure < 3; ++measure) {
      d.At(stave, measure);
      for (int i = 0; i < 12; ++i) {
        const int code = kCodes[pick(0, 7)];
        const int y = d.Y(stave, 4 * pick(-2, 10));
        if (pick(0, 4) == 0) {
          InsertRest(d.score, d.End(measure), d.Y(stave, 16), code);
        } else if (CNote* n = InsertNote(d.score, d.End(measure), y, code); n && pick(0, 3) == 0) {
          AddChordNote(d.score, n, n->Left, y - 4 * pick(1, 4));
        }
      }
    }
  d.score.UpdateDerived();
  for (CNote* n : d.All<CNote>()) d.Select(n);
  BeamByBeat(d.score);
  for (CNote* n : d.All<CNote>()) {
    if (pick(0, 5) == 0) InsertMark(d.score, n->X, n->Y, pick(0, 1) ? 90 : 93);
    if (pick(0, 8) == 0) InsertMark(d.score, n->X + 2, n->Top - 14, 48);  // free, above the note
  }
  d.Pick({});
  d.score.UpdateDerived();
}

// A refusal leaves the saved score byte for byte as it was, and on a sound
// score the structure holds after every command. Scores of random field
// values (dangling numbers, odd codes) must not upset the commands either.
TEST(NoteCommandsAtRandom, RefusalsChangeNothingAndTheStructureHolds) {
  using CommandFn = int (*)(CScore&);
  const CommandFn commands[] = {
      [](CScore& s) { return SetNoteDuration(s, 4); }, [](CScore& s) { return ToggleNoteDots(s, 1); },
      DivideBeat, OctaveUp, OctaveDown, BreakBeam, FlagLeft, FlagRight, MakeArpeggio, SlideNotes, BreakChords,
      TieNotes, UntieNotes, BindMarks, UnbindMarks, MergeRestIntoNote, SpaceNotesByTime, SpreadCrowdedNotes,
      JoinIntoDottedNote};
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    Doc d;
    CScore& score = d.score;
    std::mt19937 rng(seed);
    const bool sound = seed % 2 == 1;
    if (sound) {
      FillRandomly(d, rng);
      ASSERT_TRUE(CheckStructure(score)) << "filled, seed " << seed;
    } else {
      score.Clear();
      GenerateRandomScore(score, seed, 150);
      score.RelinkObjects();
      score.AfterLoad();
    }
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    int worked = 0, refused = 0;
    // Random scores carry very long texts: fewer, costlier snapshots.
    const int steps = sound ? 150 : 30;
    for (int step = 0; step < steps; ++step) {
      // A run of neighbouring objects of one stave, as a user selects them.
      for (const auto& up : score.Objects()) up->Selected = 0;
      std::vector<CXObject*> pool;
      if (sound) {
        std::vector<CStave*> staves;
        for (const auto& up : score.Objects())
          if (auto* s = As<CStave>(up.get()); s && !s->Attached.empty()) staves.push_back(s);
        CStave* stave = staves[pick(staves.size())];
        pool.assign(stave->Attached.begin(), stave->Attached.end());
      } else {
        for (const auto& up : score.Objects()) pool.push_back(up.get());
      }
      const size_t from = pick(pool.size());
      const size_t count = 1 + pick(6);
      for (size_t i = from; i < std::min(pool.size(), from + count); ++i) pool[i]->Selected = 1;
      score.RecountSelection();

      const std::vector<uint8_t> before = score.SnapshotToBytes();
      const size_t c = pick(std::size(commands));
      const int result = commands[c](score);
      if (result == 0 && !score.LastError.empty()) {
        ++refused;
        ASSERT_EQ(score.LastError.rfind("-1:", 0), 0u);
        ASSERT_TRUE(score.SnapshotToBytes() == before) << "command " << c << " changed the score on refusal";
      }
      worked += result != 0;
      score.UpdateDerived();
      if (sound) {
        ASSERT_TRUE(CheckStructure(score)) << "seed " << seed << " step " << step << " command " << c;
      }
    }
    EXPECT_GT(refused, 0) << seed;
    if (sound) {
      EXPECT_GT(worked, 10) << seed;
    }
  }
}

}  // namespace
