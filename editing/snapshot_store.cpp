#include "editing/snapshot_store.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Chunk sizes: at least 2 KiB, at most 64 KiB, a cut on average every 8 KiB
// after the minimum.
constexpr size_t kMinChunk = 2048;
constexpr size_t kMaxChunk = 65536;
constexpr int kCutBits = 13;
// The high bits of the gear hash depend on the last 64 bytes only.
constexpr uint64_t kCutMask = ~uint64_t(0) << (64 - kCutBits);
constexpr size_t kWindow = 64;

constexpr uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

constexpr std::array<uint64_t, 256> MakeGear() {
  std::array<uint64_t, 256> table{};
  uint64_t state = 0x5175617669784A6Full;
  for (auto& v : table) v = SplitMix(state);
  return table;
}
constexpr std::array<uint64_t, 256> kGear = MakeGear();

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

// A fingerprint for finding equal chunks; equality is always confirmed on the
// bytes, so it only needs to spread well and run fast (four lanes).
uint64_t Fingerprint(const uint8_t* p, size_t n) {
  constexpr uint64_t k = 0x9FB21C651E98DF25ull;
  uint64_t a = 0x243F6A8885A308D3ull ^ n, b = 0x13198A2E03707344ull, c = 0xA4093822299F31D0ull,
           d = 0x082EFA98EC4E6C89ull;
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    a = (a ^ Load64(p + i)) * k;
    b = (b ^ Load64(p + i + 8)) * k;
    c = (c ^ Load64(p + i + 16)) * k;
    d = (d ^ Load64(p + i + 24)) * k;
    a ^= a >> 29;
    b ^= b >> 29;
    c ^= c >> 29;
    d ^= d >> 29;
  }
  uint64_t tail = 0;
  for (size_t shift = 0; i < n; ++i, shift = (shift + 8) & 63) {
    tail ^= uint64_t(p[i]) << shift;
    if (shift == 56) a = (a ^ tail) * k, tail = 0;
  }
  a = (a ^ tail) * k;
  return Mix(a ^ Mix(b) ^ (Mix(c) * 3) ^ (Mix(d) * 5));
}

}  // namespace

// --- StoredBytes ---------------------------------------------------------------

StoredBytes::StoredBytes(StoredBytes&& other) noexcept
    : store_(other.store_), chunks_(std::move(other.chunks_)), size_(other.size_) {
  other.store_ = nullptr;
  other.chunks_.clear();
  other.size_ = 0;
}

StoredBytes& StoredBytes::operator=(StoredBytes&& other) noexcept {
  if (this != &other) {
    Reset();
    store_ = other.store_;
    chunks_ = std::move(other.chunks_);
    size_ = other.size_;
    other.store_ = nullptr;
    other.chunks_.clear();
    other.size_ = 0;
  }
  return *this;
}

StoredBytes::~StoredBytes() { Reset(); }

void StoredBytes::Reset() {
  if (store_)
    for (uint32_t id : chunks_) store_->ReleaseChunk(id);
  store_ = nullptr;
  chunks_.clear();
  size_ = 0;
}

// --- SnapshotStore -------------------------------------------------------------

SnapshotStore::~SnapshotStore() {
  for (const Base& base : bases_)
    for (uint32_t id : base.Chunks) ReleaseChunk(id);
}

std::vector<size_t> SnapshotStore::CutPoints(const uint8_t* data, size_t size) {
  std::vector<size_t> cuts;
  size_t start = 0;
  while (start < size) {
    const size_t remaining = size - start;
    if (remaining <= kMinChunk) {
      cuts.push_back(size);
      break;
    }
    const size_t limit = std::min(remaining, kMaxChunk);
    const uint8_t* p = data + start;
    // Hash the window before the minimum first, so a cut depends only on
    // the 64 bytes before it and not on where this chunk began.
    uint64_t h = 0;
    size_t i = kMinChunk - kWindow;
    for (; i < kMinChunk; ++i) h = (h << 1) + kGear[p[i]];
    size_t length = limit;
    for (; i < limit; ++i) {
      h = (h << 1) + kGear[p[i]];
      if ((h & kCutMask) == 0) {
        length = i + 1;
        break;
      }
    }
    start += length;
    cuts.push_back(start);
  }
  return cuts;
}

bool SnapshotStore::Unpack(const Chunk& c, uint8_t* out) const {
  if (!c.Deflated) {
    std::memcpy(out, c.Packed.data(), c.Size);
    return true;
  }
  uLongf length = c.Size;
  return uncompress(out, &length, c.Packed.data(), c.Packed.size()) == Z_OK && length == c.Size;
}

bool SnapshotStore::Same(uint32_t id, const uint8_t* data, size_t size) const {
  const Chunk& c = chunks_[id];
  if (c.Size != size) return false;
  if (const uint8_t* raw = FindInBases(id)) return std::memcmp(raw, data, size) == 0;
  std::vector<uint8_t> bytes(c.Size);
  return Unpack(c, bytes.data()) && std::memcmp(bytes.data(), data, size) == 0;
}

