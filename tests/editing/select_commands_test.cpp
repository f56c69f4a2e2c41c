// Selection filters and bulk selections, drawing order, chord-number repair,
// visual-MIDI times, measure arrangement, snapping notes and the note bits.
#include "editing/select_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "edit_fixture.h"
#include "editing/note_ops.h"
#include "editing/selection.h"
#include "model/derived.h"
#include "tests/model/score_fixture.h"

namespace {

// Runs a command and checks the score's structure after it.
template <typename... A>
int Checked(CScore& score, int (*command)(CScore&, A...), A... args) {
  const int result = command(score, args...);
  EXPECT_TRUE(CheckStructure(score)) << "after a command that returned " << result;
  return result;
}

using Set = std::set<const CXObject*>;
Set Selected(const CScore& score) {
  Set out;
  for (const auto& up : score.Objects())
    if (up->Selected) out.insert(up.get());
  return out;
}

std::vector<CXObject*> Order(const CScore& score) {
  std::vector<CXObject*> out;
  for (const auto& up : score.Objects()) out.push_back(up.get());
  return out;
}

// Three quarters and a quarter rest in the second measure of the upper
// stave, and a text above them.
struct Mixed : NewDocument {
  std::vector<CNote*> notes;
  CRest* rest = nullptr;
  CXText* text = nullptr;
  Mixed() {
    At(0, 1);
    for (int i = 0; i < 3; ++i) notes.push_back(InsertNote(score, End(1), Y(0, 12), 3));
    rest = InsertRest(score, End(1), Y(0, 16), 3);
    text = InsertText(score, Measure(1)->Left, Y(0, -30), 0);
    score.UpdateDerived();
  }
};

// --- selection ----------------------------------------------------------------------

TEST(SelectCommands, InvertTwiceRestoresAndLeavesLockedAndHiddenLayersOut) {
  Mixed d;
  d.Select(d.notes[0]);
  d.Select(d.text);
  d.score.LastCaptured = d.text;
  const Set before = Selected(d.score);
  EXPECT_EQ(Checked(d.score, InvertSelection), 1);
  EXPECT_EQ(d.score.SelectedCount, static_cast<int>(d.score.ObjectCount() - before.size()));
  EXPECT_TRUE(d.score.LastCaptured && d.score.LastCaptured->Selected);  // never an unselected reference
  EXPECT_EQ(Checked(d.score, InvertSelection), 1);
  EXPECT_EQ(Selected(d.score), before);

  d.notes[1]->Layer = 2;
  d.text->Layer = 3;
  d.score.Layers[2].Style |= LAYER_LOCKED;
  d.score.Layers[3].Style &= ~LAYER_VISIBLE;
  SelectAll(d.score);  // the one way to get them selected
  EXPECT_EQ(Checked(d.score, InvertSelection), 1);
  EXPECT_EQ(d.score.SelectedCount, 0);
  EXPECT_EQ(Checked(d.score, InvertSelection), 1);
  EXPECT_FALSE(d.notes[1]->Selected || d.text->Selected);
  EXPECT_EQ(d.score.SelectedCount, static_cast<int>(d.score.ObjectCount()) - 2);
  EXPECT_EQ(Checked(d.score, SelectVoice, 0), 1);
  EXPECT_FALSE(d.notes[1]->Selected);  // nor is the locked note caught by its voice
}

TEST(SelectCommands, KeepFiltersOnAMixedSelection) {
  Mixed d;
  for (CXObject* o : std::vector<CXObject*>{d.notes[0], d.notes[2], d.rest, d.text, d.Measure(1), d.Stave(0)})
    d.Select(o);
  d.score.LastCaptured = d.text;
  EXPECT_EQ(Checked(d.score, KeepSelectedNotesAndRests), 1);
  EXPECT_EQ(Selected(d.score), (Set{d.notes[0], d.notes[2], d.rest}));
  EXPECT_EQ(d.score.LastCaptured, d.rest);  // the last selected in object order
  EXPECT_EQ(Checked(d.score, KeepSelectedNotesAndRests), 0);
  EXPECT_EQ(Checked(d.score, KeepSelectedNotes), 1);
  EXPECT_EQ(Selected(d.score), (Set{d.notes[0], d.notes[2]}));
  EXPECT_EQ(Checked(d.score, KeepSelectedRests), 1);  // no rest left: nothing stays
  EXPECT_EQ(d.score.SelectedCount, 0);
  EXPECT_EQ(d.score.LastCaptured, nullptr);
}

TEST(SelectCommands, AreaLayerVoiceAndChannel) {
  Mixed d;
  EXPECT_EQ(Checked(d.score, SelectArea), 0);  // nothing selected, no area
  d.Select(d.notes[0]);
  d.Select(d.notes[2]);
  EXPECT_EQ(Checked(d.score, SelectArea), 1);
  EXPECT_EQ(Selected(d.score), (Set{d.notes[0], d.notes[1], d.notes[2]}));  // the rest lies right of it

  d.text->Layer = d.notes[2]->Layer = 4;
  EXPECT_EQ(Checked(d.score, SelectLayer, 4), 1);
  EXPECT_EQ(Selected(d.score), (Set{d.text, d.notes[2]}));
  d.score.Layers[2].Style |= LAYER_LOCKED;
  d.score.Layers[3].Style &= ~LAYER_VISIBLE;
  const std::pair<int, const char*> refused[] = {
      {2, kErrLayerLocked}, {3, kErrLayerHidden}, {8, kErrNoSuchLayer}, {-1, kErrNoSuchLayer}, {5, kErrLayerEmpty}};
  for (auto [layer, why] : refused) {
    EXPECT_EQ(Checked(d.score, SelectLayer, layer), 0);
    EXPECT_EQ(d.score.LastError, why);
  }
  EXPECT_EQ(Selected(d.score), (Set{d.text, d.notes[2]}));  // refusals keep the selection

  d.notes[1]->Voice = d.rest->Voice = 1;
  EXPECT_EQ(Checked(d.score, SelectVoice, 1), 1);
  EXPECT_EQ(Selected(d.score), (Set{d.notes[1], d.rest}));
  EXPECT_EQ(Checked(d.score, SelectVoice, 7), 0);
  EXPECT_EQ(d.score.LastError, kErrNoVoiceNotes);

  d.notes[0]->Channel = 3;
  d.notes[1]->Channel = 19;  // plays on channel 3
  d.rest->Channel = 3;       // but a rest plays nothing
  EXPECT_EQ(Checked(d.score, SelectChannel, 3), 1);
  EXPECT_EQ(Selected(d.score), (Set{d.notes[0], d.notes[1]}));
  EXPECT_EQ(Checked(d.score, SelectChannel, 16), 0);
  EXPECT_EQ(d.score.LastError, kErrChannelRange);
  EXPECT_EQ(Checked(d.score, SelectChannel, 9), 0);
  EXPECT_EQ(d.score.LastError, kErrNoChannelNotes);
  EXPECT_EQ(d.score.SelectedCount, 2);
}

// --- drawing order -------------------------------------------------------------------

TEST(DrawingOrder, BackAndFrontKeepEveryObjectAndTheSelectionsOrder) {
  Mixed d;
  d.Select(d.notes[2]);
  d.Select(d.System());
  const std::vector<CXObject*> before = Order(d.score);
  EXPECT_EQ(Checked(d.score, BringToFront), 1);
  std::vector<CXObject*> now = Order(d.score);
  EXPECT_EQ(std::set<CXObject*>(now.begin(), now.end()), std::set<CXObject*>(before.begin(), before.end()));
  EXPECT_EQ(now.size(), before.size());
  EXPECT_EQ(std::vector<CXObject*>(now.end() - 2, now.end()), (std::vector<CXObject*>{d.System(), d.notes[2]}));
  EXPECT_EQ(Checked(d.score, BringToFront), 0);
  EXPECT_EQ(Checked(d.score, SendToBack), 1);
  now = Order(d.score);
  EXPECT_EQ(std::vector<CXObject*>(now.begin(), now.begin() + 2), (std::vector<CXObject*>{d.System(), d.notes[2]}));
  for (const CXObject* o : before) EXPECT_EQ(d.score.FindByNumber(o->Number), o);

  // An order that is not a permutation of the objects changes nothing.
  std::vector<CXObject*> twice = Order(d.score);
  twice.back() = twice.front();
  EXPECT_FALSE(d.score.SetObjectOrder(twice));
  EXPECT_FALSE(d.score.SetObjectOrder(std::vector<CXObject*>(now.begin(), now.end() - 1)));
  EXPECT_EQ(Order(d.score), now);
}

TEST(DrawingOrder, OneStepPassesTheNextOverlappingObjectOnly) {
  SmallScore t(1, 3);
  CXText* text = t.Text(100, 40, "a");   // 100..120 x 40..52
  CXText* apart = t.Text(300, 40, "b");  // overlaps nothing
  CXText* cover = t.Text(110, 30, "c");
  CXText* top = t.Text(105, 45, "d");
  text->Selected = 1;
  t.score.RecountSelection();
  auto pos = [&](const CXObject* o) {
    const std::vector<CXObject*> order = Order(t.score);
    return std::find(order.begin(), order.end(), o) - order.begin();
  };
  EXPECT_EQ(Checked(t.score, BringForward), 1);
  EXPECT_EQ(pos(text), pos(cover) + 1);  // past "c", still behind "d", and "b" was not passed
  EXPECT_EQ(pos(top), pos(text) + 1);
  EXPECT_EQ(Checked(t.score, BringForward), 1);
  EXPECT_EQ(pos(text), pos(top) + 1);
  EXPECT_EQ(Checked(t.score, BringForward), 0);  // nothing above it any more
  EXPECT_EQ(Checked(t.score, SendBackward), 1);
  EXPECT_EQ(pos(text) + 1, pos(top));
  text->Selected = 0;
  apart->Selected = 1;
  EXPECT_EQ(Checked(t.score, BringForward), 0);
  EXPECT_EQ(Checked(t.score, SendBackward), 0);
}

// One step forward the plain way: from the front, each selected object moves
// right after the first later unselected object its box overlaps.
std::vector<CXObject*> StepForward(std::vector<CXObject*> order) {
  auto overlap = [](const CXObject& a, const CXObject& b) {
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
  };
  for (size_t i = order.size(); i-- > 0;) {
    CXObject* o = order[i];
    for (size_t j = i + 1; o->Selected && j < order.size(); ++j)
      if (!order[j]->Selected && overlap(*o, *order[j])) {
        order.erase(order.begin() + static_cast<long>(i));
        order.insert(order.begin() + static_cast<long>(j), o);
        break;
      }
  }
  return order;
}

TEST(DrawingOrder, OneStepMatchesThePlainWalkOnRandomPages) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SmallScore t(1, 3);
    std::mt19937 random(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    // Edges on and beside multiples of 16, so that boxes often end where
    // another begins; now and then a box over very many cells.
    auto edge = [&](int lo, int hi) { return pick(lo, hi) * 16 + pick(-1, 1); };
    for (int i = 0; i < 400; ++i) {
      auto shape = std::make_unique<CXGraphics>();
      const int x = edge(-20, 95), y = edge(-20, 95);
      if (pick(0, 19) == 0)
        shape->SetBounds(pick(-2000000000, 0), y - 5000, pick(0, 2000000000), y);
      else
        shape->SetBounds(x, y, x + std::max(0, edge(0, 8)), y + std::max(0, edge(0, 8)));
      shape->Selected = pick(0, 9) < 3;
      t.Attach(-1, -1, std::move(shape));
    }
    t.score.RecountSelection();
    std::vector<CXObject*> expected = StepForward(Order(t.score));
    Checked(t.score, BringForward);
    EXPECT_EQ(Order(t.score), expected) << "seed " << seed;
    std::vector<CXObject*> reversed(expected.rbegin(), expected.rend());
    expected = StepForward(reversed);
    std::reverse(expected.begin(), expected.end());
    Checked(t.score, SendBackward);
    EXPECT_EQ(Order(t.score), expected) << "seed " << seed;
  }
}

