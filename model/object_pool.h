// Storage for score objects. Objects come from pools of equal-sized slots
// carved out of large blocks, so the objects of a loaded score lie together
// in load order and the recalculation's walks stream through memory instead
// of missing the cache on every object. Freed slots are reused; the blocks
// stay for the life of the process. Sanitizer builds use the plain heap so
// that use-after-free is still caught.
#pragma once

#include <cstddef>

void* AllocateObjectStorage(size_t size);
void FreeObjectStorage(void* p, size_t size);

// Bytes of live objects' slots (pooled storage only), for memory figures.
size_t ObjectStorageInUse();
