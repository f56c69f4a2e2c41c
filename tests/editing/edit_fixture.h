// A new document to edit, with shortcuts to its staves and measures.
#pragma once

#include <vector>

#include "editing/insert.h"
#include "invariants.h"
#include "model/score.h"

struct NewDocument {
  CScore score;
  NewDocument() { SetUpNewDocument(score); }
  CStaff* System(size_t i = 0) { return score.Staffs.at(i); }
  CStave* Stave(size_t i, size_t system = 0) { return System(system)->Staves.at(i); }
  CMeasure* Measure(size_t i, size_t system = 0) { return System(system)->Measures.at(i); }
  // Makes a stave and measure the insertion point.
  void At(size_t stave, size_t measure, size_t system = 0) {
    score.SetCurrent(Stave(stave, system), Measure(measure, system));
  }
  // The y of a point `dy` below a stave's top line.
  int Y(size_t stave, int dy, size_t system = 0) { return Stave(stave, system)->Top + dy; }
  // Right end of a measure's note area: inserting there appends.
  int End(size_t measure, size_t system = 0) { return Measure(measure, system)->Right - 2; }

  template <typename T>
  std::vector<T*> All() {
    std::vector<T*> out;
    for (const auto& up : score.Objects())
      if (up->GetKind() == T::kKind) out.push_back(static_cast<T*>(up.get()));
    return out;
  }
  template <typename T>
  std::vector<T*> On(CStave* stave, CMeasure* measure) {
    std::vector<T*> out;
    for (CStaveObject* o : stave->Attached)
      if (o->GetKind() == T::kKind && o->OwnerMeasure == measure) out.push_back(static_cast<T*>(o));
    return out;
  }
  void Select(CXObject* o) {
    if (!o->Selected) ++score.SelectedCount;
    o->Selected = 1;
  }
};