TEST(DrawingOrder, StaveListsOrderTiesAsAReloadDoes) {
  SmallScore t(1, 3);
  CNote* a = t.Note(0, 0, 100, 16);
  CNote* b = t.Note(0, 0, 100, 8, 3, NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS, 1);
  a->Selected = 1;
  t.score.RecountSelection();
  ASSERT_EQ(Checked(t.score, BringToFront), 1);
  CScore reloaded;
  ASSERT_TRUE(reloaded.RestoreFromBytes(t.score.SnapshotToBytes()));
  reloaded.RelinkObjects();
  std::vector<int32_t> here, there;
  for (const CStaveObject* o : t.Stave(0)->Attached) here.push_back(o->Number);
  for (const CStaveObject* o : reloaded.Staffs[0]->Staves[0]->Attached) there.push_back(o->Number);
  EXPECT_EQ(here, there);
  EXPECT_EQ(here, (std::vector<int32_t>{a->Number, b->Number}));  // equal Left: the later object first
}

// --- chord numbers ----------------------------------------------------------------------

TEST(ChordRepair, CopiesGetTheirOwnNumbersAndLoneMembersLeaveTheirChord) {
  SmallScore t(2, 3);
  CNote* low = t.Note(0, 0, 100, 16);
  CNote* high = t.Note(0, 0, 100, 4);
  low->Selected = high->Selected = 1;
  t.score.RecountSelection();
  ASSERT_EQ(JoinChords(t.score), 1);
  ASSERT_EQ(low->Chord, high->Number);

  // Copies as a paste makes them: new Numbers, the old chord number. One in
  // the next measure, one on the other stave at the same place, one alone.
  auto copy = [&](CNote* from, int stave, int measure, int dx) {
    auto n = std::make_unique<CNote>();
    n->CopyFrom(from);
    n->MoveTo(from->Left + dx, from->Top + (stave ? t.Stave(1)->Top - t.Stave(0)->Top : 0));
    return t.Attach(stave, measure, std::move(n));
  };
  const int dx = t.Measure(1)->Left - t.Measure(0)->Left;
  CNote* copyLow = copy(low, 0, 1, dx);
  CNote* copyHigh = copy(high, 0, 1, dx);
  CNote* otherLow = copy(low, 1, 0, 0);
  CNote* otherHigh = copy(high, 1, 0, 0);
  CNote* lone = copy(low, 0, 2, 2 * dx);
  t.Update();

  EXPECT_EQ(Checked(t.score, RepairChordNumbers), 1);
  for (CNote* n : {low, high}) EXPECT_EQ(n->Chord, high->Number);  // the original keeps its number
  for (CNote* n : {copyLow, copyHigh}) EXPECT_EQ(n->Chord, copyHigh->Number);  // the highest leads a copy
  for (CNote* n : {otherLow, otherHigh}) EXPECT_EQ(n->Chord, otherHigh->Number);
  EXPECT_EQ(lone->Chord, -1);
  EXPECT_EQ(copyLow->Start, t.Measure(1)->Start);  // copies sound with their own leader
  EXPECT_EQ(otherLow->Start, 0);
  EXPECT_EQ(Checked(t.score, RepairChordNumbers), 0);  // nothing left to mend
}

