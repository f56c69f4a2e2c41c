#include "performance/midi_sequence.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

static_assert(offsetof(MidiEventRec, Data1) == offsetof(MidiEventRec, Status) + 1 &&
                  offsetof(MidiEventRec, Data2) == offsetof(MidiEventRec, Status) + 2 &&
                  offsetof(MidiEventRec, Tag) == offsetof(MidiEventRec, Status) + 3,
              "status, data1, data2 and tag must form one packed message word");

uint32_t MidiEventRec::ShortMessage() const {
  uint8_t bytes[4];
  std::memcpy(bytes, &Status, 4);
  // Little-endian by construction, whatever the host order.
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16;
}

namespace {
constexpr size_t kChunkSize = 64 * 1024;
constexpr size_t kMaxDataLength = 255;
}  // namespace

void CMidiSequence::Clear() {
  FileName = "Untitled.mid";
  Events.clear();
  chunks_.clear();
  chunkUsed_ = chunkSize_ = 0;
  blockCount_ = 0;
  PlayPosition = 0;
}

const uint8_t* CMidiSequence::StoreData(const uint8_t* data, size_t length) {
  // Blocks are small (at most 255 bytes) and many (two markers per note), so
  // they are cut from large chunks instead of being allocated one by one.
  if (chunks_.empty() || length > chunkSize_ - chunkUsed_) {
    const size_t size = std::max(kChunkSize, length);
    chunks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(size));
    chunkSize_ = size;
    chunkUsed_ = 0;
  }
  uint8_t* block = chunks_.back().get() + chunkUsed_;
  if (length) std::memcpy(block, data, length);
  chunkUsed_ += length;
  ++blockCount_;
  return block;
}

MidiEventRec& CMidiSequence::AddEvent(int32_t tick, uint8_t status, uint8_t data1, uint8_t data2) {
  MidiEventRec& e = Events.emplace_back();
  e.Tick = tick;
  e.Status = status;
  e.Data1 = data1;
  e.Data2 = data2;
  return e;
}

MidiEventRec& CMidiSequence::AddMeta(int32_t tick, uint8_t type, const uint8_t* data, size_t length) {
  length = std::min(length, kMaxDataLength);
  const uint8_t* block = StoreData(data, length);
  MidiEventRec& e = AddEvent(tick, 0xFF, type, static_cast<uint8_t>(length));
  e.Data = block;
  return e;
}

MidiEventRec& CMidiSequence::AddSysex(int32_t tick, uint8_t status, const uint8_t* data, size_t length) {
  length = std::min(length, kMaxDataLength);
  const uint8_t* block = StoreData(data, length);
  MidiEventRec& e = AddEvent(tick, status, static_cast<uint8_t>(length), 0);
  e.Data = block;
  return e;
}

