// Deleting the selection with its dependants: systems with their staves and
// measures, staves with their objects, measures whose objects pass to the
// measure that takes their place, chords split around deleted notes.
#include <algorithm>
#include <map>
#include <unordered_set>

#include "editing/insert.h"
#include "model/derived.h"
#include "model/score.h"

namespace {

bool Doomed(const CXObject* o) { return o && (o->Transient & 1); }
void Doom(CXObject* o) { CScore::MarkForRemoval(o); }

void DoomStave(CStave* stave) {
  Doom(stave);
  for (CStaveObject* o : stave->Attached) Doom(o);
}

void DoomSystem(CStaff* system) {
  Doom(system);
  for (CStave* s : system->Staves) DoomStave(s);
  for (CMeasure* m : system->Measures) Doom(m);
}

// A system keeps its measures edge to edge after some of them go: each
// survivor starts where the one before it ends, and when the last measure
// goes the new last one reaches the system's right edge. The objects of a
// deleted measure pass to the survivor that now holds their left edge
// (by x alone, so that notes on ledger lines and texts beside the staves
// keep a measure too).
void CloseMeasureGaps(CStaff* system) {
  std::vector<CMeasure*> survivors;
  for (CMeasure* m : system->Measures)
    if (!Doomed(m)) survivors.push_back(m);
  const bool lastGone = Doomed(system->Measures.back());
  int left = system->Left;
  for (CMeasure* m : survivors) {
    m->Left = left;
    left = m->Right;
  }
  if (lastGone) survivors.back()->Right = std::max(survivors.back()->Left + 1, system->Right);
  auto holder = [&](int x) {
    for (CMeasure* m : survivors)
      if (m->Left <= x && x < m->Right) return m;
    return x < survivors.front()->Left ? survivors.front() : survivors.back();
  };
  for (CStave* s : system->Staves)
    for (CStaveObject* o : s->Attached)
      if (Doomed(o->OwnerMeasure) && !Doomed(o)) {
        CMeasure* m = holder(o->Left);
        o->OwnerMeasure = m;
        o->Measure = m->Number;
      }
}

}  // namespace

int DeleteSelection(CScore& score) {
  score.LastCaptured = nullptr;
  score.SetCurrent(nullptr, nullptr);
  const std::vector<CStaff*> systems = score.Staffs;

  // Systems, then staves (a system without staves goes too).
  for (CStaff* system : systems)
    if (system->Selected) DoomSystem(system);
  for (const auto& up : score.Objects())
    if (auto* stave = As<CStave>(up.get()); stave && stave->Selected && !Doomed(stave)) DoomStave(stave);
  for (CStaff* system : systems) {
    if (Doomed(system) || system->Staves.empty()) continue;
    if (std::all_of(system->Staves.begin(), system->Staves.end(), Doomed)) DoomSystem(system);
  }

  // Measures (a system without measures goes too).
  for (const auto& up : score.Objects())
    if (auto* m = As<CMeasure>(up.get()); m && m->Selected) Doom(m);
  for (CStaff* system : systems) {
    if (Doomed(system) || system->Measures.empty()) continue;
    if (std::none_of(system->Measures.begin(), system->Measures.end(), Doomed)) continue;
    if (std::all_of(system->Measures.begin(), system->Measures.end(), Doomed))
      DoomSystem(system);
    else
      CloseMeasureGaps(system);
  }

  // Chords lose their deleted notes: the rest stays a chord led by its first
  // note, or becomes a single note.
  std::map<int32_t, std::vector<CNote*>> chords;
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && n->Chord >= 0) chords[n->Chord].push_back(n);
  for (auto& [number, notes] : chords) {
    const bool touched = std::any_of(notes.begin(), notes.end(), [](CNote* n) { return n->Selected && !Doomed(n); });
    if (!touched) continue;
    std::vector<CNote*> kept;
    for (CNote* n : notes)
      if (!n->Selected && !Doomed(n)) kept.push_back(n);
    if (kept.size() == 1) {
      kept.front()->Chord = -1;
    } else {
      for (CNote* n : kept) n->Chord = kept.front()->Number;
    }
  }

  // Every other selected object; marks, beams and slurs of deleted notes go
  // with them.
  for (const auto& up : score.Objects())
    if (up->Selected) Doom(up.get());
  for (const auto& up : score.Objects())
    if (auto* mark = As<CMark>(up.get()); mark && Doomed(mark->NoteLink)) Doom(mark);

  std::vector<CStave*> lost;
  for (const auto& up : score.Objects())
    if (auto* stave = As<CStave>(up.get()); stave && !Doomed(stave))
      if (std::any_of(stave->Attached.begin(), stave->Attached.end(), Doomed)) lost.push_back(stave);

  score.RemoveMarkedObjects();
  score.AfterLoad();
  for (CStave* stave : lost) RespaceStave(score, *stave);
  return 1;
}
