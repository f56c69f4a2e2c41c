// Velocities from dynamics words and hairpins, and articulations from marks.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "model/score.h"
#include "model/update_internal.h"

namespace {

// Finds the first system, in object order, whose box contains a point.
class SystemLocator {
 public:
  explicit SystemLocator(const std::vector<CStaff*>& systems) : systems_(systems) {
    for (size_t i = 0; i < systems_.size(); ++i) {
      const CStaff* s = systems_[i];
      int64_t r0 = Row(s->Top), r1 = Row(s->Bottom - 1);
      if (r1 - r0 > 64) {
        tall_.push_back(i);
        continue;
      }
      for (int64_t r = r0; r <= r1; ++r) rows_[r].push_back(i);
    }
  }
  CStaff* At(int x, int y) const {
    size_t best = systems_.size();
    if (auto it = rows_.find(Row(y)); it != rows_.end())
      for (size_t i : it->second)
        if (i < best && systems_[i]->GetBounds().Contains(x, y)) {
          best = i;
          break;  // rows hold ascending indexes
        }
    for (size_t i : tall_)
      if (i < best && systems_[i]->GetBounds().Contains(x, y)) {
        best = i;
        break;
      }
    return best < systems_.size() ? systems_[best] : nullptr;
  }

 private:
  static int64_t Row(int y) { return int64_t(y) >> 8; }
  std::vector<CStaff*> systems_;
  std::unordered_map<int64_t, std::vector<size_t>> rows_;
  std::vector<size_t> tall_;
};

bool IsDynamic(const std::string& t, int& level) {
  static const struct {
    const char* word;
    int level;
  } kWords[] = {{"ppp", 42}, {"pp", 58}, {"p", 72}, {"mp", 80}, {"mf", 90}, {"f", 108}, {"ff", 116}, {"fff", 120}};
  for (const auto& w : kWords)
    if (t == w.word) {
      level = w.level;
      return true;
    }
  return false;
}

using Keyed = NoteKeys::Placed;

// The run of entries of one system with keys in [lo, hi].
std::pair<const Keyed*, const Keyed*> KeyRange(const std::vector<Keyed>& v, const CStaff* system, int64_t lo, int64_t hi) {
  const int32_t ordinal = system->Ordinal;
  lo = std::clamp<int64_t>(lo, INT32_MIN, INT32_MAX);
  hi = std::clamp<int64_t>(hi, INT32_MIN, INT32_MAX);
  auto first = std::lower_bound(v.begin(), v.end(), Keyed{Keyed::Key(ordinal, int32_t(lo)), 0, 0});
  auto last = std::upper_bound(first, v.end(), Keyed{Keyed::Key(ordinal, int32_t(hi)), UINT32_MAX, 0});
  return {v.data() + (first - v.begin()), v.data() + (last - v.begin())};
}

int32_t MarkBits(int32_t value) {
  switch (value) {
    case 48: case 49: return NTS_MARK_8000;
    case 88: case 89: return NTS_TENUTO;
    case 90: return NTS_STACCATO;
    case 91: case 92: return NTS_STACCATO | NTS_TENUTO;
    case 93: return NTS_ACCENT;
    case 94: case 95: return NTS_ACCENT | NTS_TENUTO;
    case 96: case 97: return NTS_ACCENT | NTS_STACCATO;
    default: return 0;
  }
}

// The note a text takes its place from among the entries of its system:
// the nearest Left, and on equal distance the one first in Start order.
const Keyed* NearestByLeft(const Keyed* begin, const Keyed* end, int32_t ordinal, int32_t left) {
  if (begin == end) return nullptr;
  const Keyed* right = std::lower_bound(begin, end, Keyed{Keyed::Key(ordinal, left), 0, 0});
  const Keyed* best = nullptr;
  int64_t bestDistance = 0;
  auto consider = [&](const Keyed* k) {
    int64_t d = std::llabs(int64_t(k->Left()) - left);
    if (!best || d < bestDistance || (d == bestDistance && k->pos < best->pos)) {
      best = k;
      bestDistance = d;
    }
  };
  if (right != end) consider(right);
  if (right != begin) consider(std::lower_bound(begin, right, Keyed{(right - 1)->sortKey, 0, 0}));
  return best;
}

// A hairpin's ramp over the notes of its system: each note's place on it,
// and marks on the first and last of them in Start order.
void RampWedge(const CXObject* o, const CStaff* system, const std::vector<Keyed>& byLeft, int64_t maxXOffset,
               std::vector<int32_t>& offset, std::vector<uint8_t>& marks) {
  int64_t lo = system->Right, hi = system->Left;
  auto [first, last] = KeyRange(byLeft, system, int64_t(o->Left) - 16, int64_t(o->Right) + 16);
  if (first != last) {
    lo = std::min<int64_t>(lo, first->Left());
    hi = std::max<int64_t>(hi, (last - 1)->Left());
  }
  if (lo == hi) return;
  const int64_t d = o->Value == 0 ? 20 : -20;
  // Notes whose X lies in [Left - 8, Right + 8]: no X is further than
  // maxXOffset from its note's Left, so a window of Lefts holds them all.
  auto [x0, x1] = KeyRange(byLeft, system, int64_t(o->Left) - 8 - maxXOffset, int64_t(o->Right) + 8 + maxXOffset);
  uint32_t firstPos = UINT32_MAX, lastPos = 0;
  for (const Keyed* k = x0; k != x1; ++k) {
    if (int64_t(k->x) < int64_t(o->Left) - 8 || int64_t(k->x) > int64_t(o->Right) + 8) continue;
    const int64_t off = (int64_t(k->x) - lo) * d / (hi - lo);
    offset[k->pos] = static_cast<int32_t>(std::clamp<int64_t>(off, -1000, 1000));
    firstPos = std::min(firstPos, k->pos);
    lastPos = std::max(lastPos, k->pos);
  }
  if (firstPos == UINT32_MAX) return;
  if (firstPos != lastPos) marks[firstPos] |= 1;
  marks[lastPos] |= 2;
}

// The level of each note in Start order, from the dynamics texts placed
// before it (`textsAt`: position and text, by position) and the ramps.
void ScanLevels(size_t count, const std::vector<std::pair<size_t, size_t>>& textsAt,
                const std::vector<DerivedCache::Text>& texts, const std::vector<int32_t>& offset,
                const std::vector<uint8_t>& marks, std::vector<int16_t>& levels) {
  levels.resize(count);
  int level = 100, base = 100;
  bool ramp = false;
  size_t t = 0;
  for (size_t p = 0; p <= count; ++p) {
    for (; t < textsAt.size() && textsAt[t].first == p; ++t)
      if (const DerivedCache::Text& text = texts[textsAt[t].second]; text.dynamic) level = text.level;
    if (p == count) break;
    if (marks[p] & 1) {
      base = level;
      ramp = true;
    }
    // The ramp stops at 126. Capping against the note's own velocity, which
    // the previous pass set, made every pass undo the one before it (120,
    // 106, 120, ...); the level the note is about to get is the stable cap.
    if (ramp) level = base + std::min<int>(offset[p], 126 - base);
    if (marks[p] & 2) ramp = false;
    if (level >= 128) level = 126;
    // A diminuendo from an out-of-range velocity must not wrap below silence.
    if (level < 0) level = 0;
    levels[p] = static_cast<int16_t>(level);
  }
}

}  // namespace

