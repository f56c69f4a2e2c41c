// Step 4 of the recalculation: every beam takes the stave and measure of the
// last note, in object order, whose box holds one of its ends; after a local
// edit only the beams it can reach look again.
#include <algorithm>
#include <unordered_map>

#include "model/score.h"
#include "model/update_internal.h"

namespace {

// The box a beam end finds a note by: the note with its stem and a unit
// either side. Worked out in 64 bits: unclamped coordinates may sit at
// int's limits.
Rect BeamBoxOf(const CNote* n) {
  auto sat = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  if (n->Stem < 0)
    return {sat(int64_t(n->Left) - 1), sat(int64_t(n->Top) + n->Stem), sat(int64_t(n->Right) + 1), n->Bottom};
  return {sat(int64_t(n->Left) - 1), n->Top, sat(int64_t(n->Right) + 1), sat(int64_t(n->Bottom) + n->Stem)};
}

bool IsEmpty(const Rect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }  // contains no point

// The beam takes the stave and measure of the note; staves whose lists or
// beams changed are added to `changed` when given.
void TakeNote(CBeam* b, const CNote* n, std::vector<const CStave*>* changed) {
  if (changed && (b->Stave != n->Stave || b->Measure != n->Measure || b->OwnerStave != n->OwnerStave ||
                  b->OwnerMeasure != n->OwnerMeasure)) {
    if (b->OwnerStave) changed->push_back(b->OwnerStave);
    if (n->OwnerStave) changed->push_back(n->OwnerStave);
  }
  if (b->OwnerStave != n->OwnerStave) {
    // The beam changes staves: it leaves the old stave's list and joins the
    // new one's where a reload would put it (before the first object not
    // left of it), so the lists keep naming only their own objects.
    if (b->OwnerStave) std::erase(b->OwnerStave->Attached, b);
    if (n->OwnerStave) {
      auto& list = n->OwnerStave->Attached;
      list.insert(std::lower_bound(list.begin(), list.end(), b,
                                   [](const CStaveObject* a, const CStaveObject* c) { return a->Left < c->Left; }),
                  b);
    }
  }
  b->Stave = n->Stave;
  b->Measure = n->Measure;
  b->OwnerStave = n->OwnerStave;
  b->OwnerMeasure = n->OwnerMeasure;
}

}  // namespace

void AttachBeams(const DerivedLists& lists, DerivedCache& cache, std::vector<const CStave*>* changed) {
  const std::vector<CBeam*>& beams = lists.beams;
  cache.boxes.clear();
  cache.beams.clear();
  for (CNote* n : lists.notes) cache.boxes.push_back({BeamBoxOf(n), n, n->OwnerStave});
  for (CBeam* b : beams) cache.beams.push_back({b, b->X, b->Y, b->X1, b->Y1});
  if (beams.empty() || lists.notes.empty()) return;
  // Note boxes filed under the 64 x 64 cells they cover, in a bucketed table
  // built by counting (linear time); a beam end looks at its cell's bucket
  // only. Boxes covering too many cells are checked always.
  constexpr int kShift = 6;
  auto cellKey = [](int64_t cx, int64_t cy) { return uint64_t(cx) << 32 ^ (uint64_t(cy) & 0xFFFFFFFF); };
  // Cells of one row of 32 take neighbouring buckets: beams walked in object
  // order mostly follow the page, so their lookups find the table entries
  // the last ones touched instead of missing the cache on every end.
  auto hashOf = [](uint64_t key) { return ((key & 0xFFFFFFFF) << 5) + (key >> 32); };
  struct CellEntry {
    uint64_t key;
    uint32_t box;
  };
  const std::vector<DerivedCache::Box>& boxes = cache.boxes;
  thread_local std::vector<CellEntry> entries, table;
  thread_local std::vector<uint32_t> huge, bucketStart;
  entries.clear();
  huge.clear();
  for (uint32_t index = 0; index < boxes.size(); ++index) {
    const Rect& r = boxes[index].box;
    if (IsEmpty(r)) continue;
    int64_t x0 = int64_t(r.Left) >> kShift, x1 = int64_t(r.Right - 1) >> kShift;
    int64_t y0 = int64_t(r.Top) >> kShift, y1 = int64_t(r.Bottom - 1) >> kShift;
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > 64) {
      huge.push_back(index);
      continue;
    }
    for (int64_t cx = x0; cx <= x1; ++cx)
      for (int64_t cy = y0; cy <= y1; ++cy) entries.push_back({cellKey(cx, cy), index});
  }
  size_t buckets = 1;
  while (buckets < entries.size() * 2) buckets <<= 1;
  const uint64_t mask = buckets - 1;
  bucketStart.assign(buckets + 1, 0);
  for (const CellEntry& e : entries) ++bucketStart[(hashOf(e.key) & mask) + 1];
  for (size_t b = 0; b < buckets; ++b) bucketStart[b + 1] += bucketStart[b];
  table.resize(entries.size());
  {
    thread_local std::vector<uint32_t> fill;
    fill.assign(bucketStart.begin(), bucketStart.end() - 1);
    for (const CellEntry& e : entries) table[fill[hashOf(e.key) & mask]++] = e;
  }
  auto lastHit = [&](int x, int y, int64_t best) {
    uint64_t key = cellKey(int64_t(x) >> kShift, int64_t(y) >> kShift);
    uint64_t b = hashOf(key) & mask;
    for (uint32_t i = bucketStart[b]; i < bucketStart[b + 1]; ++i)
      if (table[i].key == key && boxes[table[i].box].box.Contains(x, y)) best = std::max<int64_t>(best, table[i].box);
    for (uint32_t i : huge)
      if (boxes[i].box.Contains(x, y)) best = std::max<int64_t>(best, i);
    return best;
  };
  for (CBeam* b : beams) {
    int64_t hit = lastHit(b->X, b->Y, -1);
    hit = lastHit(b->X1, b->Y1, hit);
    if (hit >= 0) TakeNote(b, boxes[hit].note, changed);
  }
}