// --- visual MIDI, arranging, snapping -----------------------------------------------------

TEST(VisualMidiTimes, TakeTheStartOfTheNearestNote) {
  Mixed d;
  CVisualMidi* v = InsertVisualMidi(d.score, d.notes[2]->Left + 1, d.Y(0, -20), 0xC0);
  ASSERT_NE(v, nullptr);
  v->Start = -5;
  EXPECT_EQ(Checked(d.score, UpdateVisualMidiTimes), 1);
  EXPECT_EQ(v->Start, d.notes[2]->Start);
  EXPECT_EQ(Checked(d.score, UpdateVisualMidiTimes), 0);
}

TEST(ArrangeMeasure, NotesGoToTheXOfTheirStartsAndPilesAreRefused) {
  SmallScore t(1, 3);
  CMeasure* m = t.Measure(1);
  std::vector<CNote*> notes;
  for (int x : {m->Left + 10, m->Left + 14, m->Left + 18, m->Left + 60}) notes.push_back(t.Note(0, 1, x, 16));
  CMark* mark = t.Mark(0, 1, notes[1]->X, 90, notes[1]);
  t.score.AfterLoad();
  const int markOffset = mark->Left - notes[1]->Left;
  const int caretX = m->Left + 5, caretY = t.staff->Top;

  EXPECT_EQ(Checked(t.score, ArrangeMeasureAt, caretX, caretY), 1);
  for (size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(notes[i]->Start, m->Start + 240 * static_cast<int>(i));
    EXPECT_EQ(notes[i]->Left, TickToX(*m, notes[i]->Start));
  }
  EXPECT_GT(notes[1]->Left - notes[0]->Left, 4);  // spread over the measure
  EXPECT_EQ(mark->Left - notes[1]->Left, markOffset);
  EXPECT_EQ(Checked(t.score, ArrangeMeasureAt, caretX, caretY), 0);  // already in place
  EXPECT_EQ(Checked(t.score, ArrangeMeasureAt, 5, 5), 0);
  EXPECT_EQ(t.score.LastError, kErrNoMeasureAtCaret);

  // A fifth quarter overruns the measure: refused, nothing moves.
  CNote* fifth = t.Note(0, 1, notes[3]->Left + 4, 16);
  t.score.AfterLoad();
  const int fifthLeft = fifth->Left;
  EXPECT_EQ(Checked(t.score, ArrangeMeasureAt, caretX, caretY), 0);
  EXPECT_EQ(t.score.LastError, kErrMeasureOverfull);
  EXPECT_EQ(fifth->Left, fifthLeft);
  m->Style |= MEASURE_ZERO_LENGTH;
  EXPECT_EQ(Checked(t.score, ArrangeMeasureAt, caretX, caretY), 0);
  EXPECT_EQ(t.score.LastError, kErrMeasureNoLength);

  // Ten units across: four quarters in a note area of two would share x.
  SmallScore narrow(1, 52);
  CMeasure* tiny = narrow.Measure(0);
  for (int i = 0; i < 4; ++i) narrow.Note(0, 0, tiny->Left + i, 16);
  EXPECT_EQ(Checked(narrow.score, ArrangeMeasureAt, tiny->Left + 1, narrow.staff->Top), 0);
  EXPECT_EQ(narrow.score.LastError, kErrTooNarrowToArrange);
}

