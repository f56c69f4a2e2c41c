// Measure scale and the way from start ticks back to x positions.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

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
  const std::vector<BeamEndAnchor> beams = AnchorBeamEnds({&stave});
  for (const auto& up : score.Objects()) {
    if (auto* m = As<CMark>(up.get())) {
      if (m->NoteLink && m->GetKind() != Kind::Beam) marks[m->NoteLink].push_back(m);
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
  FollowBeamEnds(beams);
}

void RespaceMeasure(CScore& score, CMeasure& measure) {
  CStaff* system = measure.OwnerStaff;
  if (!system) return;
  // The notes to place: chord leaders and single notes of this measure.
  std::vector<CNote*> leaders;
  std::unordered_set<const CXObject*> moving;
  std::unordered_set<const CStave*> staves(system->Staves.begin(), system->Staves.end());
  std::set<std::pair<const CStave*, int32_t>> chords;
  for (CStave* stave : system->Staves)
    for (CStaveObject* o : stave->Attached) {
      auto* n = As<CNote>(o);
      if (!n || n->OwnerMeasure != &measure) continue;
      if (n->Chord >= 0 && n->Chord != n->Number) continue;
      leaders.push_back(n);
      moving.insert(n);
      if (n->Chord == n->Number) chords.emplace(stave, n->Number);
    }
  if (leaders.empty()) return;

  // Their chord members (same stave) and the marks of both, in one walk.
  std::map<std::pair<const CStave*, int32_t>, std::vector<CNote*>> members;
  std::vector<CMark*> linked;
  const std::vector<BeamEndAnchor> beams = AnchorBeamEnds(system->Staves);
  for (const auto& up : score.Objects()) {
    if (auto* m = As<CMark>(up.get())) {
      if (m->NoteLink && m->GetKind() != Kind::Beam) linked.push_back(m);
    } else if (auto* n = As<CNote>(up.get())) {
      if (n->Chord >= 0 && n->Chord != n->Number && staves.count(n->OwnerStave))
        if (const std::pair<const CStave*, int32_t> key{n->OwnerStave, n->Chord}; chords.count(key)) {
          members[key].push_back(n);
          moving.insert(n);
        }
    }
  }
  std::unordered_map<const CXObject*, std::vector<CMark*>> marks;
  for (CMark* m : linked)
    if (moving.count(m->NoteLink)) marks[m->NoteLink].push_back(m);

  auto moveMarks = [&](const CXObject* o, int dx) {
    if (auto it = marks.find(o); it != marks.end())
      for (CMark* m : it->second) m->MoveTo(m->Left + dx, m->Top);
  };
  for (CNote* n : leaders) {
    int x = TickToX(measure, n->Start);
    int dx = x - n->Left;
    if (dx == 0) continue;
    n->PlaceAt(x, n->Y);
    moveMarks(n, dx);
    if (n->Chord == n->Number)
      if (auto it = members.find({n->OwnerStave, n->Number}); it != members.end())
        for (CNote* member : it->second) {
          member->MoveTo(member->Left + dx, member->Top);
          moveMarks(member, dx);
        }
  }
  FollowBeamEnds(beams);
}

std::vector<BeamEndAnchor> AnchorBeamEnds(const std::vector<CStave*>& staves) {
  constexpr int kHook = 8;       // a hook's length from its stem
  constexpr int kReach = 12;     // how far an end may lie from its note's anchor
  std::vector<CNote*> notes;
  std::vector<CBeam*> beams;
  for (CStave* stave : staves) {
    if (!stave) continue;
    for (CStaveObject* o : stave->Attached) {
      if (o->GetKind() == Kind::Note) notes.push_back(static_cast<CNote*>(o));
      else if (o->GetKind() == Kind::Beam) beams.push_back(static_cast<CBeam*>(o));
    }
  }
  std::vector<BeamEndAnchor> out;
  if (beams.empty() || notes.empty()) return out;
  std::sort(notes.begin(), notes.end(), [](const CNote* a, const CNote* b) { return a->X < b->X; });
  auto nearest = [&](int x) -> CNote* {
    auto it = std::lower_bound(notes.begin(), notes.end(), x, [](const CNote* n, int v) { return n->X < v; });
    CNote* best = nullptr;
    int64_t bestDistance = kReach + 1;
    for (auto j : {it, it == notes.begin() ? it : it - 1})
      if (j != notes.end()) {
        const int64_t d = std::llabs(int64_t((*j)->X) - x);
        if (d < bestDistance) {
          bestDistance = d;
          best = *j;
        }
      }
    return best;
  };
  out.reserve(beams.size());
  for (CBeam* b : beams) {
    BeamEndAnchor a;
    a.Beam = b;
    a.Start = nearest(b->X);
    if (a.Start) a.StartOffset = b->X - a.Start->X;
    const bool hook = std::llabs(int64_t(b->X1) - b->X) == kHook;
    a.End = hook ? a.Start : nearest(b->X1);
    if (a.End) a.EndOffset = b->X1 - a.End->X;
    if (a.Start || a.End) out.push_back(a);
  }
  return out;
}

void FollowBeamEnds(const std::vector<BeamEndAnchor>& anchors) {
  for (const BeamEndAnchor& a : anchors) {
    CBeam* b = a.Beam;
    const int x = a.Start ? a.Start->X + a.StartOffset : b->X;
    const int x1 = a.End ? a.End->X + a.EndOffset : b->X1;
    if (x == b->X && x1 == b->X1) continue;
    b->X = x;
    b->X1 = x1;
    b->SetBounds(b->X, b->Y, b->X1, b->Y1);
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
