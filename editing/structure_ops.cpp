// Systems, staves and measures: making them at a point, keeping systems
// apart, and the new document.
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "model/derived.h"
#include "model/score.h"

using namespace editing;

namespace {

int StaveHeight(const CScore& score) { return 4 * score.LineSpace; }

void FinishMeasures(CScore& score, CStaff& system) {
  for (CMeasure* m : system.Measures) {
    m->Top = system.Top;
    m->Bottom = system.Bottom;
  }
  RecomputeMeasureTicks(score, system);
  for (CMeasure* m : system.Measures) {
    ComputeLeftPadding(*m);
    ComputeUnitsPerTick(*m);
  }
}

void MoveSystem(CStaff* system, int dy) {
  if (dy != 0) system->MoveTo(system->Left, system->Top + dy);
}

}  // namespace

// --- finding things at a point ------------------------------------------------------

CStave* StaveAtPoint(const CScore& score, int x, int y) {
  CStave* best = nullptr;
  int64_t bestDistance = std::numeric_limits<int64_t>::max();
  for (CStaff* system : score.Staffs)
    for (CStave* s : system->Staves) {
      int64_t centre = (int64_t(s->Top) + s->Bottom) / 2;
      int64_t d = std::max<int64_t>(std::llabs(int64_t(y) - centre), int64_t(x) - s->Right);
      if (d < bestDistance) {
        bestDistance = d;
        best = s;
      }
    }
  return best;
}

CStaff* SystemAtPoint(const CScore& score, int x, int y) {
  for (CStaff* system : score.Staffs)
    if (system->GetBounds().Contains(x, y)) return system;
  return nullptr;
}

CMeasure* MeasureAtPoint(const CScore& score, int x, int y) {
  CStaff* system = SystemAtPoint(score, x, y);
  if (!system) return nullptr;
  for (CMeasure* m : system->Measures)
    if (m->GetBounds().Contains(x, y)) return m;
  return nullptr;
}

// --- systems ---------------------------------------------------------------------------

CStaff* InsertPianoSystem(CScore& score, int x, int y) {
  const bool firstSystem = score.Staffs.empty();
  const int h = StaveHeight(score);
  int top = score.TopMargin;
  size_t at = 0;
  if (!firstSystem) {
    size_t i = 0;
    while (i < score.Staffs.size() && score.Staffs[i]->Top < y) ++i;
    if (i == score.Staffs.size()) i = score.Staffs.size() - 1;
    CStaff* ref = score.Staffs[i];
    if (ref->Top < y) {
      top = ref->Bottom + score.StaveSpace + score.SystemSpace;
      at = i + 1;
    } else {
      top = ref->Top;
      at = i;
      const int shift = 2 * score.StaveSpace + score.SystemSpace + 2 * h;
      for (size_t j = i; j < score.Staffs.size(); ++j) MoveSystem(score.Staffs[j], shift);
    }
  }
  CStaff* system = NewSystem(score, top, top + score.StaveSpace + 2 * h, at);
  const int width = system->Right - system->Left;
  const int count = std::max(1, (width + 100) / 200);
  const int g = (width - 40) / count;

  CMeasure* first = score.MakeMeasure(system, count == 1 ? system->Right : score.LeftMargin + 40 + g);
  first->Left = system->Left;

  CStave* upper = score.MakeStave(system, top);
  score.SetCurrent(upper, first);
  InsertClef(score, upper, first, 0);
  if (firstSystem) InsertTimeSignature(score, upper, first, 4, 4);

  CStave* lower = score.MakeStave(system, top + score.StaveSpace + h);
  lower->Voice = 0;
  AddBrace(score, upper, lower);
  score.SetCurrent(lower, first);
  InsertClef(score, lower, first, 1);
  if (firstSystem) InsertTimeSignature(score, lower, first, 4, 4);

  system->Bottom = lower->Bottom;
  int bar = first->Right;
  for (int i = 1; i < count; ++i) {
    bar = (i == count - 1) ? system->Right : bar + g;
    CMeasure* m = score.MakeMeasure(system, bar);
    m->Left = system->Measures[system->Measures.size() - 2]->Right;
  }
  FinishMeasures(score, *system);
  return system;
}

CStaff* InsertStandardSystem(CScore& score, int x, int y) {
  const int h = StaveHeight(score);
  int top = score.TopMargin;
  bool below = false;
  CStave* nearest = StaveAtPoint(score, x, y);
  if (CStaff* ref = nearest ? nearest->OwnerStaff : nullptr) {
    if (ref->Top < y) {
      top = ref->Bottom + score.SystemSpace + score.StaveSpace;
      below = true;
    } else {
      top = ref->Top;
      int i = SystemIndex(score, ref);
      if (i >= 0)
        for (size_t j = size_t(i); j < score.Staffs.size(); ++j)
          MoveSystem(score.Staffs[j], score.SystemSpace + score.StaveSpace + h);
      else
        MoveSystem(ref, score.SystemSpace + score.StaveSpace + h);
    }
  }
  CStaff* system = NewSystem(score, top, top + h, score.Staffs.size());
  CStave* stave = score.MakeStave(system, top);
  CMeasure* m = score.MakeMeasure(system, system->Right);
  m->Left = system->Left;
  FinishMeasures(score, *system);
  // The new system becomes the insertion point, so that notes can follow.
  score.SetCurrent(stave, m);
  // Placed below a system that has others under it, the new one may land on
  // them: push them apart.
  if (below) {
    bool overlaps = false;
    for (CStaff* other : score.Staffs)
      if (other != system && other->Top < system->Bottom && system->Top < other->Bottom) overlaps = true;
    if (overlaps) SeparateSystems(score, system);
  }
  return system;
}

