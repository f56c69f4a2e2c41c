#include "model/score.h"

#include "model/update_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
// Number assignment wraps instead of overflowing on hostile counters.
int32_t NextNumber(int32_t& upper) {
  int32_t n = upper;
  upper = static_cast<int32_t>(static_cast<uint32_t>(upper) + 1u);
  return n;
}

// Inserting each element, in turn, before the first element whose key is not
// smaller yields the keys ascending with equal keys in reverse arrival order.
// This gives the same list in O(n log n).
template <typename T, typename Key>
void InsertAllBeforeFirstNotSmaller(std::vector<T*>& list, std::vector<T*> arrivals, Key key) {
  std::reverse(arrivals.begin(), arrivals.end());
  std::stable_sort(arrivals.begin(), arrivals.end(), [&](T* a, T* b) { return key(a) < key(b); });
  list = std::move(arrivals);
}
}  // namespace

std::string LogFont::Face() const {
  return std::string(FaceName, strnlen(FaceName, sizeof(FaceName)));
}

void LogFont::SetFace(const std::string& face) {
  std::memset(FaceName, 0, sizeof(FaceName));
  std::memcpy(FaceName, face.data(), std::min(face.size(), sizeof(FaceName) - 1));
}

LogFont LogFont::PointFont(int tenthsOfPoint, const std::string& face) {
  LogFont f;
  // Height in pixels on a 96-dpi screen, rounded, negative for a character height.
  f.Height = -static_cast<int32_t>(std::lround(tenthsOfPoint * 96.0 / 720.0));
  f.CharSet = 1;  // default character set
  f.SetFace(face);
  return f;
}

CScore::CScore() = default;
CScore::~CScore() = default;

void CScore::ResetRunTimeLinks() {
  Staffs.clear();
  CurrentStave = nullptr;
  CurrentStaveNumber = -1;
  CurrentMeasure = nullptr;
  CurrentMeasureNumber = -1;
  LastCaptured = nullptr;
}

void CScore::Clear() {
  DropDerivedCache();
  ResetRunTimeLinks();
  objects_.clear();
  Layers.clear();
  Pens.clear();
  Fonts.clear();
  UpperNumber = 0;
  SelectedCount = 0;
  denseIndex_.clear();
  sparseIndex_.clear();
  indexDirty_ = false;
}

void CScore::ResetDefaultTables() {
  Layers = {{0x000000, 1}, {0x0000FF, 1}, {0x008000, 1}, {0xFF0000, 1},
            {0x00FFFF, 1}, {0xFF00FF, 1}, {0xC0C0C0, 1}, {0x808080, 1}};
  Pens = {LogPen{}};
  const char* kSongTi = "\xCB\xCE\xCC\xE5";  // the Song face, in GBK
  Fonts = {LogFont::PointFont(256, "velorin"), LogFont::PointFont(192, "Times New Roman"),
           LogFont::PointFont(160, "Arial Narrow Italic"), LogFont::PointFont(128, "velorin"),
           LogFont::PointFont(192, "System"), LogFont::PointFont(176, "velorin"),
           LogFont::PointFont(144, kSongTi), LogFont::PointFont(120, "Arial Black")};
}

// --- object list and number index -------------------------------------------

void CScore::IndexAdd(CXObject* o) const {
  int32_t n = o->Number;
  size_t denseLimit = objects_.size() * 4 + 65536;
  if (n >= 0 && static_cast<size_t>(n) < denseLimit) {
    if (static_cast<size_t>(n) >= denseIndex_.size()) denseIndex_.resize(static_cast<size_t>(n) + 1 + denseIndex_.size() / 2, nullptr);
    if (!denseIndex_[n]) denseIndex_[n] = o;
  } else {
    sparseIndex_.try_emplace(n, o);
  }
}

void CScore::RebuildIndex() const {
  denseIndex_.assign(std::min<size_t>(objects_.size() + 16, static_cast<size_t>(UpperNumber > 0 ? UpperNumber : 0) + 16), nullptr);
  sparseIndex_.clear();
  for (const auto& o : objects_) IndexAdd(o.get());
  indexDirty_ = false;
}

CXObject* CScore::FindByNumber(int32_t number) const {
  if (indexDirty_) RebuildIndex();
  if (number >= 0 && static_cast<size_t>(number) < denseIndex_.size() && denseIndex_[number])
    return denseIndex_[number];
  auto it = sparseIndex_.find(number);
  return it == sparseIndex_.end() ? nullptr : it->second;
}

