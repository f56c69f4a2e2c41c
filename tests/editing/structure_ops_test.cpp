// Systems, staves and measures: the new document, inserting them at a
// point, keeping systems apart, breaking and merging systems.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "edit_fixture.h"
#include "editing/command_table.h"
#include "editing/note_ops.h"
#include "editing/selection.h"

namespace {

// Four quarter notes in every measure of both staves, at varied heights.
void FillWithQuarters(NewDocument& d, size_t system = 0) {
  for (size_t s = 0; s < 2; ++s)
    for (size_t m = 0; m < d.System(system)->Measures.size(); ++m) {
      d.At(s, m, system);
      for (int i = 0; i < 4; ++i)
        ASSERT_NE(InsertNote(d.score, d.End(m, system), d.Y(s, 4 * ((i + int(m)) % 7), system), 3), nullptr);
    }
}

struct Sounding {
  int32_t start;
  uint8_t key;
  bool operator==(const Sounding&) const = default;
};
std::map<int32_t, Sounding> Sound(CScore& score) {
  score.UpdateDerived();
  std::map<int32_t, Sounding> out;
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get())) out[n->Number] = {n->Start, n->Key};
  return out;
}

std::vector<CSign*> SignsOf(CStave* stave, CMeasure* measure) {
  std::vector<CSign*> out;
  for (CStaveObject* o : stave->Attached)
    if (o->GetKind() == Kind::Sign && o->OwnerMeasure == measure) out.push_back(static_cast<CSign*>(o));
  return out;
}

// --- the new document -----------------------------------------------------------------------