CStaff* InsertStaff(CScore& score, int x, int y) {
  CStaff* system = NewSystem(score, y, y + 100, score.Staffs.size());
  CStave* upper = score.MakeStave(system, y);
  CStave* lower = score.MakeStave(system, y + 100);
  lower->Voice = 0;
  system->Bottom = lower->Bottom;
  score.MakeMeasure(system, system->Right + 1);
  AddBrace(score, upper, lower);
  const int bandTop = y - score.StaveSpace - score.SystemSpace;
  const int bandBottom = y + score.SystemSpace + score.StaveSpace + 100;
  for (CStaff* other : score.Staffs)
    if (other != system && other->Top < bandBottom && bandTop < other->Bottom) {
      SeparateSystems(score, system);
      break;
    }
  return system;
}

int AddStave(CScore& score, int x, int y) {
  CStave* ref = StaveAtPoint(score, x, y);
  if (!ref || !ref->OwnerStaff) return InsertStandardSystem(score, x, y) ? 1 : 0;
  CStaff* system = ref->OwnerStaff;
  CMeasure* first = nullptr;
  for (CMeasure* m : system->Measures)
    if (m->GetBounds().Contains(system->Left + 1, system->Top)) {
      first = m;
      break;
    }
  if (!first) return 0;
  const int h = StaveHeight(score);
  const int amount = score.StaveSpace + h;
  const int refTop = ref->Top, refBottom = ref->Bottom, systemTop = system->Top;
  for (CStaff* other : score.Staffs)
    if (other != system && other->Top > systemTop) MoveSystem(other, amount);
  system->Bottom += amount;
  for (CMeasure* m : system->Measures) m->Bottom = system->Bottom;
  for (CStave* s : system->Staves)
    if (s != ref && s->Top > refTop) s->MoveTo(s->Left, s->Top + amount);
  // A brace that reaches past the reference stave now spans the new stave too.
  for (CStave* s : system->Staves)
    if (s->Top <= refTop)
      for (CStaveObject* o : s->Attached)
        if (o->GetKind() == Kind::Bracket && o->Top <= refTop && o->Bottom > refBottom) o->Bottom += amount;

  CStave* stave = score.MakeStave(system, refBottom + score.StaveSpace);
  auto& staves = system->Staves;
  staves.pop_back();
  staves.insert(std::find(staves.begin(), staves.end(), ref) + 1, stave);
  InsertClef(score, stave, first, 0);
  if (score.Staffs.size() == 1) InsertTimeSignature(score, stave, first, first->Numerator, first->Denominator);
  return 1;
}

void SeparateSystems(CScore& score, CStaff* system) {
  if (!system) return;
  const int d = score.SystemSpace + score.StaveSpace;
  for (int pass = 0; pass < 2; ++pass) {
    CStaff* near = nullptr;
    for (CStaff* other : score.Staffs)
      if (other != system && other->Top < system->Bottom + d && system->Top < other->Bottom + d) near = other;
    if (!near) return;
    int shift;
    CStaff* pivot;
    if (near->Top < system->Top) {
      shift = d + near->Bottom - system->Top;
      pivot = system;
    } else {
      shift = d + system->Bottom - near->Top;
      pivot = near;
    }
    const int pivotTop = pivot->Top;
    for (CStaff* s : score.Staffs)
      if (s == pivot || s->Top > pivotTop) MoveSystem(s, shift);
  }
}

// --- measures --------------------------------------------------------------------------

int InsertMeasureAfter(CScore& score, int x, int y) {
  CMeasure* m = MeasureAtPoint(score, x, y);
  if (!m || !m->OwnerStaff) return 0;
  CStaff* system = m->OwnerStaff;
  const int w = m->Right - m->Left;
  const int edge = m->Right;
  system->Right += w;
  for (CStave* s : system->Staves) {
    s->Left = system->Left;
    s->Right = system->Right;
  }
  std::vector<CMeasure*> later;
  for (CMeasure* other : system->Measures)
    if (other->Left >= edge) later.push_back(other);
  auto isLater = [&](const CMeasure* mm) { return mm && std::find(later.begin(), later.end(), mm) != later.end(); };
  for (CStave* s : system->Staves)
    for (CStaveObject* o : s->Attached)
      if (isLater(o->OwnerMeasure)) Shift(o, w, 0);
  for (CMeasure* other : later) Shift(other, w, 0);

  CMeasure* added = score.MakeMeasure(system, edge + w);
  auto& list = system->Measures;
  list.pop_back();
  list.insert(std::find(list.begin(), list.end(), m) + 1, added);
  added->SetBounds(edge, m->Top, edge + w, m->Bottom);
  added->Numerator = m->Numerator;
  added->Denominator = m->Denominator;
  added->Ticks = m->Ticks;
  added->Value = 0;
  ComputeLeftPadding(*added);
  ComputeUnitsPerTick(*added);
  return 1;
}

CMeasure* InsertMeasure(CScore& score, CStaff* system, int x) {
  if (!system) return nullptr;
  CMeasure* m = score.MakeMeasure(system, x);
  // Keep the list in bar-line order: the recalculation lays measures out
  // from it.
  auto& list = system->Measures;
  list.pop_back();
  auto it = std::find_if(list.begin(), list.end(), [&](CMeasure* other) { return other->Right > x; });
  list.insert(it, m);
  return m;
}

// --- new document ---------------------------------------------------------------------

void SetUpNewDocument(CScore& score) {
  score.Clear();
  score.ResetDefaultTables();
  InsertPianoSystem(score, score.LeftMargin, score.TopMargin);
  score.AfterLoad();
}
