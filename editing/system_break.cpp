// Breaking a system at the caret and merging selected systems.
//
// Rules (both keep every measure with its stave objects, so the order of
// measures and notes, hence every start tick, stays as it was):
//
// Break (BreakSystem, at the caret's stave, measure and x):
// - The caret's measure is the given one, or the one of its system under x.
//   When x lies in the measure's right half the break comes after it,
//   otherwise before it. A break before the first measure or after the last
//   changes nothing (result 0).
// - A new system goes right below, one system gap (SystemSpace + StaveSpace)
//   under the old one, with the same height; every system below moves down
//   by that height plus the gap.
// - It gets one stave per stave of the old system, at the same offsets and
//   with the same line space, voice, channel and patch.
// - The measures from the break on move to the new system with every object
//   attached to them, each object to the new stave that matches its old one.
// - Each new stave starts with a copy of the clef and the key signature in
//   force at the break (unless its first measure already begins with one),
//   so pitches stay what they were.
// - The braces and brackets of the old system are copied to the new one.
// - Both systems are re-spread to the page width: the sign run and right
//   padding of each measure keep their size, the note areas share the rest
//   in proportion to their old widths and stretch or shrink evenly inside.
//   A note area shrinks to half at most; a line that would need more reaches
//   past the page's right margin, as after inserting measures.
//
// Merge (MergeSystems, on the selection):
// - Each run of consecutive selected systems (top to bottom) whose stave
//   counts equal the run's first system joins into that first system; a run
//   of one does nothing.
// - The later systems' measures are appended in order, their objects moved
//   to the first system's stave of the same index; their braces and brackets
//   are deleted, then the emptied systems and staves.
// - An opening clef or key signature of a later system that equals the one
//   in force on its stave is deleted (it changes no pitch); a different one
//   stays as a change of clef or key inside the line.
// - The systems below move up by the height that was freed.
// - The joined system is re-spread to the page width as for a break.
#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_map>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "model/derived.h"
#include "model/score.h"

using namespace editing;

