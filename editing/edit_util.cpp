#include "editing/edit_util.h"

#include <algorithm>

#include "model/derived.h"

namespace editing {

CStaff* NewSystem(CScore& score, int top, int bottom, size_t at) {
  auto system = std::make_unique<CStaff>();
  CStaff* s = system.get();
  s->SetBounds(score.LeftMargin, top, score.PaperWidth - score.PageRightMargin, bottom);
  s->OwnerScore = &score;
  score.AddObject(std::move(system));
  at = std::min(at, score.Staffs.size());
  score.Staffs.insert(score.Staffs.begin() + static_cast<std::ptrdiff_t>(at), s);
  return s;
}

void RecomputeMeasureTicks(CScore& score, CStaff& system) {
  for (CMeasure* m : system.Measures)
    m->Ticks = (m->Style & MEASURE_ZERO_LENGTH) ? 0 : MeasureTicks(score.TimeBase, m->Numerator, m->Denominator);
}

void Shift(CXObject* o, int dx, int dy) {
  if (dx != 0 || dy != 0) o->MoveTo(o->Left + dx, o->Top + dy);
}

std::vector<CMark*> MarksOf(const CScore& score, const CXObject* target) {
  std::vector<CMark*> marks;
  if (!target) return marks;
  for (const auto& up : score.Objects())
    if (auto* m = As<CMark>(up.get()); m && m->NoteLink == target) marks.push_back(m);
  return marks;
}

int SystemIndex(const CScore& score, const CStaff* system) {
  auto it = std::find(score.Staffs.begin(), score.Staffs.end(), system);
  return it == score.Staffs.end() ? -1 : static_cast<int>(it - score.Staffs.begin());
}

CMeasure* MeasureAtX(const CStaff& system, int x) {
  if (system.Measures.empty()) return nullptr;
  for (CMeasure* m : system.Measures)
    if (m->Left <= x && x < m->Right) return m;
  return x < system.Measures.front()->Left ? system.Measures.front() : system.Measures.back();
}

CBracket* AddBrace(CScore& score, CStave* upper, CStave* lower) {
  auto brace = std::make_unique<CBracket>();
  brace->SetBounds(upper->Left - 12, upper->Top, upper->Left - 2, lower->Bottom);
  // The measure at the stave's left edge; a system whose measures are not
  // laid out yet gives its first one.
  CMeasure* measure = upper->OwnerStaff ? MeasureAtX(*upper->OwnerStaff, upper->Left) : nullptr;
  return Attach(score, upper, measure, std::move(brace));
}

}  // namespace editing