TEST(SnapNotes, HalfwayRoundsToTheSmallerOffsetAndPlacedNotesStay) {
  SmallScore t(1, 3);
  const int top = t.Stave(0)->Top;
  CNote* half = t.Note(0, 0, 80, 2);     // v = h / 2 exactly: to 0
  CNote* past = t.Note(0, 0, 100, 3);    // nearer 4
  CNote* upper = t.Note(0, 0, 120, 6);   // v = 4 + h / 2: to 4
  CNote* above = t.Note(0, 0, 140, -2);  // above the top line: to -4
  CNote* placed = t.Note(0, 0, 160, 8);  // on a line already
  CRest* rest = t.Rest(0, 0, 180, 3);
  rest->MoveTo(rest->Left, rest->Top + 1);
  CMark* mark = t.Mark(0, 0, past->X, 90, past);
  const int markTop = mark->Top, restTop = rest->Top, placedTop = placed->Top;

  EXPECT_EQ(Checked(t.score, SnapNotesToStaffPositions), 1);
  EXPECT_EQ(half->Y - top, 0);
  EXPECT_EQ(past->Y - top, 4);
  EXPECT_EQ(upper->Y - top, 4);
  EXPECT_EQ(above->Y - top, -4);
  EXPECT_EQ(placed->Top, placedTop);
  EXPECT_EQ(rest->Top, restTop);  // rests have no staff position
  EXPECT_EQ(mark->Top, markTop + 1);
  EXPECT_EQ(Checked(t.score, SnapNotesToStaffPositions), 0);

  t.score.LineSpace = 10;  // h = 5: the nearest multiple still wins
  CNote* seven = t.Note(0, 1, 200, 7);
  CNote* eight = t.Note(0, 1, 220, 8);
  EXPECT_EQ(Checked(t.score, SnapNotesToStaffPositions), 1);
  EXPECT_EQ(seven->Y - top, 5);
  EXPECT_EQ(eight->Y - top, 10);
  t.score.LineSpace = 1;
  EXPECT_EQ(Checked(t.score, SnapNotesToStaffPositions), 0);
  EXPECT_EQ(t.score.LastError, kErrLineSpaceTooSmall);
}