size_t CScore::AppendObjectKeepingNumber(std::unique_ptr<CXObject> object) {
  CXObject* o = object.get();
  objects_.push_back(std::move(object));
  if (!indexDirty_) IndexAdd(o);
  return objects_.size() - 1;
}

size_t CScore::AddObject(std::unique_ptr<CXObject> object) {
  object->Number = NextNumber(UpperNumber);
  return AppendObjectKeepingNumber(std::move(object));
}

size_t CScore::AddAttachedObject(CStave* stave, CMeasure* measure, std::unique_ptr<CXObject> object) {
  CXObject* raw = object.get();
  size_t index = AddObject(std::move(object));
  auto* so = As<CStaveObject>(raw);
  if (!so) return index;
  if (stave) {
    auto& list = stave->Attached;
    auto it = std::find_if(list.begin(), list.end(), [&](CStaveObject* a) { return a->Left >= so->Left; });
    list.insert(it, so);
    so->OwnerStave = stave;
    so->Stave = stave->Number;
  }
  if (measure) {
    so->OwnerMeasure = measure;
    so->Measure = measure->Number;
  }
  return index;
}

// --- removal ------------------------------------------------------------------

size_t CScore::RemoveMarkedObjects() {
  auto doomed = [](const CXObject* o) { return o && (o->Transient & 1); };
  size_t count = 0;
  for (const auto& o : objects_)
    if (doomed(o.get())) {
      ++count;
      if (o->Selected) --SelectedCount;
    }
  if (count == 0) return 0;
  if (SelectedCount < 0) SelectedCount = 0;
  DropDerivedCache();  // it names objects that are going

  std::erase_if(Staffs, doomed);
  for (const auto& up : objects_) {
    CXObject* o = up.get();
    if (doomed(o)) continue;
    if (auto* staff = As<CStaff>(o)) {
      std::erase_if(staff->Staves, doomed);
      std::erase_if(staff->Measures, doomed);
    } else if (auto* stave = As<CStave>(o)) {
      std::erase_if(stave->Attached, doomed);
      if (doomed(stave->OwnerStaff)) stave->OwnerStaff = nullptr;
    } else if (auto* m = As<CMeasure>(o)) {
      if (doomed(m->OwnerStaff)) m->OwnerStaff = nullptr;
    } else if (auto* so = As<CStaveObject>(o)) {
      if (doomed(so->OwnerStave)) so->OwnerStave = nullptr;
      if (doomed(so->OwnerMeasure)) so->OwnerMeasure = nullptr;
      if (auto* mark = As<CMark>(so)) {
        if (doomed(mark->NoteLink)) mark->NoteLink = nullptr;
      } else if (auto* e = As<CEnding>(so)) {
        if (doomed(e->StartMeasureLink)) e->StartMeasureLink = nullptr;
        if (doomed(e->EndMeasureLink)) e->EndMeasureLink = nullptr;
      }
    }
  }
  if (doomed(CurrentStave)) {
    CurrentStave = nullptr;
    CurrentStaveNumber = -1;
  }
  if (doomed(CurrentMeasure)) {
    CurrentMeasure = nullptr;
    CurrentMeasureNumber = -1;
  }
  if (doomed(LastCaptured)) LastCaptured = nullptr;
  std::erase_if(objects_, [&](const std::unique_ptr<CXObject>& o) { return doomed(o.get()); });
  indexDirty_ = true;
  return count;
}

bool CScore::RemoveObject(CXObject* object) {
  auto it = std::find_if(objects_.begin(), objects_.end(), [&](const auto& o) { return o.get() == object; });
  if (it == objects_.end()) return false;
  MarkForRemoval(object);
  RemoveMarkedObjects();
  return true;
}

bool CScore::DeleteSelected() {
  if (SelectedCount == 0) return false;
  for (const auto& up : objects_) {
    CXObject* o = up.get();
    if (!o->Selected) continue;
    MarkForRemoval(o);
    if (auto* staff = As<CStaff>(o)) {
      for (CStave* s : staff->Staves) {
        MarkForRemoval(s);
        for (CStaveObject* a : s->Attached) MarkForRemoval(a);
      }
      for (CMeasure* m : staff->Measures) MarkForRemoval(m);
    } else if (auto* stave = As<CStave>(o)) {
      for (CStaveObject* a : stave->Attached) MarkForRemoval(a);
    }
  }
  RemoveMarkedObjects();
  return true;
}

// --- object order ---------------------------------------------------------------

