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

// Staccato halves and tenuto restores what a note plays; an accent plays at 120.
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

}  // namespace

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

void ApplyArticulationMarks(const DerivedLists& lists, NoteKeys& keys) {
  // A mark reaches the notes of its stave whose X lies within 12 units. The
  // stave's list is sorted by Left, and no note's X is further than
  // maxXOffset from its Left, so a window of Lefts holds every candidate.
  for (CMark* m : lists.marks) {
    const int32_t bits = MarkBits(m->Value);
    if (!bits || !m->OwnerStave) continue;
    const auto& attached = m->OwnerStave->Attached;
    const int64_t lo = int64_t(m->X) - 12 - keys.maxXOffset, hi = int64_t(m->X) + 12 + keys.maxXOffset;
    auto it = std::lower_bound(attached.begin(), attached.end(), lo,
                               [](const CStaveObject* o, int64_t left) { return o->Left < left; });
    for (; it != attached.end() && (*it)->Left <= hi; ++it) {
      if (!(*it)->IsKind(Kind::Note)) continue;
      auto* n = static_cast<CNote*>(*it);
      if (n->OwnerStave == m->OwnerStave && std::llabs(int64_t(n->X) - m->X) <= 12) n->Style |= bits;
    }
  }
}

void ComputeVelocities(const DerivedLists& lists, NoteKeys& keys) {
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
  thread_local std::vector<std::pair<size_t, const CXText*>> texts;
  thread_local std::vector<int32_t> offset;
  thread_local std::vector<uint8_t> marks;  // 1 hairpin start, 2 hairpin end
  texts.clear();
  offset.assign(timed.size(), 0);
  marks.assign(timed.size(), 0);
  for (CXText* t : lists.texts) {
    CStaff* system = locator.At(t->Left, t->Top);
    if (!system) continue;
    // The nearest Left; on equal distance the note first in the list.
    auto [begin, end] = KeyRange(byLeft, system, INT32_MIN, INT32_MAX);
    if (begin == end) continue;
    const Keyed* right = std::lower_bound(begin, end, Keyed{Keyed::Key(system->Ordinal, t->Left), 0, 0});
    const Keyed* best = nullptr;
    int64_t bestDistance = 0;
    auto consider = [&](const Keyed* k) {
      int64_t d = std::llabs(int64_t(k->Left()) - t->Left);
      if (!best || d < bestDistance || (d == bestDistance && k->pos < best->pos)) {
        best = k;
        bestDistance = d;
      }
    };
    if (right != end) consider(right);
    if (right != begin) consider(std::lower_bound(begin, right, Keyed{(right - 1)->sortKey, 0, 0}));
    const int64_t start = startAt(best->pos);
    size_t k = std::lower_bound(timed.begin(), timed.end(), start << 32,
                                [](const NoteKeys::Timed& e, int64_t key) { return e.key < key; }) - timed.begin();
    texts.emplace_back(k, t);
  }
  for (CXObject* o : lists.wedges) {
    CStaff* system = locator.At(o->Left, o->Top);
    if (!system) continue;
    int64_t lo = system->Right, hi = system->Left;
    auto [first, last] = KeyRange(byLeft, system, int64_t(o->Left) - 16, int64_t(o->Right) + 16);
    if (first != last) {
      lo = std::min<int64_t>(lo, first->Left());
      hi = std::max<int64_t>(hi, (last - 1)->Left());
    }
    if (lo == hi) continue;
    const int64_t d = o->Value == 0 ? 20 : -20;
    // Notes whose X lies in [Left - 8, Right + 8]: no X is further than
    // maxXOffset from its note's Left, so a window of Lefts holds them all.
    auto [x0, x1] = KeyRange(byLeft, system, int64_t(o->Left) - 8 - keys.maxXOffset,
                             int64_t(o->Right) + 8 + keys.maxXOffset);
    uint32_t firstPos = UINT32_MAX, lastPos = 0;
    for (const Keyed* k = x0; k != x1; ++k) {
      if (int64_t(k->x) < int64_t(o->Left) - 8 || int64_t(k->x) > int64_t(o->Right) + 8) continue;
      const int64_t off = (int64_t(k->x) - lo) * d / (hi - lo);
      offset[k->pos] = static_cast<int32_t>(std::clamp<int64_t>(off, -1000, 1000));
      firstPos = std::min(firstPos, k->pos);
      lastPos = std::max(lastPos, k->pos);
    }
    if (firstPos == UINT32_MAX) continue;
    if (firstPos != lastPos) marks[firstPos] |= 1;
    marks[lastPos] |= 2;
  }

  std::stable_sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  // Levels are worked out in Start order and written back in object order,
  // so the writes walk memory forwards.
  thread_local std::vector<int16_t> levelByOrder;
  levelByOrder.resize(timed.size());
  int level = 100, base = 100;
  bool ramp = false;
  size_t t = 0;
  for (size_t p = 0; p <= timed.size(); ++p) {
    for (; t < texts.size() && texts[t].first == p; ++t) IsDynamic(texts[t].second->text, level);
    if (p == timed.size()) break;
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
    levelByOrder[uint32_t(timed[p].key & 0xFFFFFFFF)] = static_cast<int16_t>(level);
  }
  size_t order = 0;
  for (CNote* n : lists.notes) {
    if (n->KindCode() == Kind::Note) Articulate(n, levelByOrder[order++], true);
    else Articulate(n, 0, false);
  }
}