void Articulate(CNote* n, int velocity, bool setVelocity) {
  if (n->Style & NTS_UPDATE_PLAYTICKS) {
    if (n->Style & NTS_STACCATO) n->PlayTicks = n->Ticks / 2;
    if (n->Style & NTS_TENUTO) n->PlayTicks = n->Ticks;
  }
  if (n->Style & NTS_UPDATE_VELOCITY) {
    if (n->Style & NTS_ACCENT) n->Velocity = 120;
    else if (setVelocity) n->Velocity = static_cast<uint8_t>(velocity);
  }
}

// Notes by Start, keeping object order among equal Starts: the entries
// arrive in object order, so two stable counting passes over the 16-bit
// halves of the biased Start do it in linear time.
void SortByStart(std::vector<NoteKeys::Timed>& v) {
  if (v.size() < 4096) {  // small scores: the counting tables would cost more than they save
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    return;
  }
  thread_local std::vector<NoteKeys::Timed> scratch;
  scratch.resize(v.size());
  auto digit = [](const NoteKeys::Timed& e, int shift) {
    const uint32_t start = uint32_t(e.key >> 32) ^ 0x80000000u;
    return (start >> shift) & 0xFFFF;
  };
  std::vector<NoteKeys::Timed>* from = &v;
  std::vector<NoteKeys::Timed>* to = &scratch;
  thread_local std::vector<uint32_t> count;
  for (int shift : {0, 16}) {
    count.assign(65537, 0);
    for (const auto& e : *from) ++count[digit(e, shift) + 1];
    for (size_t i = 1; i < count.size(); ++i) count[i] += count[i - 1];
    for (const auto& e : *from) (*to)[count[digit(e, shift)]++] = e;
    std::swap(from, to);
  }
  // Two passes: the result is back in v.
}