// --- note bits ------------------------------------------------------------------------------

TEST(NoteBits, PitchAndVelocityFollowAgainAndLegatoComesOff) {
  SmallScore t(1, 3);
  CNote* n = t.Note(0, 0, 80, 16, 3, NTS_FULL_LENGTH | NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS);
  CNote* grace = t.Note(0, 0, 100, 16, 4, NTS_FULL_LENGTH | NTS_GRACE);
  CRest* r = t.Rest(0, 0, 120, 3, 0);
  n->Selected = grace->Selected = r->Selected = 1;
  t.score.RecountSelection();
  EXPECT_EQ(Checked(t.score, FollowPitch), 1);
  EXPECT_EQ(Checked(t.score, FollowVelocity), 1);
  EXPECT_EQ(Checked(t.score, FollowPitch), 0);  // nothing left to change
  EXPECT_EQ(Checked(t.score, ClearLegato), 1);
  EXPECT_EQ(n->Style, NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_KEY | NTS_UPDATE_VELOCITY);
  EXPECT_TRUE(grace->Style & NTS_FULL_LENGTH);  // part of being a grace note
  EXPECT_EQ(r->Style, 0);
  t.Update();
  EXPECT_EQ(n->PlayTicks, 225);  // articulated again
  n->Selected = grace->Selected = 0;
  t.score.RecountSelection();
  EXPECT_EQ(Checked(t.score, FollowPitch), 0);  // a rest alone is no note
  EXPECT_EQ(t.score.LastError, kErrNoNote);
}

}  // namespace