TEST(NewDocumentTest, OnePianoSystemWithThreeMeasuresClefsAndTime) {
  NewDocument d;
  ASSERT_EQ(d.score.Staffs.size(), 1u);
  EXPECT_EQ(d.score.Layers.size(), 8u);
  EXPECT_EQ(d.score.Fonts.size(), 8u);
  CStaff* system = d.System();
  EXPECT_EQ(system->GetBounds(), (Rect{52, 52, 580, 184}));
  ASSERT_EQ(system->Staves.size(), 2u);
  EXPECT_EQ(d.Stave(0)->GetBounds(), (Rect{52, 52, 580, 84}));
  EXPECT_EQ(d.Stave(1)->GetBounds(), (Rect{52, 152, 580, 184}));
  EXPECT_EQ(d.Stave(1)->Voice, 0);
  ASSERT_EQ(system->Measures.size(), 3u);
  // Bar lines every 162 units after a first measure 40 wider; the last at the right edge.
  EXPECT_EQ(d.Measure(0)->Left, 52);
  EXPECT_EQ(d.Measure(0)->Right, 254);
  EXPECT_EQ(d.Measure(1)->Right - d.Measure(1)->Left, 162);
  EXPECT_EQ(d.Measure(2)->Right, 580);
  for (CMeasure* m : system->Measures) {
    EXPECT_EQ(m->Ticks, 960);
    EXPECT_EQ(m->Numerator, 4);
    EXPECT_GT(m->UnitsPerTick, 0.0);
  }
  EXPECT_EQ(d.Measure(0)->LeftPadding, 4 + 40 + 24);
  EXPECT_EQ(d.Measure(1)->LeftPadding, 4);
  for (size_t s = 0; s < 2; ++s) {
    auto signs = SignsOf(d.Stave(s), d.Measure(0));
    ASSERT_EQ(signs.size(), 2u) << s;
    EXPECT_EQ(signs[0]->Style, SIGN_CLEF);
    EXPECT_EQ(signs[0]->Value, int(s));
    EXPECT_EQ(signs[1]->Style, SIGN_TIME);
    EXPECT_EQ(signs[1]->Value, 0x0404);
    EXPECT_TRUE(SignsOf(d.Stave(s), d.Measure(1)).empty());
  }
  auto braces = d.All<CBracket>();
  ASSERT_EQ(braces.size(), 1u);
  EXPECT_EQ(braces[0]->GetBounds(), (Rect{40, 52, 50, 184}));
  EXPECT_EQ(braces[0]->OwnerStave, d.Stave(0));
  EXPECT_EQ(d.score.CurrentStave, d.Stave(1));
  EXPECT_EQ(d.score.CurrentMeasure, d.Measure(0));
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

// --- systems --------------------------------------------------------------------------------------

TEST(InsertSystems, APianoSystemBelowOrAboveTheOthers) {
  NewDocument d;
  d.At(0, 0);
  CNote* n = InsertNote(d.score, d.End(0), d.Y(0, 8), 3);
  ASSERT_NE(n, nullptr);
  CStaff* below = InsertPianoSystem(d.score, 100, 300);
  ASSERT_NE(below, nullptr);
  EXPECT_EQ(below->Top, 184 + 68 + 40);
  EXPECT_EQ(d.score.Staffs.back(), below);
  EXPECT_EQ(d.score.CurrentStave, below->Staves[1]);
  for (CStave* s : below->Staves) {
    auto signs = SignsOf(s, below->Measures[0]);
    ASSERT_EQ(signs.size(), 1u);  // only the first system gets a time signature
    EXPECT_EQ(signs[0]->Style, SIGN_CLEF);
  }
  CStaff* first = d.System(0);
  CStaff* above = InsertPianoSystem(d.score, 100, 20);
  ASSERT_NE(above, nullptr);
  EXPECT_EQ(above->Top, 52);
  EXPECT_EQ(d.score.Staffs.front(), above);
  EXPECT_EQ(first->Top, 52 + 240);
  EXPECT_EQ(below->Top, 292 + 240);
  EXPECT_EQ(n->Top, d.Stave(0, 1)->Top + 8 - 6);  // the note moved with its stave
  d.score.UpdateDerived();
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

TEST(InsertSystems, StandardSystemsAndPushingApart) {
  NewDocument d;
  CStaff* under = InsertStandardSystem(d.score, 100, 300);
  ASSERT_NE(under, nullptr);
  EXPECT_EQ(under->Top, 184 + 40 + 68);
  ASSERT_EQ(under->Staves.size(), 1u);
  EXPECT_EQ(under->Staves[0]->GetBounds(), (Rect{52, 292, 580, 324}));
  ASSERT_EQ(under->Measures.size(), 1u);
  EXPECT_EQ(under->Measures[0]->GetBounds().Width(), 528);
  EXPECT_TRUE(SignsOf(under->Staves[0], under->Measures[0]).empty());

  CStaff* top = InsertStandardSystem(d.score, 100, 10);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->Top, 52);
  CStaff* piano = d.score.Staffs[0];
  EXPECT_EQ(piano->Top, 52 + 140);

  // Made below the piano system, the new one lands on `under`: they are pushed apart.
  CStaff* squeezed = InsertStandardSystem(d.score, 100, piano->Top + 40);
  ASSERT_NE(squeezed, nullptr);
  d.score.UpdateDerived();
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
  for (size_t i = 1; i < d.score.Staffs.size(); ++i)
    EXPECT_GE(d.score.Staffs[i]->Top - d.score.Staffs[i - 1]->Bottom, d.score.SystemSpace) << i;
}

TEST(InsertSystems, JournalFormStaffAndSeparation) {
  NewDocument d;
  CStaff* far = InsertStaff(d.score, 0, 600);
  ASSERT_NE(far, nullptr);
  EXPECT_EQ(far->GetBounds(), (Rect{52, 600, 580, 732}));
  ASSERT_EQ(far->Staves.size(), 2u);
  EXPECT_EQ(far->Staves[1]->Top, 700);
  ASSERT_EQ(far->Measures.size(), 1u);
  EXPECT_EQ(far->Measures[0]->Right, 581);  // the journal's bar line, one unit past the edge
  EXPECT_EQ(d.System(0)->Top, 52);  // far enough: nothing moved

  CStaff* close = InsertStaff(d.score, 0, 150);
  ASSERT_NE(close, nullptr);
  d.score.UpdateDerived();
  const int gap = d.score.SystemSpace + d.score.StaveSpace;
  for (size_t i = 1; i < d.score.Staffs.size(); ++i)
    EXPECT_GE(d.score.Staffs[i]->Top - d.score.Staffs[i - 1]->Bottom, gap) << i;
  EXPECT_EQ(d.All<CBracket>().size(), 3u);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(InsertSystems, SeparateSystemsMovesTheLowerOneAndEverythingBelow) {
  NewDocument d;
  CStaff* second = InsertPianoSystem(d.score, 0, 1000);
  CStaff* third = InsertPianoSystem(d.score, 0, 2000);
  second->MoveTo(second->Left, 200);  // overlaps the first
  const int thirdTop = third->Top;
  SeparateSystems(d.score, d.System(0));
  const int gap = d.score.SystemSpace + d.score.StaveSpace;
  EXPECT_EQ(second->Top, d.System(0)->Bottom + gap);
  EXPECT_EQ(third->Top, thirdTop + second->Top - 200);
  SeparateSystems(d.score, nullptr);
}

// --- staves -----------------------------------------------------------------------------------------

TEST(AddStaveTest, MakesRoomBelowTheStaveAndMovesTheSystemsBelow) {
  NewDocument d;
  d.At(1, 0);
  CNote* low = InsertNote(d.score, d.End(0), d.Y(1, 16), 3);
  ASSERT_NE(low, nullptr);
  ASSERT_EQ(AddStave(d.score, 300, d.Y(0, 16)), 1);
  ASSERT_EQ(d.System()->Staves.size(), 3u);
  CStave* added = d.Stave(1);
  EXPECT_EQ(added->GetBounds(), (Rect{52, 84 + 68, 580, 84 + 68 + 32}));
  EXPECT_EQ(d.Stave(2)->Top, 152 + 100);
  EXPECT_EQ(low->Y, 152 + 100 + 16);
  EXPECT_EQ(d.System()->Bottom, 184 + 100);
  auto signs = SignsOf(added, d.Measure(0));
  ASSERT_EQ(signs.size(), 2u);  // the only system: clef and time signature
  EXPECT_EQ(signs[0]->Value, 0);
  EXPECT_EQ(signs[1]->Value, 0x0404);
  EXPECT_EQ(d.All<CBracket>()[0]->Bottom, d.Stave(2)->Bottom);  // the brace still joins top and bottom

  CStaff* second = InsertPianoSystem(d.score, 0, 1000);
  const int secondTop = second->Top;
  ASSERT_EQ(AddStave(d.score, 300, d.Y(2, 16)), 1);
  EXPECT_EQ(second->Top, secondTop + 100);
  EXPECT_EQ(SignsOf(d.Stave(3), d.Measure(0)).size(), 1u);  // two systems: no time signature
  d.score.UpdateDerived();
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

TEST(AddStaveTest, AnEmptyScoreGetsAStandardSystem) {
  CScore score;
  score.ResetDefaultTables();
  ASSERT_EQ(AddStave(score, 100, 100), 1);
  ASSERT_EQ(score.Staffs.size(), 1u);
  EXPECT_EQ(score.Staffs[0]->Top, score.TopMargin);
  EXPECT_EQ(score.Staffs[0]->Staves.size(), 1u);
  EXPECT_TRUE(CheckStructure(score));
}

// --- measures --------------------------------------------------------------------------------------

TEST(InsertMeasures, AfterAMeasureShiftsTheLaterOnesWithTheirObjects) {
  NewDocument d;
  FillWithQuarters(d);
  d.At(0, 2);
  CXText* text = InsertText(d.score, d.Measure(2)->Left + 10, 20, 68);
  ASSERT_NE(text, nullptr);
  CNote* inFirst = d.On<CNote>(d.Stave(0), d.Measure(0)).at(0);
  CNote* inSecond = d.On<CNote>(d.Stave(1), d.Measure(1)).at(0);
  const int firstLeft = inFirst->Left, secondLeft = inSecond->Left, textLeft = text->Left;
  auto before = Sound(d.score);

  EXPECT_EQ(InsertMeasureAfter(d.score, 10, 10), 0);
  ASSERT_EQ(InsertMeasureAfter(d.score, 100, 60), 1);
  ASSERT_EQ(d.System()->Measures.size(), 4u);
  CMeasure* added = d.Measure(1);
  EXPECT_EQ(added->Left, 254);
  EXPECT_EQ(added->Right, 254 + 202);
  EXPECT_EQ(added->Ticks, 960);
  EXPECT_GT(added->UnitsPerTick, 0.0);
  EXPECT_EQ(d.System()->Right, 580 + 202);
  EXPECT_EQ(d.Stave(1)->Right, 580 + 202);
  EXPECT_EQ(inFirst->Left, firstLeft);
  EXPECT_EQ(inSecond->Left, secondLeft + 202);
  EXPECT_EQ(text->Left, textLeft + 202);
  // The later notes now start one measure later.
  auto after = Sound(d.score);
  EXPECT_EQ(after[inFirst->Number].start, before[inFirst->Number].start);
  EXPECT_EQ(after[inSecond->Number].start, before[inSecond->Number].start + 960);
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

TEST(InsertMeasures, JournalFormKeepsBarLineOrder) {
  NewDocument d;
  CMeasure* m = InsertMeasure(d.score, d.System(), 300);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(d.Measure(1), m);
  d.score.UpdateDerived();
  EXPECT_EQ(d.Measure(1)->GetBounds().Left, 254);
  EXPECT_EQ(d.Measure(1)->Right, 300);
  EXPECT_EQ(d.Measure(2)->Left, 300);
  EXPECT_EQ(InsertMeasure(d.score, nullptr, 300), nullptr);
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
}

// --- breaking and merging --------------------------------------------------------------------------

TEST(BreakAndMerge, BreakMovesLaterMeasuresToANewSystemKeepingTimeAndPitch) {
  NewDocument d;
  for (size_t s = 0; s < 2; ++s) ASSERT_NE(InsertKeySignature(d.score, d.Stave(s), d.Measure(0), 257), nullptr);
  CStaff* last = InsertPianoSystem(d.score, 0, 1000);
  d.score.AfterLoad();
  FillWithQuarters(d);
  d.At(0, 2);
  CMark* staccato = InsertMark(d.score, d.On<CNote>(d.Stave(0), d.Measure(2))[1]->X,
                               d.On<CNote>(d.Stave(0), d.Measure(2))[1]->Y, 90);
  ASSERT_NE(staccato->NoteLink, nullptr);
  const auto before = Sound(d.score);
  const int lastTop = last->Top;
  const int32_t upper = d.score.UpperNumber;

  EXPECT_EQ(BreakSystem(d.score, d.Stave(0), d.Measure(0), d.Measure(0)->Left + 5), 0);  // before the first
  EXPECT_EQ(BreakSystem(d.score, d.Stave(0), d.Measure(2), d.Measure(2)->Right - 5), 0);  // after the last
  EXPECT_EQ(d.score.UpperNumber, upper);
  EXPECT_EQ(BreakSystem(d.score, nullptr, nullptr, 100), 0);

  ASSERT_EQ(BreakSystem(d.score, d.Stave(0), d.Measure(1), d.Measure(1)->Left + 10), 1);
  ASSERT_EQ(d.score.Staffs.size(), 3u);
  CStaff* top = d.System(0);
  CStaff* added = d.System(1);
  EXPECT_EQ(top->Measures.size(), 1u);
  ASSERT_EQ(added->Measures.size(), 2u);
  ASSERT_EQ(added->Staves.size(), 2u);
  EXPECT_EQ(added->Top, top->Bottom + d.score.SystemSpace + d.score.StaveSpace);
  EXPECT_EQ(added->Bottom - added->Top, top->Bottom - top->Top);
  EXPECT_EQ(last->Top, lastTop + (added->Bottom - added->Top) + d.score.SystemSpace + d.score.StaveSpace);
  EXPECT_EQ(added->Left, 52);
  EXPECT_EQ(added->Right, 580);
  // Each new stave opens with the clef and key in force.
  for (size_t s = 0; s < 2; ++s) {
    auto signs = SignsOf(added->Staves[s], added->Measures[0]);
    ASSERT_EQ(signs.size(), 2u) << s;
    EXPECT_EQ(signs[0]->Style, SIGN_CLEF);
    EXPECT_EQ(signs[0]->Value, int(s));
    EXPECT_EQ(signs[1]->Style, SIGN_KEY);
    EXPECT_EQ(signs[1]->Value, 258);
  }
  EXPECT_EQ(d.All<CBracket>().size(), 3u);
  d.score.AfterLoad();
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
  EXPECT_EQ(Sound(d.score), before);
  EXPECT_EQ(staccato->OwnerStave, added->Staves[0]);
  EXPECT_EQ(std::abs(staccato->X - staccato->NoteLink->Left) < 40, true);
  // Every note still lies inside its measure, and the staves keep their order.
  for (CNote* n : d.All<CNote>()) {
    EXPECT_GE(n->Left, n->OwnerMeasure->Left + n->OwnerMeasure->LeftPadding - 1) << n->Number;
    EXPECT_LT(n->Left, n->OwnerMeasure->Right) << n->Number;
  }

  // Merging the two back gives one system whose sound is the same, and the last system returns.
  CMeasure* opening = added->Measures[0];
  top->Selected = added->Selected = 1;
  d.score.SelectedCount = 2;
  ASSERT_EQ(MergeSystems(d.score), 1);
  ASSERT_EQ(d.score.Staffs.size(), 2u);
  EXPECT_EQ(d.System(0)->Measures.size(), 3u);
  EXPECT_EQ(last->Top, lastTop);
  EXPECT_EQ(d.All<CBracket>().size(), 2u);
  // The clef and key that only repeated themselves are gone again.
  EXPECT_TRUE(SignsOf(d.Stave(0), opening).empty());
  EXPECT_TRUE(SignsOf(d.Stave(1), opening).empty());
  d.score.AfterLoad();
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
  EXPECT_EQ(Sound(d.score), before);
}

TEST(BreakAndMerge, BeamEndsStayOnTheirStems) {
  NewDocument d;
  d.At(0, 1);
  std::vector<CNote*> eighths;
  for (int dy : {12, 16, 20, 16}) eighths.push_back(InsertNote(d.score, d.End(1), d.Y(0, dy), 4));
  ASSERT_NE(eighths.back(), nullptr);
  d.score.UpdateDerived();
  for (CNote* n : eighths) d.Select(n);
  ASSERT_NE(BeamByBeat(d.score), 0);
  ClearSelection(d.score);
  d.score.UpdateDerived();
  // Each beam end's distance from the nearest stem anchor.
  auto ends = [&] {
    std::vector<int> offsets;
    for (CBeam* b : d.All<CBeam>())
      for (int x : {b->X, b->X1}) {
        int best = 1 << 30;
        for (CNote* n : eighths)
          if (std::abs(x - n->X) < std::abs(best)) best = x - n->X;
        offsets.push_back(best);
      }
    return offsets;
  };
  const std::vector<int> before = ends();
  ASSERT_FALSE(before.empty());
  // Measure 1 moves into a new system, its note area widened to the page.
  ASSERT_NE(BreakSystem(d.score, d.Stave(0), d.Measure(0), d.Measure(0)->Right - 5), 0);
  d.score.UpdateDerived();
  ASSERT_EQ(eighths.front()->OwnerStave->OwnerStaff, d.System(1));
  EXPECT_EQ(ends(), before);
  // And back.
  SelectAll(d.score);
  ASSERT_NE(MergeSystems(d.score), 0);
  d.score.UpdateDerived();
  EXPECT_EQ(ends(), before);
  // Widening the measure by its bar line re-spaces the notes; the beams follow.
  ClearSelection(d.score);
  ASSERT_TRUE(ChangeMeasureWidth(d.score, *eighths.front()->OwnerMeasure, 40));
  d.score.UpdateDerived();
  EXPECT_EQ(ends(), before);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(BreakAndMerge, AClefChangeInsideTheFirstMovedMeasureIsNoOpeningClef) {
  NewDocument d;
  FillWithQuarters(d);
  // The lower stave changes to the treble clef between the second and third
  // quarter of the second measure.
  auto notes = d.On<CNote>(d.Stave(1), d.Measure(1));
  auto change = std::make_unique<CSign>();
  change->Style = SIGN_CLEF;
  change->Value = 0;
  change->PlaceAt(notes[1]->Right + 1, d.Stave(1)->Top);
  d.score.AddAttachedObject(d.Stave(1), d.Measure(1), std::move(change));
  const auto before = Sound(d.score);
  ASSERT_EQ(BreakSystem(d.score, d.Stave(1), d.Measure(1), d.Measure(1)->Left + 1), 1);
  auto opening = SignsOf(d.Stave(1, 1), d.Measure(0, 1));
  ASSERT_EQ(opening.size(), 2u);
  EXPECT_EQ(opening[0]->Value, 1);  // the bass clef still in force opens the line
  EXPECT_EQ(opening[1]->Value, 0);
  EXPECT_EQ(Sound(d.score), before);
  EXPECT_TRUE(CheckStructure(d.score));
}

TEST(BreakAndMerge, MergeNeedsNeighboursWithEqualStaveCounts) {
  NewDocument d;
  CStaff* single = InsertStandardSystem(d.score, 0, 1000);
  CStaff* piano = InsertPianoSystem(d.score, 0, 2000);
  d.score.UpdateDerived();
  d.System(0)->Selected = single->Selected = 1;
  d.score.SelectedCount = 2;
  EXPECT_EQ(MergeSystems(d.score), 0);  // two staves against one
  EXPECT_EQ(d.score.Staffs.size(), 3u);
  single->Selected = 0;
  piano->Selected = 1;
  EXPECT_EQ(MergeSystems(d.score), 0);  // not neighbours
  EXPECT_EQ(d.score.Staffs.size(), 3u);
  CScore empty;
  EXPECT_EQ(MergeSystems(empty), 0);
}

TEST(BreakAndMerge, ThreeSystemsJoinIntoTheFirst) {
  NewDocument d;
  InsertPianoSystem(d.score, 0, 1000);
  InsertPianoSystem(d.score, 0, 2000);
  d.score.AfterLoad();
  for (size_t sys = 0; sys < 3; ++sys) FillWithQuarters(d, sys);
  d.score.SetCurrent(d.Stave(1, 2), d.Measure(0, 2));
  // The middle system's lower stave changes to the alto clef.
  CSign* alto = SignsOf(d.Stave(1, 1), d.Measure(0, 1)).at(0);
  alto->Value = 2;
  CSign* bassAgain = SignsOf(d.Stave(1, 2), d.Measure(0, 2)).at(0);
  CMeasure* second = d.Measure(0, 1);
  CMeasure* third = d.Measure(0, 2);
  const auto before = Sound(d.score);
  for (CStaff* s : d.score.Staffs) s->Selected = 1;
  d.score.SelectedCount = 3;
  ASSERT_EQ(MergeSystems(d.score), 1);
  ASSERT_EQ(d.score.Staffs.size(), 1u);
  EXPECT_EQ(d.System()->Measures.size(), 9u);
  // Nine measures of notes need more than the page: the line reaches past it.
  EXPECT_GT(d.System()->Right, 580);
  EXPECT_EQ(d.score.CurrentStave, d.Stave(1));  // the caret follows its stave
  EXPECT_EQ(d.score.CurrentMeasure->OwnerStaff, d.System());
  EXPECT_EQ(d.score.SelectedCount, 1);
  // Repeated treble clefs go; the changes to alto and back to bass stay.
  EXPECT_TRUE(SignsOf(d.Stave(0), second).empty());
  EXPECT_TRUE(SignsOf(d.Stave(0), third).empty());
  EXPECT_EQ(SignsOf(d.Stave(1), second), std::vector<CSign*>{alto});
  EXPECT_EQ(SignsOf(d.Stave(1), third), std::vector<CSign*>{bassAgain});
  d.score.AfterLoad();
  EXPECT_TRUE(CheckStructure(d.score));
  EXPECT_TRUE(CheckLayout(d.score));
  EXPECT_EQ(Sound(d.score), before);
}

}  // namespace

namespace {

// A long run of mixed operations at random points keeps the structure sound.
TEST(MixedOperations, RandomEditsKeepTheStructure) {
  NewDocument d;
  std::mt19937 rng(20261208);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int step = 0; step < 400; ++step) {
    const int x = pick(0, 900), y = pick(0, 1200);
    if (d.score.Staffs.empty()) InsertPianoSystem(d.score, x, y);
    d.score.SetInsertionPoint(x, y);
    switch (pick(0, 13)) {
      case 0: case 1: case 2: InsertNoteOrChord(d.score, x, y, pick(1, 6)); break;
      case 3: InsertRest(d.score, x, y, pick(0, 8)); break;
      case 4: InsertMark(d.score, x, y, pick(0, 127)); break;
      case 5: InsertClef(d.score, d.score.CurrentStave, d.score.CurrentMeasure, pick(0, 2)); break;
      case 6: InsertMeasureAfter(d.score, x, y); break;
      case 7: if (pick(0, 3) == 0) AddStave(d.score, x, y); break;
      case 8: if (pick(0, 4) == 0) InsertPianoSystem(d.score, x, y); break;
      case 9: BreakSystem(d.score, d.score.CurrentStave, d.score.CurrentMeasure, x); break;
      case 10:
        for (CStaff* s : d.score.Staffs)
          if (pick(0, 1)) d.Select(s);
        MergeSystems(d.score);
        break;
      case 11:
      case 12: {
        const size_t n = d.score.ObjectCount();
        if (n == 0) break;
        for (int i = 0; i < pick(1, 3); ++i) {
          CXObject* o = d.score.GetObject(size_t(pick(0, int(n) - 1)));
          // Whole systems and staves only now and then, so that the score keeps growing.
          if (!As<CStaveObject>(o) && pick(0, 9) != 0) continue;
          d.Select(o);
        }
        DeleteSelection(d.score);
        break;
      }
      default: InsertSlur(d.score, x, y, x + pick(-60, 60), y, x, y - 10); break;
    }
    d.score.UpdateDerived();
    ASSERT_TRUE(CheckStructure(d.score)) << "step " << step;
    ASSERT_TRUE(CheckLayout(d.score)) << "step " << step;
    for (const auto& up : d.score.Objects()) up->Selected = 0;
    d.score.SelectedCount = 0;
  }
  // The run built something worth checking.
  EXPECT_GT(d.score.Staffs.size(), 1u);
  EXPECT_GT(d.All<CNote>().size(), 20u);
}

}  // namespace
