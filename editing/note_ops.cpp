// Note operations that change fields of each selected note on its own, plus
// sequential playing, staccato marks and the glissando and scale fills.
#include "editing/note_ops.h"

#include <algorithm>
#include <cstdlib>

#include "editing/note_select.h"
#include "model/score.h"

using namespace note_select;

namespace {

// Runs f on every selected note (or note and rest). Returns how many were
// visited; with none, leaves the refusal text.
template <typename F>
int ForEachSelected(CScore& score, bool withRests, F f) {
  score.LastError.clear();
  int count = 0;
  for (const auto& up : score.Objects()) {
    CXObject* o = up.get();
    if (!o->Selected) continue;
    const char kind = o->KindCode();
    if (kind == Kind::Note || (withRests && kind == Kind::Rest)) {
      f(*static_cast<CNote*>(o));
      ++count;
    }
  }
  if (count == 0) score.LastError = kErrNoNote;
  return count;
}

// Sets or clears style bits; returns whether any note changed. With no note
// selected the refusal text is left.
int ChangeStyle(CScore& score, bool withRests, int32_t set, int32_t clear) {
  int changed = 0;
  ForEachSelected(score, withRests, [&](CNote& n) {
    const int32_t style = (n.Style | set) & ~clear;
    if (style != n.Style) {
      n.Style = style;
      ++changed;
    }
  });
  return changed > 0;
}

}  // namespace

int FollowNoteValue(CScore& score) { return ChangeStyle(score, true, NTS_UPDATE_TICKS, 0); }
int LockNoteValue(CScore& score) { return ChangeStyle(score, true, 0, NTS_UPDATE_TICKS); }
int FollowPlayLength(CScore& score) { return ChangeStyle(score, true, NTS_UPDATE_PLAYTICKS, 0); }
int LockPlayLength(CScore& score) { return ChangeStyle(score, true, 0, NTS_UPDATE_PLAYTICKS); }
int LockVelocity(CScore& score) { return ChangeStyle(score, false, 0, NTS_UPDATE_VELOCITY); }
int LockBeams(CScore& score) { return ChangeStyle(score, false, 0, NTS_UPDATE_SHAPE); }

int LockPitch(CScore& score) {
  return ForEachSelected(score, false, [](CNote& n) { n.Style &= ~NTS_UPDATE_KEY; }) > 0;
}

int SetLegato(CScore& score) {
  return ForEachSelected(score, false, [](CNote& n) { n.Style |= NTS_FULL_LENGTH; }) > 0;
}

int SetNoteType(CScore& score, int value) {
  return ForEachSelected(score, true, [&](CNote& n) { n.Value = value; }) > 0;
}

int MakeTuplet(CScore& score, int n) {
  const int32_t tuplet = (n & 0xFF) << 8;  // n modulo 256, negative counts included
  return ForEachSelected(score, true, [&](CNote& note) { note.Value = (note.Value & 0xFF) | tuplet; }) > 0;
}

int StemsDown(CScore& score) {
  return ForEachSelected(score, false, [](CNote& n) {
           if (n.Stem < 0) {
             n.Stem = static_cast<int8_t>(-n.Stem);
             n.Style &= ~NTS_UPDATE_SHAPE;
           }
         }) > 0;
}

int StemsUp(CScore& score) {
  return ForEachSelected(score, false, [](CNote& n) {
           if (n.Stem > 0) {
             n.Stem = static_cast<int8_t>(-n.Stem);
             n.Style &= ~NTS_UPDATE_SHAPE;
           }
         }) > 0;
}

int StemsAuto(CScore& score) {
  return ForEachSelected(score, false, [](CNote& n) {
           n.Style |= NTS_UPDATE_SHAPE;
           // Below the middle line the stem goes up, otherwise down.
           if (n.dy > 16 ? n.Stem > 0 : n.Stem < 0) n.Stem = static_cast<int8_t>(-n.Stem);
         }) > 0;
}

int AddStaccatoMarks(CScore& score) {
  // Collected first: adding marks grows the object list being walked.
  std::vector<CNote*> notes;
  if (ForEachSelected(score, false, [&](CNote& n) { notes.push_back(&n); }) == 0) return 0;
  for (CNote* n : notes) {
    int offset = n->Stem < 1 ? 8 : -8;  // opposite the stem
    if (n->dy % 8 == 0) offset = offset > 0 ? 12 : -12;  // clear of the line the head sits on
    auto mark = std::make_unique<CMark>();
    CMark* m = mark.get();
    m->Value = 90;
    m->Layer = score.Layer;
    m->X = n->X;
    m->Y = n->Y + offset;
    m->SetBounds(m->X - 4, m->Y - 4, m->X + 4, m->Y + 4);
    m->Note = n->Number;
    m->NoteLink = n;
    // On the note's stave and measure, so that it moves and is found with them.
    score.AddAttachedObject(n->OwnerStave, n->OwnerMeasure, std::move(mark));
    n->Style |= NTS_STACCATO;
  }
  return 1;
}