namespace {
// Reorders each run of neighbours with equal keys by `before`, leaving the
// rest of the list as it is.
template <typename T, typename Same, typename Before>
void OrderTies(std::vector<T*>& list, Same same, Before before) {
  for (size_t i = 0; i < list.size();) {
    size_t j = i + 1;
    while (j < list.size() && same(list[i], list[j])) ++j;
    if (j - i > 1) std::stable_sort(list.begin() + i, list.begin() + j, before);
    i = j;
  }
}
}  // namespace

bool CScore::SetObjectOrder(const std::vector<CXObject*>& order) {
  if (order.size() != objects_.size()) return false;
  DropDerivedCache();  // it ranks notes by object order
  std::unordered_map<const CXObject*, size_t> at;  // new place of each object
  at.reserve(order.size());
  for (size_t i = 0; i < order.size(); ++i)
    if (!at.emplace(order[i], i).second) return false;
  for (const auto& up : objects_)
    if (!at.count(up.get())) return false;
  std::vector<std::unique_ptr<CXObject>> reordered(objects_.size());
  for (auto& up : objects_) {
    const size_t i = at[up.get()];
    reordered[i] = std::move(up);
  }
  objects_ = std::move(reordered);
  // The first object of a Number wins lookups, so duplicates may now resolve
  // to another object.
  indexDirty_ = true;

  // A reload lists systems in object order before sorting them by Top and
  // Left, and inserts staves, measures and attached objects before the first
  // one whose key is not smaller: equal keys end up in reverse object order.
  auto place = [&](const CXObject* o) {
    auto it = at.find(o);
    return it == at.end() ? order.size() : it->second;
  };
  auto earlier = [&](const CXObject* a, const CXObject* b) { return place(a) < place(b); };
  auto later = [&](const CXObject* a, const CXObject* b) { return place(a) > place(b); };
  OrderTies(Staffs, [](const CStaff* a, const CStaff* b) { return a->Top == b->Top && a->Left == b->Left; },
            earlier);
  for (const auto& up : objects_) {
    if (auto* staff = As<CStaff>(up.get())) {
      OrderTies(staff->Staves, [](const CStave* a, const CStave* b) { return a->Top == b->Top; }, later);
      OrderTies(staff->Measures, [](const CMeasure* a, const CMeasure* b) { return a->Left == b->Left; }, later);
    } else if (auto* stave = As<CStave>(up.get())) {
      OrderTies(stave->Attached, [](const CStaveObject* a, const CStaveObject* b) { return a->Left == b->Left; },
                later);
    }
  }
  return true;
}

// --- insertion point ------------------------------------------------------------

void CScore::SetCurrent(CStave* stave, CMeasure* measure) {
  CurrentStave = stave;
  CurrentStaveNumber = stave ? stave->Number : -1;
  CurrentMeasure = measure;
  CurrentMeasureNumber = measure ? measure->Number : -1;
}

bool CScore::SetInsertionPoint(int x, int y) {
  CStave* best = nullptr;
  int64_t bestDistance = std::numeric_limits<int64_t>::max();
  for (CStaff* staff : Staffs)
    for (CStave* s : staff->Staves) {
      int64_t centre = (int64_t(s->Top) + s->Bottom) / 2;
      int64_t d = std::max<int64_t>(std::llabs(int64_t(y) - centre), int64_t(x) - s->Right);
      if (d < bestDistance) {
        bestDistance = d;
        best = s;
      }
    }
  if (!best) return false;
  CMeasure* measure = nullptr;
  if (CStaff* staff = best->OwnerStaff) {
    for (CMeasure* m : staff->Measures)
      if (m->Left <= x && x < m->Right) {
        measure = m;
        break;
      }
    if (!measure && !staff->Measures.empty()) measure = staff->Measures.back();
  }
  int32_t measureNumber = measure ? measure->Number : -1;
  if (best->Number == CurrentStaveNumber && measureNumber == CurrentMeasureNumber && best == CurrentStave &&
      measure == CurrentMeasure)
    return false;
  SetCurrent(best, measure);
  return true;
}

// --- making structure -----------------------------------------------------------

CStave* CScore::MakeStave(CStaff* system, int y) {
  auto stave = std::make_unique<CStave>();
  CStave* s = stave.get();
  s->Layer = Layer;
  AddObject(std::move(stave));
  system->Staves.push_back(s);
  s->OwnerStaff = system;
  s->Staff = system->Number;
  s->LineSpace = LineSpace;
  s->SetBounds(system->Left, y, system->Right, y + 4 * LineSpace);
  return s;
}