namespace {

// Where one measure goes: its old and new extent, its sign run, and how far
// the signs of each stave move for signs put in front of them.
struct MeasureMove {
  CMeasure* measure = nullptr;
  int oldLeft = 0, oldRight = 0, pad = 0;
  int newLeft = 0, newRight = 0;
  int extra = 0;  // width of the widest run of signs put at its start
};

// Far-off coordinates (a damaged file) make sums beyond int; they are
// worked out in 64 bits and brought back within int's range.
int SaturateToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

int MapX(const MeasureMove& mv, int x, int signShift) {
  const int64_t margin = mv.measure->LeftMargin;
  if (x < int64_t(mv.oldLeft) + margin) return SaturateToInt(int64_t(x) - mv.oldLeft + mv.newLeft);
  const int64_t signsEnd = int64_t(mv.oldLeft) + mv.pad;
  if (x < signsEnd) return SaturateToInt(int64_t(x) - mv.oldLeft + mv.newLeft + signShift);
  // The note area scales; rounding down keeps what lay inside the measure
  // inside it, in the same order.
  const int64_t areaStart = int64_t(mv.newLeft) + mv.pad + mv.extra;
  const double oldArea = double(mv.oldRight) - double(signsEnd);
  const double newArea = double(mv.newRight) - double(areaStart);
  const double scale = (oldArea > 0 && newArea > 0) ? newArea / oldArea : 1.0;
  const double offset = std::clamp(std::floor(double(x - signsEnd) * scale), -4e9, 4e9);
  const int mapped = SaturateToInt(areaStart + static_cast<int64_t>(offset));
  return x < mv.oldRight ? std::min(mapped, mv.newRight - 1) : mapped;
}

// Moves an object with its measure (and down by dy); the second and shaping
// points of lines, beams and slurs follow the same mapping.
void Relocate(CStaveObject* o, const MeasureMove& mv, int dy, int signShift) {
  auto map = [&](int x) { return MapX(mv, x, signShift); };
  if (auto* line = As<CXLine>(o)) {
    const int x1 = line->X1;
    line->MoveTo(map(line->Left), line->Top + dy);
    line->X1 = map(x1);
    line->BoundsFromPoints();
  } else if (auto* beam = As<CBeam>(o)) {
    const int x1 = beam->X1;
    beam->MoveTo(map(beam->Left), beam->Top + dy);
    beam->X1 = map(x1);
  } else if (auto* slur = As<CSlurLine>(o)) {
    const int x1 = slur->X1, x2 = slur->X2;
    slur->MoveTo(map(slur->Left), slur->Top + dy);
    slur->X1 = map(x1);
    slur->X2 = map(x2);
  } else {
    o->MoveTo(map(o->Left), o->Top + dy);
  }
}

// New edges for measures laid side by side from `left`, filling the page
// up to `pageRight`: each measure's sign run and right padding keep their
// size and the note areas share the rest in proportion. Note areas shrink to
// half at most; a line that needs more reaches past the page (as one does
// after inserting measures) and can be broken again. Returns the right edge.
int Spread(std::vector<MeasureMove>& moves, int left, int pageRight) {
  std::vector<double> fixed, elastic;
  double sumFixed = 0, sumElastic = 0;
  for (const MeasureMove& mv : moves) {
    const double width = std::max(1.0, double(mv.oldRight) - mv.oldLeft) + mv.extra;
    const double f = std::min(width - 1, double(mv.pad + mv.extra + mv.measure->RightPadding));
    fixed.push_back(f);
    elastic.push_back(width - f);
    sumFixed += f;
    sumElastic += width - f;
  }
  double scale = (pageRight - left - sumFixed) / sumElastic;
  const bool fits = scale >= 0.5;
  if (!fits) scale = 0.5;
  double run = 0;
  int edge = left;
  for (size_t i = 0; i < moves.size(); ++i) {
    MeasureMove& mv = moves[i];
    run += fixed[i] + elastic[i] * scale;
    mv.newLeft = edge;
    mv.newRight = (fits && i + 1 == moves.size()) ? pageRight : SaturateToInt(int64_t(left) + std::llround(std::min(run, 4e9)));
    mv.newRight = std::max(mv.newRight, mv.newLeft + 1);
    edge = mv.newRight;
  }
  return edge;
}

MeasureMove Record(CMeasure* m) {
  MeasureMove mv;
  mv.measure = m;
  mv.oldLeft = m->Left;
  mv.oldRight = m->Right;
  mv.pad = m->LeftPadding;
  return mv;
}

void ApplyEdges(const std::vector<MeasureMove>& moves, CStaff& system) {
  for (const MeasureMove& mv : moves) {
    mv.measure->Left = mv.newLeft;
    mv.measure->Right = mv.newRight;
    mv.measure->Top = system.Top;
    mv.measure->Bottom = system.Bottom;
  }
}

void Rescale(CStaff& system) {
  for (CMeasure* m : system.Measures) {
    ComputeLeftPadding(*m);
    ComputeUnitsPerTick(*m);
  }
}

void SortAttached(CStave& stave) {
  std::stable_sort(stave.Attached.begin(), stave.Attached.end(),
                   [](const CStaveObject* a, const CStaveObject* b) { return a->Left < b->Left; });
}

void Reattach(CStaveObject* o, CStave* from, CStave* to) {
  if (from == to) return;
  std::erase(from->Attached, o);
  to->Attached.push_back(o);
  o->OwnerStave = to;
  o->Stave = to->Number;
}

bool AltersKey(int value) { return (value >= 257 && value <= 263) || (value >= 273 && value <= 279); }

int PageRight(const CScore& score) { return score.PaperWidth - score.PageRightMargin; }

}  // namespace