int ClearBeams(CScore& score) {
  score.LastError.clear();
  for (const auto& up : score.Objects())
    if (up->Selected && up->KindCode() == Kind::Beam) CScore::MarkForRemoval(up.get());
  // Removal also drops the beams from their staves and every link to them.
  score.RemoveMarkedObjects();
  return 1;
}

int PlayInSequence(CScore& score) {
  score.LastError.clear();
  CNote* first = nullptr;
  for (const auto& up : score.Objects())
    if (up->Selected && up->IsKind(Kind::Note)) {
      first = static_cast<CNote*>(up.get());
      break;
    }
  if (!first) {
    score.LastError = kErrNoNote;
    return 0;
  }
  if (!first->OwnerStave) {
    score.LastError = kErrNotOnStave;
    return 0;
  }
  std::vector<CNote*> notes;
  SelectedOfStave(*first->OwnerStave, true, notes);
  for (CNote* n : notes)
    if (n->OwnerMeasure != notes.front()->OwnerMeasure) {
      score.LastError = kErrNotOneMeasure;
      return 0;
    }
  if (notes.size() < 2) {
    score.LastError = kErrFewerThanTwo;
    return 0;
  }
  for (size_t i = 1; i < notes.size(); ++i)
    notes[i]->PlayStart = notes[i - 1]->PlayStart + notes[i - 1]->PlayTicks;
  return 1;
}

// --- glissando and scale ------------------------------------------------------------

namespace {

constexpr int64_t kMaxFillSteps = 256;

// The notes between two selected notes: A (left), the inserted notes, B.
// Empty when the selection is not exactly two notes or rests, or when they
// are less than two staff steps apart.
std::vector<CNote*> FillSteps(CScore& score, NoteInserter insert, int duration, bool checkDuration) {
  score.LastError.clear();
  std::vector<CXObject*> selected;
  for (const auto& up : score.Objects())
    if (up->Selected) selected.push_back(up.get());
  if (selected.size() != 2 || !selected[0]->IsKind(Kind::Note) || !selected[1]->IsKind(Kind::Note)) return {};
  auto* a = static_cast<CNote*>(selected[0]);
  auto* b = static_cast<CNote*>(selected[1]);
  if (b->X < a->X) std::swap(a, b);
  const int64_t steps = std::llabs(int64_t(a->Y) - b->Y) / 4;
  // More steps than any instrument has (say, a note dragged far off the page)
  // would only fill the measure and then try millions of refused insertions.
  if (steps < 2 || steps > kMaxFillSteps || !insert) return {};
  const int k = static_cast<int>(steps);
  // A duration too short to give every note a tick would make silent notes.
  if (checkDuration && duration / (k + 1) < 1) return {};
  const int yStep = b->Y > a->Y ? 4 : -4;
  const int code = a->DurationCode();
  // InsertNote works at the insertion point; put it on A's stave for the
  // fill and give the user's back afterwards.
  CStave* oldStave = score.CurrentStave;
  CMeasure* oldMeasure = score.CurrentMeasure;
  std::vector<CNote*> notes{a};
  for (int i = 1; i < k; ++i) {
    const int x = static_cast<int>(a->X + int64_t(i) * (int64_t(b->X) - a->X) / k);
    const int y = a->Y + i * yStep;
    CMeasure* measure = a->OwnerMeasure;
    if (a->OwnerStave && a->OwnerStave->OwnerStaff)
      for (CMeasure* m : a->OwnerStave->OwnerStaff->Measures)
        if (m->Left <= x && x < m->Right) measure = m;
    score.SetCurrent(a->OwnerStave, measure);
    if (CNote* n = insert(score, x, y, code)) notes.push_back(n);  // notes that do not fit are left out
  }
  score.SetCurrent(oldStave, oldMeasure);
  notes.push_back(b);
  return notes;
}

}  // namespace

int FillScale(CScore& score, NoteInserter insert) {
  std::vector<CNote*> notes = FillSteps(score, insert, 0, false);
  if (notes.size() <= 2) return 0;
  score.UpdateDerived();
  return 1;
}

int MakeGlissando(CScore& score, int duration, NoteInserter insert) {
  std::vector<CNote*> notes = FillSteps(score, insert, duration, true);
  if (notes.empty()) return 0;
  const int32_t d = duration / static_cast<int32_t>(notes.size());
  const int32_t start = notes.front()->Start;
  for (size_t j = 0; j < notes.size(); ++j) {
    CNote* n = notes[j];
    n->Ticks = n->PlayTicks = d;
    n->Start = n->PlayStart = start + static_cast<int32_t>(j) * d;
    n->Layer = 0;
    // Locked, so that the recalculation keeps these lengths.
    n->Style &= ~(NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS);
  }
  score.UpdateDerived();
  return 1;
}