CMeasure* CScore::MakeMeasure(CStaff* system, int x) {
  auto measure = std::make_unique<CMeasure>();
  CMeasure* m = measure.get();
  m->Layer = Layer;
  m->Value = 0;
  AddObject(std::move(measure));
  system->Measures.push_back(m);
  m->OwnerStaff = system;
  m->Staff = system->Number;
  m->SetBounds(x - 1, system->Top, x, system->Bottom);
  return m;
}

// --- relinking and clamps -------------------------------------------------------

void CScore::RelinkObjects() {
  DropDerivedCache();
  Staffs.clear();
  for (const auto& up : objects_)
    if (auto* staff = As<CStaff>(up.get())) {
      Staffs.push_back(staff);
      staff->OwnerScore = this;
      staff->Staves.clear();
      staff->Measures.clear();
    }
  // Arrivals per owner, in object order; the lists are then built in one go.
  std::unordered_map<CStaff*, std::vector<CStave*>> staves;
  std::unordered_map<CStaff*, std::vector<CMeasure*>> measures;
  std::unordered_map<CStave*, std::vector<CStaveObject*>> attached;
  for (const auto& up : objects_) {
    CXObject* o = up.get();
    if (auto* s = As<CStave>(o)) {
      s->OwnerStaff = As<CStaff>(FindByNumber(s->Staff));
      s->Attached.clear();
      if (s->OwnerStaff) staves[s->OwnerStaff].push_back(s);
    } else if (auto* m = As<CMeasure>(o)) {
      m->OwnerStaff = As<CStaff>(FindByNumber(m->Staff));
      if (m->OwnerStaff) measures[m->OwnerStaff].push_back(m);
    }
  }
  for (const auto& up : objects_) {
    auto* so = As<CStaveObject>(up.get());
    if (!so) continue;
    so->OwnerStave = As<CStave>(FindByNumber(so->Stave));
    so->OwnerMeasure = As<CMeasure>(FindByNumber(so->Measure));
    if (so->OwnerStave) attached[so->OwnerStave].push_back(so);
    if (auto* mark = As<CMark>(so)) {
      // Marks regain their link to the object they belong to, notes included,
      // so that a reopened score keeps marks moving with their notes.
      CXObject* target = FindByNumber(mark->Note);
      mark->NoteLink = target != mark ? target : nullptr;
    } else if (auto* e = As<CEnding>(so)) {
      e->StartMeasureLink = e->EndMeasureLink = nullptr;
    }
  }
  for (auto& [owner, list] : staves)
    InsertAllBeforeFirstNotSmaller(owner->Staves, std::move(list), [](CStave* s) { return s->Top; });
  for (auto& [owner, list] : measures)
    InsertAllBeforeFirstNotSmaller(owner->Measures, std::move(list), [](CMeasure* m) { return m->Left; });
  for (auto& [owner, list] : attached)
    InsertAllBeforeFirstNotSmaller(owner->Attached, std::move(list), [](CStaveObject* o) { return o->Left; });
  // The insertion point is a run-time link: keep it only if it still names a live object.
  SetCurrent(As<CStave>(FindByNumber(CurrentStaveNumber)), As<CMeasure>(FindByNumber(CurrentMeasureNumber)));
}

int CScore::ClampFontIndexes() {
  int result = 1;
  const int last = static_cast<int>(Fonts.size()) - 1;
  auto clamp = [&](int8_t& font) {
    if (font > last) font = static_cast<int8_t>(last);
    if (font < 0) result = -1;
  };
  for (const auto& up : objects_) {
    if (auto* t = As<CXText>(up.get()))
      clamp(t->Font);
    else if (auto* l = As<CXLink>(up.get()))
      clamp(l->Font);
  }
  return result;
}

int CScore::ClampLayerIndexes() {
  int result = 1;
  const int last = static_cast<int>(Layers.size()) - 1;
  for (const auto& up : objects_) {
    if (up->Layer > last) up->Layer = static_cast<int8_t>(last);
    if (up->Layer < 0) result = -1;
  }
  return result;
}

void CScore::ComputeExtent() {
  int32_t w = 1, h = 1;
  for (const auto& up : objects_) {
    w = std::max(w, up->Right);
    h = std::max(h, up->Bottom);
  }
  ExtentWidth = w;
  ExtentHeight = h;
}

void CScore::RecountSelection() {
  SelectedCount = 0;
  for (const auto& up : objects_)
    if (up->Selected) ++SelectedCount;
}