int BreakSystem(CScore& score, CStave* stave, CMeasure* measure, int x) {
  CStaff* system = measure ? measure->OwnerStaff : (stave ? stave->OwnerStaff : nullptr);
  const int index = SystemIndex(score, system);
  if (index < 0 || system->Staves.empty() || system->Measures.empty()) return 0;
  auto& measures = system->Measures;
  if (!measure || std::find(measures.begin(), measures.end(), measure) == measures.end())
    measure = MeasureAtX(*system, x);
  size_t k = static_cast<size_t>(std::find(measures.begin(), measures.end(), measure) - measures.begin());
  if (x >= (measure->Left + measure->Right) / 2) ++k;
  if (k == 0 || k >= measures.size()) return 0;

  const int height = system->Bottom - system->Top;
  const int gap = score.SystemSpace + score.StaveSpace;
  const int systemTop = system->Top;
  for (CStaff* other : score.Staffs)
    if (other != system && other->Top > systemTop) other->MoveTo(other->Left, other->Top + height + gap);

  const int right = std::max(system->Left + 1, PageRight(score));
  CStaff* added = NewSystem(score, system->Bottom + gap, system->Bottom + gap + height, size_t(index) + 1);
  added->Left = system->Left;
  added->Right = right;
  added->Spacing = system->Spacing;
  added->Layer = system->Layer;
  const int dy = added->Top - system->Top;

  std::unordered_map<CStave*, CStave*> staveOf;
  for (CStave* old : system->Staves) {
    CStave* s = score.MakeStave(added, old->Top + dy);
    s->CopyFrom(old);
    s->Layer = old->Layer;
    s->SetBounds(added->Left, old->Top + dy, added->Right, old->Bottom + dy);
    staveOf[old] = s;
  }

  // What each new stave must start with to keep its pitches.
  std::unordered_map<const CMeasure*, size_t> order;
  for (size_t i = 0; i < measures.size(); ++i) order[measures[i]] = i;
  CMeasure* firstMoved = measures[k];
  struct Lead {
    int clef = -1, key = -1;
    bool hasClef = false, hasKey = false;
    int width = 0;
  };
  std::unordered_map<CStave*, Lead> leads;
  int extra = 0;
  for (CStave* old : system->Staves) {
    Lead& lead = leads[old];
    bool noteSeen = false;  // a clef or key after the first note of the measure is a change, not an opening
    for (CStaveObject* o : old->Attached) {
      if (!o->OwnerMeasure) continue;
      auto it = order.find(o->OwnerMeasure);
      if (it == order.end()) continue;
      if (o->OwnerMeasure == firstMoved && As<CNote>(o)) noteSeen = true;
      if (o->KindCode() != Kind::Sign) continue;
      if (it->second < k) {
        if (o->Style == SIGN_CLEF) lead.clef = o->Value;
        else if (o->Style == SIGN_KEY && o->Value >= 256) lead.key = o->Value;
      } else if (o->OwnerMeasure == firstMoved && !noteSeen) {
        if (o->Style == SIGN_CLEF) lead.hasClef = true;
        else if (o->Style == SIGN_KEY) lead.hasKey = true;
      }
    }
    if (lead.hasClef) lead.clef = -1;
    if (lead.hasKey || !AltersKey(lead.key)) lead.key = -1;
    CSign probe;
    if (lead.clef >= 0) {
      probe.Style = SIGN_CLEF;
      probe.Value = lead.clef;
      probe.PlaceAt(0, 0);
      lead.width += probe.Right - probe.Left;
    }
    if (lead.key >= 0) {
      probe.Style = SIGN_KEY;
      probe.Value = lead.key;
      probe.PlaceAt(0, 0);
      lead.width += probe.Right - probe.Left;
    }
    extra = std::max(extra, lead.width);
  }

  std::vector<MeasureMove> kept, moved;
  for (size_t i = 0; i < measures.size(); ++i) (i < k ? kept : moved).push_back(Record(measures[i]));
  moved.front().extra = extra;
  const int keptRight = Spread(kept, system->Left, right);
  added->Right = Spread(moved, added->Left, right);
  for (auto& [old, s] : staveOf) s->Right = added->Right;
  std::unordered_map<const CMeasure*, const MeasureMove*> moveOf;
  for (const MeasureMove& mv : kept) moveOf[mv.measure] = &mv;
  for (const MeasureMove& mv : moved) moveOf[mv.measure] = &mv;

  // Beam ends stay on their stems, which move with their note heads rather
  // than by the note area's scale.
  const std::vector<BeamEndAnchor> beams = AnchorBeamEnds(system->Staves);
  for (CStave* old : system->Staves) {
    CStave* target = staveOf[old];
    const std::vector<CStaveObject*> attached = old->Attached;
    for (CStaveObject* o : attached) {
      auto it = o->OwnerMeasure ? moveOf.find(o->OwnerMeasure) : moveOf.end();
      if (it == moveOf.end()) continue;
      const bool goes = order[o->OwnerMeasure] >= k;
      const int shift = o->OwnerMeasure == firstMoved ? leads[old].width : 0;
      Relocate(o, *it->second, goes ? dy : 0, shift);
      if (goes) Reattach(o, old, target);
    }
  }
  FollowBeamEnds(beams);
  for (CStave* old : system->Staves) {
    SortAttached(*old);
    SortAttached(*staveOf[old]);
  }

  // Measures change hands.
  for (size_t i = k; i < measures.size(); ++i) {
    CMeasure* m = measures[i];
    m->OwnerStaff = added;
    m->Staff = added->Number;
    added->Measures.push_back(m);
  }
  measures.resize(k);
  system->Right = keptRight;
  for (CStave* s : system->Staves) {
    s->Left = system->Left;
    s->Right = keptRight;
  }
  ApplyEdges(kept, *system);
  ApplyEdges(moved, *added);

  // The new staves' opening signs and the copied braces.
  for (CStave* old : system->Staves) {
    CStave* target = staveOf[old];
    const Lead& lead = leads[old];
    int at = firstMoved->Left + firstMoved->LeftMargin;
    for (int category : {SIGN_CLEF, SIGN_KEY}) {
      const int value = category == SIGN_CLEF ? lead.clef : lead.key;
      if (value < 0) continue;
      auto sign = std::make_unique<CSign>();
      sign->Style = category;
      sign->Value = value;
      sign->PlaceAt(at, target->Top);
      at = sign->Right;
      Attach(score, target, firstMoved, std::move(sign));
    }
    const std::vector<CStaveObject*> attached = old->Attached;
    for (CStaveObject* o : attached)
      if (o->KindCode() == Kind::Bracket) {
        auto copy = std::make_unique<CBracket>();
        copy->CopyFrom(o);
        copy->Layer = o->Layer;
        copy->MoveTo(o->Left - system->Left + added->Left, o->Top + dy);
        Attach(score, target, added->Measures.front(), std::move(copy));
      }
  }
  Rescale(*system);
  Rescale(*added);

  // The caret follows its measure.
  if (score.CurrentMeasure && score.CurrentMeasure->OwnerStaff == added) {
    auto it = staveOf.find(score.CurrentStave);
    score.SetCurrent(it != staveOf.end() ? it->second : added->Staves.front(), score.CurrentMeasure);
  }
  return 1;
}

