#include "editing/selection.h"

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <vector>

#include "editing/insert.h"
#include "model/derived.h"
#include "model/score.h"
#include "notation/draw.h"

namespace {

constexpr size_t kPrefetchAhead = 16;

// Hit boxes in 64 bits: a measure's hit strip reaches 4 units past its Right.
struct Box64 {
  int64_t Left, Top, Right, Bottom;
  bool Contains(int64_t x, int64_t y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

// The summed-distance test of a segment of length d holds inside an ellipse
// around it whose half-width is sqrt(2d + 4) <= d / 2 + 2, and d is at most
// |dx| + |dy|: the segment's box widened by that (and a unit for rounding)
// holds every hit, without a square root.
Box64 SegmentBounds(int ax, int ay, int bx, int by) {
  const int64_t dx = std::llabs(int64_t(bx) - ax), dy = std::llabs(int64_t(by) - ay);
  const int64_t margin = (dx + dy) / 2 + 3;
  return {std::min<int64_t>(ax, bx) - margin, std::min<int64_t>(ay, by) - margin,
          std::max<int64_t>(ax, bx) + margin + 1, std::max<int64_t>(ay, by) + margin + 1};
}

// Every kind that overrides HitTest with a region outside its box must be
// listed here.
Box64 HitBox(const CXObject& o) {
  switch (o.KindCode()) {
    case Kind::Measure:
      return {int64_t(o.Right) - 8, o.Top, int64_t(o.Right) + 4, o.Bottom};
    case Kind::Line: {
      const auto& l = static_cast<const CXLine&>(o);
      return SegmentBounds(l.X, l.Y, l.X1, l.Y1);
    }
    case Kind::Beam: {
      const auto& b = static_cast<const CBeam&>(o);
      return SegmentBounds(b.X, b.Y, b.X1, b.Y1);
    }
    default:
      return {o.Left, o.Top, o.Right, o.Bottom};
  }
}

// The cheap test in front of HitTest: most objects are missed by their box.
// Written without branches on the common path, since kinds alternate
// unpredictably along the object list.
inline bool MayHit(const CXObject& o, int x, int y) {
  const char k = o.KindCode();
  if (__builtin_expect(k == Kind::Line || k == Kind::Beam, 0)) return HitBox(o).Contains(x, y);
  const bool measure = k == Kind::Measure;
  const int64_t right = int64_t(o.Right) + (measure ? 4 : 0);
  const int64_t left = measure ? std::min<int64_t>(o.Left, int64_t(o.Right) - 8) : o.Left;
  return (x >= left) & (x < right) & (y >= o.Top) & (y < o.Bottom);
}

bool Hits(const CXObject& o, int x, int y) { return MayHit(o, x, y) && o.HitTest(x, y); }

bool OnLockedLayer(const CScore& score, const CXObject& o) {
  const CLayer* layer = score.GetLayer(static_cast<uint8_t>(o.Layer));
  return layer && (layer->Style & LAYER_LOCKED);
}

bool IsStructure(const CXObject& o) {
  return o.IsKind(Kind::Staff) || o.IsKind(Kind::Stave) || o.IsKind(Kind::Measure) || o.IsKind(Kind::Sign);
}

// The reference of the align and size operations, or nullptr when they
// cannot run.
CXObject* AlignReference(CScore& score) {
  if (score.SelectedCount <= 1) return nullptr;
  return score.LastCaptured;
}

// Runs op on every selected object; 1 when more than one object's box changed.
template <typename Op>
int ApplyToSelection(CScore& score, Op op, int* changedObjects) {
  if (changedObjects) *changedObjects = 0;
  if (!AlignReference(score)) return 0;
  const CXObject& ref = *score.LastCaptured;
  const Rect refBox = ref.GetBounds();
  int changed = 0;
  for (const auto& up : score.Objects()) {
    CXObject* o = up.get();
    if (!o->Selected) continue;
    const Rect before = o->GetBounds();
    op(*o, refBox);
    changed += !(o->GetBounds() == before);
  }
  if (changedObjects) *changedObjects = changed;
  // A change is reported only when more than one object changed.
  return changed > 1 ? 1 : 0;
}

bool TakesReferenceSize(const CXObject& o) {
  return o.IsKind(Kind::Staff) || o.IsKind(Kind::Graphics) || o.IsKind(Kind::Text) || o.IsKind(Kind::Image) ||
         o.IsKind(Kind::Link);
}

}  // namespace

bool FilterAccepts(int filter, const CXObject& o) {
  switch (filter) {
    case kFilterStructure: return IsStructure(o);
    case kFilterNotes: return o.IsKind(Kind::Note);
    case kFilterOthers: return !IsStructure(o) && !o.IsKind(Kind::Note);
    default: return true;
  }
}

Rect HitBounds(const CXObject& object) {
  const Box64 b = HitBox(object);
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  };
  return {clamp(b.Left), clamp(b.Top), clamp(b.Right), clamp(b.Bottom)};
}

// One pass over the objects does both walks: staves that are hit are kept
// aside and visited after everything else, which is the order of a second
// pass over the staves (a hit does not depend on the selection).
bool CaptureByPoint(CScore& score, int filter, int x, int y, bool toggle) {
  const bool stavesLast = filter != kFilterNotes && filter != kFilterOthers;
  CXObject* captured = nullptr;
  bool changed = false;
  int32_t count = 0;
  std::vector<CXObject*> hitStaves;

  auto deselect = [&](CXObject* o) {
    if (o->Selected) {
      o->Selected = 0;
      changed = true;
    }
  };
  auto visit = [&](CXObject* o) {
    if (captured || OnLockedLayer(score, *o)) {
      // A plain click selects only what it captures.
      if (!toggle) deselect(o);
      return;
    }
    if (toggle && o->Selected) {
      deselect(o);
      return;
    }
    if (!o->Selected) changed = true;
    o->Selected = 1;
    captured = o;
  };

  const auto& objects = score.Objects();
  for (size_t i = 0, n = objects.size(); i < n; ++i) {
    CXObject* o = objects[i].get();
    // The walk is bound by memory: ask for the objects ahead early.
    if (i + kPrefetchAhead < n) __builtin_prefetch(objects[i + kPrefetchAhead].get());
    bool hit = MayHit(*o, x, y) && FilterAccepts(filter, *o) && o->HitTest(x, y);
    if (hit && stavesLast && o->KindCode() == Kind::Stave) {
      hitStaves.push_back(o);
      continue;
    }
    if (hit)
      visit(o);
    else if (!toggle)
      deselect(o);
    if (o->Selected) ++count;
  }
  for (CXObject* s : hitStaves) {
    visit(s);
    if (s->Selected) ++count;
  }

  if (captured) {
    score.LastCaptured = captured;
    changed = true;
  }
  score.SelectedCount = count;
  return changed;
}

bool CaptureObjectByPoint(CScore& score, int x, int y, bool toggle) {
  return CaptureByPoint(score, kAllObjects, x, y, toggle);
}

bool CaptureByRectangle(CScore& score, int filter, const Rect& rect, bool add) {
  const bool crossing = rect.Right < rect.Left;
  const int64_t l = std::min(rect.Left, rect.Right), r = std::max(rect.Left, rect.Right);
  const int64_t t = std::min(rect.Top, rect.Bottom), b = std::max(rect.Top, rect.Bottom);
  bool changed = false;
  int32_t count = 0;
  const auto& objects = score.Objects();
  for (size_t i = 0, n = objects.size(); i < n; ++i) {
    CXObject* o = objects[i].get();
    if (i + kPrefetchAhead < n) __builtin_prefetch(objects[i + kPrefetchAhead].get());
    bool caught = false;
    if (FilterAccepts(filter, *o)) {
      if (crossing)
        caught = o->Left < r && l < o->Right && o->Top < b && t < o->Bottom;
      else
        caught = o->Left >= l && o->Right <= r && o->Top >= t && o->Bottom <= b;
    }
    if (caught) {
      if (!o->Selected && !OnLockedLayer(score, *o)) {
        o->Selected = 1;
        score.LastCaptured = o;
        changed = true;
      }
    } else if (!add && o->Selected) {
      o->Selected = 0;
      changed = true;
    }
    if (o->Selected) ++count;
  }
  score.SelectedCount = count;
  return changed;
}

bool CaptureObjectByRectangle(CScore& score, const Rect& rect, bool add) {
  return CaptureByRectangle(score, kAllObjects, rect, add);
}

bool CaptureSizingHandle(CScore& score, int x, int y) {
  CXObject* found = nullptr;
  for (const auto& up : score.Objects()) {
    CXObject* o = up.get();
    uint8_t handle = 0;
    if (o->Selected && !found) {
      handle = static_cast<uint8_t>(o->HandleAt(x, y));
      if (handle) found = o;
    }
    o->ActiveHandle = handle;
  }
  if (found) score.LastCaptured = found;
  return found != nullptr;
}

bool HitsSelection(const CScore& score, int x, int y) {
  for (const auto& up : score.Objects())
    if (up->Selected && Hits(*up, x, y)) return true;
  return false;
}

bool MoveSelected(CScore& score, int dx, int dy) {
  std::vector<CStaff*> systems;
  bool moved = false;
  for (const auto& up : score.Objects()) {
    CXObject* o = up.get();
    if (!o->Selected || o->IsKind(Kind::Stave) || o->IsKind(Kind::Measure)) continue;
    if (auto* so = As<CStaveObject>(o)) {
      // Carried by its stave's system when that moves.
      if (const CStave* stave = so->OwnerStave)
        if (stave->Selected || (stave->OwnerStaff && stave->OwnerStaff->Selected)) continue;
    }
    o->MoveTo(o->Left + dx, o->Top + dy);
    moved = true;
    if (auto* system = As<CStaff>(o)) systems.push_back(system);
  }
  for (CStaff* system : systems) SeparateSystems(score, system);
  score.UpdateDerived();
  return moved;
}

void SizeSelected(CScore& score, int dx, int dy) {
  for (const auto& up : score.Objects())
    if (up->Selected) up->ResizeByHandle(dx, dy);
}

bool SizeCaptured(CScore& score, int dx, int dy) {
  CXObject* o = score.LastCaptured;
  if (!o) return false;
  if (auto* m = As<CMeasure>(o)) return ChangeMeasureWidth(score, *m, dx);
  o->ResizeByHandle(dx, dy);
  return true;
}

bool ChangeMeasureWidth(CScore& score, CMeasure& measure, int d) {
  CStaff* system = measure.OwnerStaff;
  if (d == 0 || !system) return false;
  if (d < 0) {
    const int64_t room = std::max<int64_t>(
        0, int64_t(measure.Right) - measure.Left - measure.LeftPadding - measure.RightPadding);
    d = static_cast<int>(std::max<int64_t>(d, -room));
    if (d == 0) return false;
  }
  const int32_t oldRight = measure.Right;

  // The measures after this one, and everything that sits in them.
  std::vector<const CMeasure*> later;
  for (CMeasure* m : system->Measures)
    if (m != &measure && m->Left >= oldRight) later.push_back(m);
  std::sort(later.begin(), later.end());
  auto isLater = [&](const CMeasure* m) { return m && std::binary_search(later.begin(), later.end(), m); };
  for (const auto& up : score.Objects()) {
    auto* so = As<CStaveObject>(up.get());
    if (so && isLater(so->OwnerMeasure)) so->MoveTo(so->Left + d, so->Top);
  }
  for (CMeasure* m : system->Measures)
    if (isLater(m)) m->MoveTo(m->Left + d, m->Top);
  for (CStave* s : system->Staves) s->Right += d;
  system->Right += d;

  measure.Right += d;
  if (measure.Ticks != 0) {
    ComputeUnitsPerTick(measure);
    RespaceMeasure(score, measure);
  }
  return true;
}

int SelectAll(CScore& score) {
  const auto& objects = score.Objects();
  if (std::all_of(objects.begin(), objects.end(), [](const auto& o) { return o->Selected != 0; })) return 0;
  for (const auto& o : objects) o->Selected = 1;
  score.SelectedCount = static_cast<int32_t>(objects.size());
  return 1;
}

void SelectOnly(CScore& score, CXObject* object, bool keep) {
  if (!keep)
    for (const auto& o : score.Objects()) o->Selected = 0;
  if (object) object->Selected = 1;
  score.RecountSelection();
}

int AlignLeft(CScore& score, int* changed) {
  return ApplyToSelection(score, [](CXObject& o, const Rect& ref) { o.MoveTo(ref.Left, o.Top); }, changed);
}

int AlignRight(CScore& score, int* changed) {
  return ApplyToSelection(score, [](CXObject& o, const Rect& ref) { o.MoveTo(o.Left + ref.Right - o.Right, o.Top); }, changed);
}

int AlignTop(CScore& score, int* changed) {
  return ApplyToSelection(score, [](CXObject& o, const Rect& ref) { o.MoveTo(o.Left, ref.Top); }, changed);
}

int SameWidth(CScore& score, int* changed) {
  return ApplyToSelection(score, [](CXObject& o, const Rect& ref) {
    if (TakesReferenceSize(o)) o.Right = o.Left + ref.Width();
  }, changed);
}

int SameHeight(CScore& score, int* changed) {
  return ApplyToSelection(score, [](CXObject& o, const Rect& ref) {
    if (TakesReferenceSize(o)) o.Bottom = o.Top + ref.Height();
  }, changed);
}

int SameSize(CScore& score, int* changed) {
  return ApplyToSelection(score, [](CXObject& o, const Rect& ref) {
    if (!TakesReferenceSize(o)) return;
    o.Right = o.Left + ref.Width();
    o.Bottom = o.Top + ref.Height();
  }, changed);
}

void DrawSelectionMove(DeviceContext& dc, const CScore& score, int dx, int dy) {
  for (const auto& o : score.Objects())
    if (o->Selected) DrawMoveFeedback(dc, *o, dx, dy);
}

void DrawSelectionResize(DeviceContext& dc, const CScore& score, int dx, int dy) {
  for (const auto& o : score.Objects())
    if (o->Selected) DrawResizeFeedback(dc, *o, dx, dy);
}