void ApplyArticulationMarks(const DerivedLists& lists, int64_t maxXOffset, std::vector<CNote*>* gained) {
  // A mark reaches the notes of its stave whose X lies within 12 units. The
  // stave's list is sorted by Left, and no note's X is further than
  // maxXOffset from its Left, so a window of Lefts holds every candidate.
  for (CMark* m : lists.marks) {
    const int32_t bits = MarkBits(m->Value);
    if (!bits || !m->OwnerStave) continue;
    const auto& attached = m->OwnerStave->Attached;
    const int64_t lo = int64_t(m->X) - 12 - maxXOffset, hi = int64_t(m->X) + 12 + maxXOffset;
    auto it = std::lower_bound(attached.begin(), attached.end(), lo,
                               [](const CStaveObject* o, int64_t left) { return o->Left < left; });
    for (; it != attached.end() && (*it)->Left <= hi; ++it) {
      if (!(*it)->IsKind(Kind::Note)) continue;
      auto* n = static_cast<CNote*>(*it);
      if (n->OwnerStave != m->OwnerStave || std::llabs(int64_t(n->X) - m->X) > 12) continue;
      if (gained && (n->Style | bits) != n->Style) gained->push_back(n);
      n->Style |= bits;
    }
  }
}

void ComputeVelocities(const DerivedLists& lists, NoteKeys& keys, DerivedCache& cache) {
  // Notes (rests excluded) by Start, object order on ties.
  auto& timed = keys.timed;
  SortByStart(timed);
  thread_local std::vector<uint32_t> rank;
  rank.resize(timed.size());
  for (size_t p = 0; p < timed.size(); ++p) rank[uint32_t(timed[p].key & 0xFFFFFFFF)] = uint32_t(p);
  auto& byLeft = keys.byLeft;
  for (Keyed& k : byLeft) k.pos = rank[k.pos];
  std::sort(byLeft.begin(), byLeft.end());
  auto startAt = [&](size_t p) { return int32_t(timed[p].key >> 32); };

  SystemLocator locator(lists.systems);
  // Texts placed before note k of the list (k == size: at the end).
  thread_local std::vector<std::pair<size_t, size_t>> textsAt;
  thread_local std::vector<int32_t> offset;
  thread_local std::vector<uint8_t> marks;  // 1 hairpin start, 2 hairpin end
  textsAt.clear();
  offset.assign(timed.size(), 0);
  marks.assign(timed.size(), 0);
  cache.texts.assign(lists.texts.size(), {});
  for (size_t i = 0; i < lists.texts.size(); ++i) {
    const CXText* t = lists.texts[i];
    DerivedCache::Text& c = cache.texts[i];
    int level = 0;
    c.dynamic = IsDynamic(t->text, level);
    c.level = static_cast<int16_t>(level);
    CStaff* system = locator.At(t->Left, t->Top);
    if (!system) continue;
    c.system = system->Ordinal;
    // The nearest Left; on equal distance the note first in the list.
    auto [begin, end] = KeyRange(byLeft, system, INT32_MIN, INT32_MAX);
    const Keyed* best = NearestByLeft(begin, end, system->Ordinal, t->Left);
    if (!best) continue;
    c.anchored = true;
    c.anchorStart = startAt(best->pos);
    size_t k = std::lower_bound(timed.begin(), timed.end(), int64_t(c.anchorStart) << 32,
                                [](const NoteKeys::Timed& e, int64_t key) { return e.key < key; }) - timed.begin();
    textsAt.emplace_back(k, i);
  }
  cache.wedgeSystems.assign(lists.wedges.size(), -1);
  for (size_t j = 0; j < lists.wedges.size(); ++j) {
    const CXObject* o = lists.wedges[j];
    CStaff* system = locator.At(o->Left, o->Top);
    if (!system) continue;
    cache.wedgeSystems[j] = system->Ordinal;
    RampWedge(o, system, byLeft, keys.maxXOffset, offset, marks);
  }

  std::stable_sort(textsAt.begin(), textsAt.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  // Levels are worked out in Start order and written back in object order,
  // so the writes walk memory forwards.
  thread_local std::vector<int16_t> levels, levelByOrder;
  ScanLevels(timed.size(), textsAt, cache.texts, offset, marks, levels);
  levelByOrder.resize(timed.size());
  cache.timed.resize(timed.size());
  for (size_t p = 0; p < timed.size(); ++p) {
    levelByOrder[uint32_t(timed[p].key & 0xFFFFFFFF)] = levels[p];
    cache.timed[p] = {timed[p].key, timed[p].note, timed[p].stave, offset[p], levels[p], marks[p]};
  }
  cache.nextOrder = static_cast<uint32_t>(timed.size());
  cache.maxXOffset = keys.maxXOffset;
  size_t order = 0;
  for (CNote* n : lists.notes) {
    if (n->KindCode() == Kind::Note) Articulate(n, levelByOrder[order++], true);
    else Articulate(n, 0, false);
  }
}

bool UpdateVelocitiesLocally(const DerivedLists& lists, DerivedCache& cache, const std::vector<const CStave*>& redo,
                             const std::vector<CNote*>& again) {
  if (lists.texts.size() != cache.texts.size() || lists.wedges.size() != cache.wedgeSystems.size()) return false;
  auto inRedo = [&](const CStave* s) { return s && std::binary_search(redo.begin(), redo.end(), s); };
  // The notes of the redone staves leave the Start order and come back at
  // their new Starts, keeping their object order; notes new since the last
  // pass follow every other note in object order, as they were appended.
  thread_local std::unordered_map<const CNote*, uint32_t> orderOf;
  thread_local std::vector<DerivedCache::Timed> added;
  thread_local std::vector<std::pair<CNote*, const CStave*>> fresh;
  orderOf.clear();
  added.clear();
  fresh.clear();
  std::erase_if(cache.timed, [&](const DerivedCache::Timed& e) {
    if (!inRedo(e.stave)) return false;
    orderOf.emplace(e.note, uint32_t(e.key & 0xFFFFFFFF));
    return true;
  });
  for (const CStave* s : redo)
    for (CStaveObject* o : s->Attached) {
      if (o->KindCode() != Kind::Note) continue;
      auto* n = static_cast<CNote*>(o);
      if (auto it = orderOf.find(n); it != orderOf.end()) {
        added.push_back({int64_t(n->Start) << 32 | it->second, n, s, 0, -1, 0});
        orderOf.erase(it);
      } else if (n->Transient & kFiledInCache) {
        return false;  // filed under another stave, or listed twice
      } else {
        fresh.emplace_back(n, s);
      }
    }
  std::sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) { return a.first->Number < b.first->Number; });
  for (auto [n, s] : fresh) {
    n->Transient |= kFiledInCache;
    added.push_back({int64_t(n->Start) << 32 | cache.nextOrder++, n, s, 0, -1, 0});
  }
  std::sort(added.begin(), added.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
  const size_t middle = cache.timed.size();
  cache.timed.insert(cache.timed.end(), added.begin(), added.end());
  std::inplace_merge(cache.timed.begin(), cache.timed.begin() + static_cast<ptrdiff_t>(middle), cache.timed.end(),
                     [](const auto& a, const auto& b) { return a.key < b.key; });
  auto& timed = cache.timed;

  // The systems of those staves: their notes' places on hairpins and the
  // notes their texts take effect at are found again.
  std::vector<int32_t> systems;
  for (const CStave* s : redo) {
    if (!s->OwnerStaff) continue;
    const int32_t ordinal = s->OwnerStaff->Ordinal;
    if (ordinal < 0 || size_t(ordinal) >= lists.systems.size() || lists.systems[ordinal] != s->OwnerStaff) return false;
    systems.push_back(ordinal);
  }
  std::sort(systems.begin(), systems.end());
  systems.erase(std::unique(systems.begin(), systems.end()), systems.end());
  auto touched = [&](int32_t ordinal) { return std::binary_search(systems.begin(), systems.end(), ordinal); };
  thread_local std::vector<int32_t> offset;
  thread_local std::vector<uint8_t> marks;
  thread_local std::vector<Keyed> byLeft;
  offset.resize(timed.size());
  marks.resize(timed.size());
  byLeft.clear();
  for (size_t p = 0; p < timed.size(); ++p) {
    const DerivedCache::Timed& e = timed[p];
    const CStaff* system = e.stave ? e.stave->OwnerStaff : nullptr;
    if (system && touched(system->Ordinal)) {
      offset[p] = 0;
      marks[p] = 0;
      byLeft.push_back({Keyed::Key(system->Ordinal, e.note->Left), uint32_t(p), e.note->X});
    } else {
      offset[p] = e.offset;
      marks[p] = e.marks;
    }
  }
  std::sort(byLeft.begin(), byLeft.end());
  for (size_t i = 0; i < lists.texts.size(); ++i) {
    DerivedCache::Text& c = cache.texts[i];
    if (c.system < 0 || !touched(c.system)) continue;
    const CStaff* system = lists.systems[c.system];
    auto [begin, end] = KeyRange(byLeft, system, INT32_MIN, INT32_MAX);
    const Keyed* best = NearestByLeft(begin, end, c.system, lists.texts[i]->Left);
    c.anchored = best != nullptr;
    if (best) c.anchorStart = int32_t(timed[best->pos].key >> 32);
  }
  for (size_t j = 0; j < lists.wedges.size(); ++j)
    if (cache.wedgeSystems[j] >= 0 && touched(cache.wedgeSystems[j]))
      RampWedge(lists.wedges[j], lists.systems[cache.wedgeSystems[j]], byLeft, cache.maxXOffset, offset, marks);

  thread_local std::vector<std::pair<size_t, size_t>> textsAt;
  textsAt.clear();
  for (size_t i = 0; i < cache.texts.size(); ++i) {
    const DerivedCache::Text& c = cache.texts[i];
    if (!c.anchored) continue;
    size_t k = std::lower_bound(timed.begin(), timed.end(), int64_t(c.anchorStart) << 32,
                                [](const DerivedCache::Timed& e, int64_t key) { return e.key < key; }) - timed.begin();
    textsAt.emplace_back(k, i);
  }
  std::stable_sort(textsAt.begin(), textsAt.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  thread_local std::vector<int16_t> levels;
  ScanLevels(timed.size(), textsAt, cache.texts, offset, marks, levels);
  for (size_t p = 0; p < timed.size(); ++p) {
    DerivedCache::Timed& e = timed[p];
    e.offset = offset[p];
    e.marks = marks[p];
    if (e.level == levels[p] && !inRedo(e.stave)) continue;
    e.level = levels[p];
    Articulate(e.note, levels[p], true);
  }
  // Rests on those staves, and notes whose play times or marks changed
  // while their level did not (a velocity already at its level stays).
  for (const CStave* s : redo)
    for (CStaveObject* o : s->Attached)
      if (o->KindCode() == Kind::Rest) Articulate(static_cast<CNote*>(o), 0, false);
  for (CNote* n : again) {
    const bool note = n->KindCode() == Kind::Note;
    Articulate(n, note ? n->Velocity : 0, note);
  }
  return true;
}