uint32_t SnapshotStore::FindOrAdd(const uint8_t* data, size_t size) {
  const uint64_t hash = Fingerprint(data, size);
  auto [first, last] = byHash_.equal_range(hash);
  for (auto it = first; it != last; ++it)
    if (Same(it->second, data, size)) {
      AddRef(it->second);
      return it->second;
    }

  Chunk c;
  c.Hash = hash;
  c.Size = static_cast<uint32_t>(size);
  c.Refs = 1;
  uLongf packedSize = compressBound(size);
  c.Packed.resize(packedSize);
  if (compress2(c.Packed.data(), &packedSize, data, size, 1) == Z_OK && packedSize < size) {
    c.Packed.resize(packedSize);
    c.Deflated = true;
  } else {
    c.Packed.assign(data, data + size);
  }
  c.Packed.shrink_to_fit();
  packedBytes_ += c.Packed.capacity();

  uint32_t id;
  if (!freeIds_.empty()) {
    id = freeIds_.back();
    freeIds_.pop_back();
    chunks_[id] = std::move(c);
  } else {
    id = static_cast<uint32_t>(chunks_.size());
    chunks_.push_back(std::move(c));
  }
  byHash_.emplace(hash, id);
  ++live_;
  return id;
}

void SnapshotStore::ReleaseChunk(uint32_t id) {
  Chunk& c = chunks_[id];
  if (--c.Refs != 0) return;
  auto [first, last] = byHash_.equal_range(c.Hash);
  for (auto it = first; it != last; ++it)
    if (it->second == id) {
      byHash_.erase(it);
      break;
    }
  packedBytes_ -= c.Packed.capacity();
  c.Packed = {};
  freeIds_.push_back(id);
  --live_;
}

void SnapshotStore::Recycle(std::vector<uint8_t> bytes) {
  if (bytes.capacity() > spare_.capacity()) spare_ = std::move(bytes);
}

std::vector<uint8_t> SnapshotStore::TakeSpare() {
  std::vector<uint8_t> spare = std::move(spare_);
  spare_ = {};
  spare.clear();
  return spare;
}

const uint8_t* SnapshotStore::FindInBases(uint32_t id) const {
  for (const Base& base : bases_)
    if (auto it = base.Offsets.find(id); it != base.Offsets.end()) return base.Bytes.data() + it->second;
  return nullptr;
}

void SnapshotStore::SetBase(std::vector<uint8_t> bytes, const std::vector<uint32_t>& chunks) {
  // The same bytes again (a reload of the newest): nothing to add.
  for (auto it = bases_.begin(); it != bases_.end(); ++it)
    if (it->Chunks == chunks) {
      Base same = std::move(*it);
      bases_.erase(it);
      bases_.push_front(std::move(same));
      Recycle(std::move(bytes));
      return;
    }
  Base base;
  base.Bytes = std::move(bytes);
  base.Chunks = chunks;
  size_t offset = 0;
  for (uint32_t id : base.Chunks) {
    AddRef(id);
    base.Offsets.try_emplace(id, offset);
    offset += chunks_[id].Size;
  }
  bases_.push_front(std::move(base));
  while (bases_.size() > kBases) {
    for (uint32_t id : bases_.back().Chunks) ReleaseChunk(id);
    Recycle(std::move(bases_.back().Bytes));
    bases_.pop_back();
  }
}

StoredBytes SnapshotStore::Put(const uint8_t* data, size_t size) {
  return Put(std::vector<uint8_t>(data, data + size));
}

StoredBytes SnapshotStore::Put(std::vector<uint8_t> bytes) {
  StoredBytes stored;
  stored.store_ = this;
  stored.size_ = bytes.size();
  size_t start = 0;
  for (size_t end : CutPoints(bytes.data(), bytes.size())) {
    stored.chunks_.push_back(FindOrAdd(bytes.data() + start, end - start));
    start = end;
  }
  SetBase(std::move(bytes), stored.chunks_);
  return stored;
}

bool SnapshotStore::CopyOut(const StoredBytes& stored, std::vector<uint8_t>& out) const {
  if (stored.store_ && stored.store_ != this) return false;
  out.resize(stored.size_);
  size_t offset = 0;
  for (uint32_t id : stored.chunks_) {
    const Chunk& c = chunks_[id];
    if (offset + c.Size > out.size()) return false;
    if (const uint8_t* raw = FindInBases(id))
      std::memcpy(out.data() + offset, raw, c.Size);
    else if (!Unpack(c, out.data() + offset))
      return false;
    offset += c.Size;
  }
  return offset == out.size();
}

const std::vector<uint8_t>* SnapshotStore::Load(const StoredBytes& stored) {
  if (stored.chunks_.empty()) {
    // Nothing to compare against later: keep the current base.
    static const std::vector<uint8_t> kEmpty;
    return stored.size_ == 0 ? &kEmpty : nullptr;
  }
  std::vector<uint8_t> bytes = TakeSpare();
  if (!CopyOut(stored, bytes)) {
    Recycle(std::move(bytes));
    return nullptr;
  }
  SetBase(std::move(bytes), stored.chunks_);
  return &bases_.front().Bytes;
}

size_t SnapshotStore::MemoryBytes() const {
  size_t bytes = packedBytes_ + chunks_.capacity() * sizeof(Chunk) + byHash_.size() * 32 +
                 freeIds_.capacity() * sizeof(uint32_t) + spare_.capacity();
  for (const Base& base : bases_)
    bytes += base.Bytes.capacity() + base.Chunks.capacity() * sizeof(uint32_t) + base.Offsets.size() * 32;
  return bytes;
}