MidiEventRec& CMidiSequence::AddText(int32_t tick, std::string_view text) {
  return AddMeta(tick, META_TEXT, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

MidiEventRec& CMidiSequence::AddTempo(int32_t tick, int32_t microsecondsPerQuarter) {
  const uint32_t v = static_cast<uint32_t>(microsecondsPerQuarter);
  const uint8_t data[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  return AddMeta(tick, META_TEMPO, data, 3);
}

MidiEventRec& CMidiSequence::AddKeySignature(int32_t tick, int sharps, int mode) {
  const uint8_t data[2] = {uint8_t(sharps), uint8_t(mode)};
  return AddMeta(tick, META_KEY_SIGNATURE, data, 2);
}

MidiEventRec& CMidiSequence::AddTimeSignature(int32_t tick, int numerator, int denominator, int clocks,
                                              int thirtySeconds) {
  // The denominator as a power of two: the smallest k with 2^k >= d, 8 when none is.
  int k = 0;
  while (k < 8 && (1 << k) < denominator) ++k;
  const uint8_t data[4] = {uint8_t(numerator), uint8_t(k), uint8_t(clocks), uint8_t(thirtySeconds)};
  return AddMeta(tick, META_TIME_SIGNATURE, data, 4);
}

void CMidiSequence::ApplyMetaEvent(const MidiEventRec& e) {
  if (!e.IsMeta() || !e.Data) return;
  if (e.Data1 == META_TEMPO && e.Data2 >= 3) {
    const int32_t tempo = int32_t(e.Data[0]) << 16 | int32_t(e.Data[1]) << 8 | int32_t(e.Data[2]);
    if (tempo < std::max(Division, 1)) return;
    Tempo = tempo;
    if (PlayClock) PlayClock->SetTempo(tempo);
  } else if (e.Data1 == META_TIME_SIGNATURE && e.Data2 >= 2) {
    const int power = e.Data[1] & 31;
    // Beat units past 2^7 fit no score and would overflow the beat arithmetic.
    if (power > 7) return;
    Numerator = e.Data[0];
    Denominator = 1 << power;
  }
}

void CMidiSequence::SeekTo(int32_t tick) {
  PlayPosition = 0;
  size_t i = 0;
  for (; i < Events.size() && Events[i].Tick < tick; ++i) {
    const MidiEventRec& e = Events[i];
    if (e.IsMeta()) ApplyMetaEvent(e);
    else if (!e.IsNote() && !e.IsSysex() && OutputPort) OutputPort->SendShortMessage(e.ShortMessage());
  }
  PlayPosition = i;
}

void CMidiSequence::PlayUpTo(int32_t tick) {
  const size_t n = Events.size();
  size_t i = PlayPosition;
  for (; i < n && Events[i].Tick <= tick; ++i) {
    const MidiEventRec& e = Events[i];
    if (e.IsMeta()) ApplyMetaEvent(e);
    else if (OutputPort && !e.IsSysex() && (ChannelMask >> (e.Status & 0x0F) & 1)) OutputPort->SendShortMessage(e.ShortMessage());
  }
  PlayPosition = i;
}

// --- sorting ------------------------------------------------------------------------------

namespace {

// Order of events at one tick.
inline uint32_t TickClass(const MidiEventRec& e) {
  switch (e.Status >> 4) {
    case 0x8: return 0;
    case 0x9: return 3;
    default: return (e.Status == 0xFF && e.Data1 != META_TEXT) ? 1 : 2;
  }
}

// Tick and class as one unsigned key that orders like (tick, class).
inline uint64_t SortKey(const MidiEventRec& e) {
  return (uint64_t(uint32_t(e.Tick) ^ 0x80000000u) << 2) | TickClass(e);
}

}  // namespace

namespace {

bool KeyLess(const MidiEventRec& a, const MidiEventRec& b) { return SortKey(a) < SortKey(b); }

// Stable LSD radix sort of (key, index) packed into one word: the index in
// the low bits keeps equal keys in order. Returns the sorted indexes in the
// low `indexBits` bits of `keys`.
void RadixOrder(const MidiEventRec* events, size_t n, std::vector<uint64_t>& keys, int& indexBits) {
  thread_local std::vector<uint64_t> other;
  indexBits = 1;
  while ((size_t(1) << indexBits) < n) ++indexBits;
  keys.resize(n);
  other.resize(n);
  uint64_t lo = ~uint64_t(0), hi = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t key = SortKey(events[i]);
    lo = std::min(lo, key);
    hi = std::max(hi, key);
  }
  // Sort by the offset from the smallest key: few significant bits for the
  // usual lists, whose ticks span far less than the whole range.
  for (size_t i = 0; i < n; ++i) keys[i] = ((SortKey(events[i]) - lo) << indexBits) | i;
  int keyBits = 0;
  while (keyBits < 64 && ((hi - lo) >> keyBits) != 0) ++keyBits;
  const int totalBits = keyBits + indexBits;
  constexpr int kDigitBits = 11;
  constexpr size_t kBuckets = size_t(1) << kDigitBits;
  uint32_t count[kBuckets];
  // The index bits are already in order; only the key digits are sorted.
  for (int shift = indexBits; shift < totalBits; shift += kDigitBits) {
    std::fill(std::begin(count), std::end(count), 0);
    for (size_t i = 0; i < n; ++i) ++count[(keys[i] >> shift) & (kBuckets - 1)];
    uint32_t sum = 0;
    for (size_t d = 0; d < kBuckets; ++d) {
      const uint32_t c = count[d];
      count[d] = sum;
      sum += c;
    }
    for (size_t i = 0; i < n; ++i) other[count[(keys[i] >> shift) & (kBuckets - 1)]++] = keys[i];
    keys.swap(other);
  }
}

}  // namespace

std::vector<MidiEventRec>& SpareEventList(size_t capacity) {
  thread_local std::vector<MidiEventRec> spare;
  spare.clear();
  spare.reserve(capacity);
  return spare;
}

void SortEvents(std::vector<MidiEventRec>& events) {
  const size_t n = events.size();
  // The build sorts the same list several times, each time after appending
  // to a sorted list: only what follows the sorted run is sorted, then the
  // two are merged.
  size_t run = 1;
  while (run < n && !KeyLess(events[run], events[run - 1])) ++run;
  if (run >= n) return;
  const MidiEventRec* tail = events.data() + run;
  const size_t tailSize = n - run;
  if (tailSize >= (size_t(1) << 30)) {
    std::stable_sort(events.begin() + run, events.end(), KeyLess);
    std::inplace_merge(events.begin(), events.begin() + run, events.end(), KeyLess);
    return;
  }
  thread_local std::vector<uint64_t> keys;
  int indexBits = 0;
  const bool tailSorted = std::is_sorted(tail, tail + tailSize, KeyLess);
  if (!tailSorted) RadixOrder(tail, tailSize, keys, indexBits);
  const uint64_t indexMask = (uint64_t(1) << indexBits) - 1;
  auto tailAt = [&](size_t j) -> const MidiEventRec& { return tailSorted ? tail[j] : tail[keys[j] & indexMask]; };
  // Stable merge: on equal keys the sorted run's events come first.
  std::vector<MidiEventRec>& merged = SpareEventList(n);
  size_t i = 0, j = 0;
  while (i < run && j < tailSize) {
    if (KeyLess(tailAt(j), events[i])) merged.push_back(tailAt(j++));
    else merged.push_back(events[i++]);
  }
  merged.insert(merged.end(), events.begin() + i, events.begin() + run);
  for (; j < tailSize; ++j) merged.push_back(tailAt(j));
  std::copy(merged.begin(), merged.end(), events.begin());
}