namespace {

// Joins the later systems of the run into its first.
void MergeRun(CScore& score, std::vector<CStaff*> run) {
  CStaff* first = run.front();
  const int right = std::max(first->Left + 1, PageRight(score));
  const int freed = run.back()->Bottom - first->Bottom;
  const int lastTop = run.back()->Top;

  // A later system's opening clef or key signature that repeats the one in
  // force on its stave goes: inside one line it would only repeat itself.
  // Signs after it in its measure close up; the note area moves left by the
  // width every stave lost.
  std::unordered_map<const CStaveObject*, int> signShift;
  std::unordered_map<const CMeasure*, int> narrower;
  std::vector<int> clef(first->Staves.size(), -1), key(first->Staves.size(), -1);
  for (CStaff* s : run) {
    int lost = -1;
    for (size_t i = 0; i < s->Staves.size(); ++i) {
      CStave* stave = s->Staves[i];
      int removedWidth = 0;
      if (s != first && !s->Measures.empty()) {
        const CMeasure* opening = s->Measures.front();
        std::vector<CStaveObject*> removed;
        bool clefSeen = false, keySeen = false;
        for (CStaveObject* o : stave->Attached) {
          if (o->KindCode() != Kind::Sign || o->OwnerMeasure != opening) continue;
          if (o->Style == SIGN_CLEF && !clefSeen) {
            clefSeen = true;
            if (o->Value == clef[i]) removed.push_back(o);
          } else if (o->Style == SIGN_KEY && !keySeen) {
            keySeen = true;
            if (o->Value == key[i]) removed.push_back(o);
          }
        }
        for (CStaveObject* r : removed) {
          CScore::MarkForRemoval(r);
          removedWidth += r->Right - r->Left;
        }
        for (CStaveObject* o : stave->Attached)
          if (o->OwnerMeasure == opening && !(o->Transient & 1))
            for (CStaveObject* r : removed)
              if (r->Left < o->Left) signShift[o] -= r->Right - r->Left;
        lost = lost < 0 ? removedWidth : std::min(lost, removedWidth);
      }
      for (CStaveObject* o : stave->Attached)
        if (o->KindCode() == Kind::Sign && !(o->Transient & 1)) {
          if (o->Style == SIGN_CLEF) clef[i] = o->Value;
          else if (o->Style == SIGN_KEY && o->Value >= 256) key[i] = o->Value;
        }
    }
    if (lost > 0) narrower[s->Measures.front()] = lost;
  }

  std::vector<MeasureMove> moves;
  for (CStaff* s : run)
    for (CMeasure* m : s->Measures) {
      moves.push_back(Record(m));
      if (auto it = narrower.find(m); it != narrower.end()) moves.back().extra = -it->second;
    }
  const int joinedRight = Spread(moves, first->Left, right);
  std::unordered_map<const CMeasure*, const MeasureMove*> moveOf;
  for (const MeasureMove& mv : moves) moveOf[mv.measure] = &mv;

  std::vector<CStave*> runStaves;
  for (CStaff* s : run) runStaves.insert(runStaves.end(), s->Staves.begin(), s->Staves.end());
  const std::vector<BeamEndAnchor> beams = AnchorBeamEnds(runStaves);
  CStave* current = score.CurrentStave;
  for (CStaff* s : run) {
    for (size_t i = 0; i < s->Staves.size(); ++i) {
      CStave* from = s->Staves[i];
      CStave* to = first->Staves[i];
      const int dy = to->Top - from->Top;
      if (current == from) current = to;
      const std::vector<CStaveObject*> attached = from->Attached;
      for (CStaveObject* o : attached) {
        if (o->Transient & 1) continue;  // a repeated opening sign
        if (s != first && o->KindCode() == Kind::Bracket) {
          CScore::MarkForRemoval(o);
          continue;
        }
        auto it = o->OwnerMeasure ? moveOf.find(o->OwnerMeasure) : moveOf.end();
        if (it != moveOf.end())
          Relocate(o, *it->second, dy, signShift.count(o) ? signShift[o] : 0);
        else if (s != first)
          o->MoveTo(o->Left, o->Top + dy);
        if (s != first) Reattach(o, from, to);
      }
      if (s != first) CScore::MarkForRemoval(from);
    }
    if (s != first) {
      for (CMeasure* m : s->Measures) {
        m->OwnerStaff = first;
        m->Staff = first->Number;
        first->Measures.push_back(m);
      }
      s->Measures.clear();
      CScore::MarkForRemoval(s);
    }
  }
  FollowBeamEnds(beams);
  for (CStave* s : first->Staves) SortAttached(*s);
  first->Right = joinedRight;
  for (CStave* s : first->Staves) {
    s->Left = first->Left;
    s->Right = joinedRight;
  }
  ApplyEdges(moves, *first);
  if (freed > 0)
    for (CStaff* other : score.Staffs)
      if (other->Top > lastTop && std::find(run.begin(), run.end(), other) == run.end())
        other->MoveTo(other->Left, other->Top - freed);
  CMeasure* measure = score.CurrentMeasure;
  score.RemoveMarkedObjects();
  if (current != score.CurrentStave && current && current->OwnerStaff == first) score.SetCurrent(current, measure);
  Rescale(*first);
}

}  // namespace

int MergeSystems(CScore& score) {
  int changed = 0;
  const std::vector<CStaff*> systems = score.Staffs;
  size_t i = 0;
  while (i < systems.size()) {
    CStaff* first = systems[i];
    if (!first->Selected || first->Staves.empty()) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < systems.size() && systems[j]->Selected && systems[j]->Staves.size() == first->Staves.size()) ++j;
    if (j - i >= 2) {
      MergeRun(score, std::vector<CStaff*>(systems.begin() + std::ptrdiff_t(i), systems.begin() + std::ptrdiff_t(j)));
      changed = 1;
    }
    i = j;
  }
  return changed;
}
