// What every fuzz target checks of a score it made: unique Numbers, an exact
// selection count, and links that name live objects of the right owner.
#pragma once

#include <unordered_set>

#include "model/score.h"

// Null when the score is sound, else what is wrong.
inline const char* Unsound(const CScore& score) {
  std::unordered_set<const CXObject*> live;
  std::unordered_set<int32_t> numbers;
  int selected = 0;
  for (const auto& up : score.Objects()) {
    live.insert(up.get());
    if (!numbers.insert(up->Number).second) return "two objects share a Number";
    if (up->Selected) ++selected;
  }
  if (selected != score.SelectedCount) return "the selection count is wrong";
  auto alive = [&](const CXObject* o) { return !o || live.count(o); };
  for (const CStaff* system : score.Staffs) {
    if (!live.count(system)) return "a system is not live";
    for (const CStave* s : system->Staves)
      if (!live.count(s) || s->OwnerStaff != system) return "a system's stave names another system";
    for (const CMeasure* m : system->Measures)
      if (!live.count(m) || m->OwnerStaff != system) return "a system's measure names another system";
  }
  for (const auto& up : score.Objects()) {
    if (auto* s = As<CStave>(up.get())) {
      for (const CStaveObject* o : s->Attached)
        if (!live.count(o) || o->OwnerStave != s) return "a stave lists an object that is dead or names another stave";
    } else if (auto* so = As<CStaveObject>(up.get())) {
      if (!alive(so->OwnerStave) || !alive(so->OwnerMeasure)) return "a stave object's stave or measure is dead";
      if (auto* mark = As<CMark>(so); mark && !alive(mark->NoteLink)) return "a mark's note link is dead";
    }
  }
  return nullptr;
}

inline bool Sound(const CScore& score) { return Unsound(score) == nullptr; }
