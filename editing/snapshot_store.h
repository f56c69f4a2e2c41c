// Shared storage for the journal's score snapshots. Successive snapshots of
// one score differ in a few places, so each byte string is cut into
// content-defined chunks (the cut points follow the content, so an insertion
// shifts no later cut), identical chunks are kept once with a reference
// count, and each new chunk is deflated. The bytes last stored or loaded (the
// last two) are kept whole: new chunks are checked against them byte for
// byte, and loading a neighbouring snapshot copies the shared chunks from
// them instead of inflating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

class SnapshotStore;

// One stored byte string; releases its chunks when destroyed.
class StoredBytes {
 public:
  StoredBytes() = default;
  StoredBytes(StoredBytes&& other) noexcept;
  StoredBytes& operator=(StoredBytes&& other) noexcept;
  StoredBytes(const StoredBytes&) = delete;
  StoredBytes& operator=(const StoredBytes&) = delete;
  ~StoredBytes();

  size_t Size() const { return size_; }
  size_t ChunkCount() const { return chunks_.size(); }

 private:
  friend class SnapshotStore;
  void Reset();

  SnapshotStore* store_ = nullptr;
  std::vector<uint32_t> chunks_;
  size_t size_ = 0;
};

class SnapshotStore {
 public:
  SnapshotStore() = default;
  SnapshotStore(const SnapshotStore&) = delete;
  SnapshotStore& operator=(const SnapshotStore&) = delete;
  ~SnapshotStore();

  // Stores the bytes; they become the comparison base for the next store.
  StoredBytes Put(std::vector<uint8_t> bytes);
  StoredBytes Put(const uint8_t* data, size_t size);
  // The stored bytes, rebuilt; they become the comparison base. Returns
  // nullptr (and keeps the base) if a chunk does not inflate to its size.
  const std::vector<uint8_t>* Load(const StoredBytes& stored);
  // The same without touching the base.
  bool CopyOut(const StoredBytes& stored, std::vector<uint8_t>& out) const;

  // An empty buffer, with the capacity of bytes no longer needed when there
  // are any: filling a recycled buffer spares the page faults of a new one.
  std::vector<uint8_t> TakeSpare();

  // Heap held: packed chunks, the chunk table and the base bytes.
  size_t MemoryBytes() const;
  size_t LiveChunks() const { return live_; }

  // Cut points of a byte string (ends of chunks), exposed for tests.
  static std::vector<size_t> CutPoints(const uint8_t* data, size_t size);

 private:
  friend class StoredBytes;
  struct Chunk {
    uint64_t Hash = 0;
    uint32_t Size = 0;
    uint32_t Refs = 0;
    bool Deflated = false;
    std::vector<uint8_t> Packed;
  };

  uint32_t FindOrAdd(const uint8_t* data, size_t size);
  bool Same(uint32_t id, const uint8_t* data, size_t size) const;
  bool Unpack(const Chunk& c, uint8_t* out) const;
  void AddRef(uint32_t id) { ++chunks_[id].Refs; }
  void ReleaseChunk(uint32_t id);
  // Makes these bytes, made of these chunks, the newest comparison base.
  void SetBase(std::vector<uint8_t> bytes, const std::vector<uint32_t>& chunks);
  void Recycle(std::vector<uint8_t> bytes);
  // The chunk's bytes in one of the bases, or nullptr.
  const uint8_t* FindInBases(uint32_t id) const;

  struct Base {
    std::vector<uint8_t> Bytes;
    std::vector<uint32_t> Chunks;                   // pinned while this is a base
    std::unordered_map<uint32_t, size_t> Offsets;  // chunk -> offset in Bytes
  };
  // The recalculation can flip values back and forth between passes, so a
  // snapshot often matches the one before the last: keep two.
  static constexpr size_t kBases = 2;

  std::vector<Chunk> chunks_;
  std::vector<uint32_t> freeIds_;
  std::unordered_multimap<uint64_t, uint32_t> byHash_;
  size_t live_ = 0;
  size_t packedBytes_ = 0;
  std::deque<Base> bases_;  // newest first
  std::vector<uint8_t> spare_;
};
