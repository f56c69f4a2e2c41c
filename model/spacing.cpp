// Measure scale and the way from start ticks back to x positions.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "model/derived.h"
#include "model/score.h"

namespace {

// Sums of sign widths per measure of one system, widest stave wins.
void PadSystem(CStaff& staff) {
  std::unordered_map<const CMeasure*, int64_t> widest;
  std::unordered_map<const CMeasure*, int64_t> sums;
  for (CStave* stave : staff.Staves) {
    sums.clear();
    for (CStaveObject* o : stave->Attached)
      if (o->GetKind() == Kind::Sign && o->OwnerMeasure) sums[o->OwnerMeasure] += int64_t(o->Right) - o->Left;
    for (const auto& [m, sum] : sums) {
      auto [it, inserted] = widest.try_emplace(m, sum);
      if (!inserted) it->second = std::max(it->second, sum);
    }
  }
  for (CMeasure* m : staff.Measures) {
    auto it = widest.find(m);
    int64_t signs = it == widest.end() ? 0 : std::max<int64_t>(0, it->second);
    // Kept in a byte: very wide sign runs wrap.
    m->LeftPadding = static_cast<uint8_t>((signs + m->LeftMargin) & 0xFF);
  }
}

}  // namespace

void ComputeLeftPadding(CMeasure& measure) {
  int64_t widest = 0;
  if (measure.OwnerStaff)
    for (CStave* stave : measure.OwnerStaff->Staves) {
      int64_t sum = 0;
      for (CStaveObject* o : stave->Attached)
        if (o->GetKind() == Kind::Sign && o->OwnerMeasure == &measure) sum += int64_t(o->Right) - o->Left;
      widest = std::max(widest, sum);
    }
  measure.LeftPadding = static_cast<uint8_t>((widest + measure.LeftMargin) & 0xFF);
}

void ComputeUnitsPerTick(CMeasure& measure) {
  if (measure.Ticks == 0) return;
  measure.UnitsPerTick =
      (double(measure.Right) - measure.RightPadding - measure.LeftPadding - measure.Left) / double(measure.Ticks);
}

int TickToX(const CMeasure& measure, int32_t tick) {
  double x = double(measure.Left) + measure.LeftPadding + (double(tick) - measure.Start) * measure.UnitsPerTick;
  return static_cast<int>(std::clamp(std::trunc(x), -2147483648.0, 2147483647.0));
}

void RespaceStave(CScore& score, CStave& stave) {
  // Chord members and marks of the stave's notes, to move with them.
  std::unordered_map<int32_t, std::vector<CNote*>> members;
  std::unordered_map<const CXObject*, std::vector<CMark*>> marks;
  for (const auto& up : score.Objects()) {
    if (auto* m = As<CMark>(up.get())) {
      if (m->NoteLink) marks[m->NoteLink].push_back(m);
    } else if (auto* n = As<CNote>(up.get())) {
      if (n->OwnerStave == &stave && n->Chord >= 0 && n->Chord != n->Number) members[n->Chord].push_back(n);
    }
  }
  auto shift = [&](CXObject* o, int dx) {
    o->MoveTo(o->Left + dx, o->Top);
    if (auto it = marks.find(o); it != marks.end())
      for (CMark* m : it->second) m->MoveTo(m->Left + dx, m->Top);
  };
  const std::vector<CStaveObject*> attached = stave.Attached;  // moving does not reorder, but be safe
  for (CStaveObject* o : attached) {
    auto* n = As<CNote>(o);
    if (!n || !n->OwnerMeasure) continue;
    if (n->Chord >= 0 && n->Chord != n->Number) continue;
    int x = TickToX(*n->OwnerMeasure, n->Start);
    int dx = x - n->Left;
    if (dx == 0) continue;
    n->PlaceAt(x, n->Y);
    if (auto it = marks.find(n); it != marks.end())
      for (CMark* m : it->second) m->MoveTo(m->Left + dx, m->Top);
    if (n->Chord == n->Number)
      if (auto it = members.find(n->Number); it != members.end())
        for (CNote* member : it->second) shift(member, dx);
  }
}

void ComputeVisualMidiStart(CVisualMidi& object) {
  CStave* stave = object.OwnerStave;
  if (!stave || !stave->OwnerStaff) return;
  const CNote* nearest = nullptr;
  int64_t best = 0;
  for (CStaveObject* o : stave->Attached)
    if (auto* n = As<CNote>(o)) {
      int64_t d = std::llabs(int64_t(n->Left) - object.Left);
      if (!nearest || d < best) {
        nearest = n;
        best = d;
      }
    }
  int32_t start = nearest ? nearest->Start : (object.OwnerMeasure ? object.OwnerMeasure->Start : 0);
  object.Start = std::max(start, 0);
}

void CScore::AfterLoad() {
  UpdateDerived();
  for (CStaff* staff : Staffs) {
    PadSystem(*staff);
    for (CMeasure* m : staff->Measures) ComputeUnitsPerTick(*m);
  }
}
