// Structure checks for scores after editing operations.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "model/score.h"

// Every link names a live object of the score, Numbers are unique, the
// selection count is right and every stave lies in exactly one system.
inline ::testing::AssertionResult CheckStructure(const CScore& score) {
  std::ostringstream why;
  std::unordered_set<const CXObject*> live;
  std::unordered_set<int32_t> numbers;
  int selected = 0;
  for (const auto& up : score.Objects()) {
    live.insert(up.get());
    if (!numbers.insert(up->Number).second) why << "Number " << up->Number << " is used twice; ";
    if (up->Selected) ++selected;
  }
  auto alive = [&](const CXObject* o) { return o == nullptr || live.count(o) > 0; };
  if (selected != score.SelectedCount)
    why << "SelectedCount " << score.SelectedCount << " but " << selected << " selected; ";

  std::unordered_map<const CStave*, int> staveLists;
  std::unordered_set<const CStaff*> listed;
  for (const CStaff* system : score.Staffs) {
    if (!live.count(system)) {
      why << "a system in the list is not in the score; ";
      continue;
    }
    if (!listed.insert(system).second) why << "system " << system->Number << " is listed twice; ";
    for (const CStave* s : system->Staves) {
      if (!live.count(s)) why << "system " << system->Number << " lists a dead stave; ";
      else if (s->OwnerStaff != system) why << "stave " << s->Number << " names another owner; ";
      ++staveLists[s];
    }
    for (const CMeasure* m : system->Measures) {
      if (!live.count(m)) why << "system " << system->Number << " lists a dead measure; ";
      else if (m->OwnerStaff != system) why << "measure " << m->Number << " names another owner; ";
    }
  }
  for (const auto& up : score.Objects()) {
    const CXObject* o = up.get();
    if (auto* system = As<CStaff>(o); system && !listed.count(system))
      why << "system " << o->Number << " is missing from the list; ";
    if (auto* s = As<CStave>(o)) {
      if (staveLists[s] != 1) why << "stave " << s->Number << " lies in " << staveLists[s] << " system lists; ";
      if (!alive(s->OwnerStaff)) why << "stave " << s->Number << " has a dead owner; ";
      if (s->OwnerStaff && s->Staff != s->OwnerStaff->Number)
        why << "stave " << s->Number << " Staff field differs; ";
      for (const CStaveObject* a : s->Attached) {
        if (!live.count(a)) why << "stave " << s->Number << " lists a dead object; ";
        else if (a->OwnerStave != s) why << "object " << a->Number << " is listed by a stave it does not name; ";
      }
    }
    if (auto* m = As<CMeasure>(o)) {
      if (!alive(m->OwnerStaff)) why << "measure " << m->Number << " has a dead owner; ";
      if (m->OwnerStaff && m->Staff != m->OwnerStaff->Number) why << "measure " << m->Number << " Staff field differs; ";
    }
    if (auto* so = As<CStaveObject>(o)) {
      if (!alive(so->OwnerStave)) why << "object " << o->Number << " has a dead stave; ";
      if (!alive(so->OwnerMeasure)) why << "object " << o->Number << " has a dead measure; ";
      if (so->OwnerStave && live.count(so->OwnerStave)) {
        if (so->Stave != so->OwnerStave->Number) why << "object " << o->Number << " Stave field differs; ";
        const auto& list = so->OwnerStave->Attached;
        if (std::count(list.begin(), list.end(), so) != 1)
          why << "object " << o->Number << " is not listed once by its stave; ";
      }
      if (so->OwnerMeasure && so->Measure != so->OwnerMeasure->Number)
        why << "object " << o->Number << " Measure field differs; ";
      if (auto* mark = As<CMark>(so); mark && !alive(mark->NoteLink))
        why << "mark " << o->Number << " links a dead object; ";
    }
  }
  if (!alive(score.CurrentStave)) why << "CurrentStave is dead; ";
  if (!alive(score.CurrentMeasure)) why << "CurrentMeasure is dead; ";
  if (!alive(score.LastCaptured)) why << "LastCaptured is dead; ";
  if (score.CurrentStave && score.CurrentStaveNumber != score.CurrentStave->Number)
    why << "CurrentStaveNumber differs; ";
  if (score.CurrentMeasure && score.CurrentMeasureNumber != score.CurrentMeasure->Number)
    why << "CurrentMeasureNumber differs; ";
  const std::string text = why.str();
  if (text.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text;
}

// The page layout the structural operations keep (after the recalculation
// pass): staves span their system inside it, measures lie edge to edge
// across it, and every stave object with a measure has it in its own system.
inline ::testing::AssertionResult CheckLayout(const CScore& score) {
  std::ostringstream why;
  for (const CStaff* system : score.Staffs) {
    for (const CStave* s : system->Staves) {
      if (s->Left != system->Left || s->Right != system->Right)
        why << "stave " << s->Number << " does not span system " << system->Number << "; ";
      if (s->Top < system->Top || s->Bottom > system->Bottom)
        why << "stave " << s->Number << " sticks out of system " << system->Number << "; ";
      for (const CStaveObject* o : s->Attached)
        if (o->OwnerMeasure && o->OwnerMeasure->OwnerStaff != system)
          why << "object " << o->Number << " has a measure of another system; ";
    }
    int edge = system->Left;
    for (const CMeasure* m : system->Measures) {
      if (m->Left != edge) why << "measure " << m->Number << " does not start where the one before ends; ";
      if (m->Right <= m->Left) why << "measure " << m->Number << " is empty; ";
      edge = m->Right;
    }
    if (!system->Measures.empty() && edge != system->Right)
      why << "the measures of system " << system->Number << " end at " << edge << ", not " << system->Right << "; ";
  }
  for (size_t i = 1; i < score.Staffs.size(); ++i)
    if (score.Staffs[i]->Top < score.Staffs[i - 1]->Bottom)
      why << "systems " << score.Staffs[i - 1]->Number << " and " << score.Staffs[i]->Number << " overlap; ";
  const std::string text = why.str();
  if (text.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text;
}