bool AttachBeamsLocally(const DerivedLists& lists, DerivedCache& cache, const std::vector<CStave*>& edited,
                        std::vector<const CStave*>& changed) {
  if (lists.beams.size() != cache.beams.size()) return false;
  auto onEdited = [&](const CStave* s) { return s && std::binary_search(edited.begin(), edited.end(), s); };
  thread_local std::vector<Rect> dirty;
  thread_local std::unordered_map<const CNote*, bool> seen;
  thread_local std::vector<std::pair<CNote*, const CStave*>> fresh;
  dirty.clear();
  seen.clear();
  fresh.clear();
  for (DerivedCache::Box& e : cache.boxes) {
    if (!onEdited(e.stave)) continue;
    seen.emplace(e.note, true);
    const Rect now = BeamBoxOf(e.note);
    if (now == e.box) continue;
    dirty.push_back(e.box);
    dirty.push_back(now);
    e.box = now;
  }
  for (const CStave* s : edited)
    for (CStaveObject* o : s->Attached)
      if ((o->KindCode() == Kind::Note || o->KindCode() == Kind::Rest) && !seen.count(static_cast<CNote*>(o)))
        fresh.emplace_back(static_cast<CNote*>(o), s);
  // New notes were appended to the objects, so they follow the others.
  std::sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) { return a.first->Number < b.first->Number; });
  for (auto [n, s] : fresh) {
    cache.boxes.push_back({BeamBoxOf(n), n, s});
    dirty.push_back(cache.boxes.back().box);
  }
  if (cache.boxes.size() != lists.notes.size()) return false;
  Rect reach{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const Rect& r : dirty)
    if (!IsEmpty(r)) reach = {std::min(reach.Left, r.Left), std::min(reach.Top, r.Top), std::max(reach.Right, r.Right),
                              std::max(reach.Bottom, r.Bottom)};
  auto inDirty = [&](int x, int y) {
    if (!reach.Contains(x, y)) return false;
    for (const Rect& r : dirty)
      if (r.Contains(x, y)) return true;
    return false;
  };
  // The beams to look at again, in object order.
  thread_local std::vector<uint32_t> again;
  again.clear();
  for (uint32_t j = 0; j < lists.beams.size(); ++j) {
    CBeam* b = lists.beams[j];
    DerivedCache::BeamEnds& e = cache.beams[j];
    if (e.beam != b) return false;
    if (e.x != b->X || e.y != b->Y || e.x1 != b->X1 || e.y1 != b->Y1) {
      e = {b, b->X, b->Y, b->X1, b->Y1};
      again.push_back(j);
    } else if (inDirty(b->X, b->Y) || inDirty(b->X1, b->Y1)) {
      again.push_back(j);
    }
  }
  if (again.size() > 256) return false;  // the whole step costs less then
  thread_local std::vector<const CNote*> hit;
  hit.assign(again.size(), nullptr);
  for (const DerivedCache::Box& e : cache.boxes) {
    if (IsEmpty(e.box)) continue;
    for (size_t k = 0; k < again.size(); ++k) {
      const DerivedCache::BeamEnds& b = cache.beams[again[k]];
      if (e.box.Contains(b.x, b.y) || e.box.Contains(b.x1, b.y1)) hit[k] = e.note;
    }
  }
  for (size_t k = 0; k < again.size(); ++k)
    if (hit[k]) TakeNote(lists.beams[again[k]], hit[k], &changed);
  return true;
}
