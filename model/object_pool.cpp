#include "model/object_pool.h"

#include <mutex>
#include <new>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif

constexpr size_t kGranule = 16;
constexpr size_t kClasses = 32;             // slots up to 512 bytes
constexpr size_t kBlockBytes = 256 * 1024;  // per block

struct FreeSlot {
  FreeSlot* next;
};

struct Pool {
  FreeSlot* free = nullptr;
  char* cursor = nullptr;
  char* end = nullptr;
};

struct Pools {
  std::mutex mutex;
  Pool pools[kClasses];
  std::vector<void*> blocks;
  size_t inUse = 0;
};

Pools& Storage() {
  static Pools* pools = new Pools;  // never destroyed: objects may outlive static destructors
  return *pools;
}

}  // namespace

void* AllocateObjectStorage(size_t size) {
  const size_t cls = (size + kGranule - 1) / kGranule;
  if (!kPooled || cls >= kClasses) return ::operator new(size);
  const size_t slot = cls * kGranule;
  Pools& s = Storage();
  std::lock_guard<std::mutex> lock(s.mutex);
  Pool& p = s.pools[cls];
  s.inUse += slot;
  if (p.free) {
    FreeSlot* f = p.free;
    p.free = f->next;
    return f;
  }
  if (p.cursor == nullptr || p.cursor + slot > p.end) {
    char* block = static_cast<char*>(::operator new(kBlockBytes));
    s.blocks.push_back(block);
    p.cursor = block;
    p.end = block + kBlockBytes - (kBlockBytes % slot);
  }
  void* result = p.cursor;
  p.cursor += slot;
  return result;
}

void FreeObjectStorage(void* ptr, size_t size) {
  if (!ptr) return;
  const size_t cls = (size + kGranule - 1) / kGranule;
  if (!kPooled || cls >= kClasses) {
    ::operator delete(ptr);
    return;
  }
  Pools& s = Storage();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.inUse -= cls * kGranule;
  auto* f = static_cast<FreeSlot*>(ptr);
  f->next = s.pools[cls].free;
  s.pools[cls].free = f;
}

size_t ObjectStorageInUse() {
  Pools& s = Storage();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.inUse;
}
