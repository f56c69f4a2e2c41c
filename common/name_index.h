// Open-addressing hash index from a name to the position of the first item
// with that name. The names stay in the caller's container (a vector that
// only grows or is cleared), so the index holds no strings and allocates
// one flat table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace qx {

class NameIndex {
 public:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  NameIndex() = default;
  NameIndex(const NameIndex&) = default;
  NameIndex& operator=(const NameIndex&) = default;
  // A moved-from index must be empty, not keep a count without slots.
  NameIndex(NameIndex&& other) noexcept { *this = std::move(other); }
  NameIndex& operator=(NameIndex&& other) noexcept {
    slots_ = std::exchange(other.slots_, {});
    count_ = std::exchange(other.count_, 0);
    return *this;
  }

  static uint32_t Hash(std::string_view name) {
    const size_t h = std::hash<std::string_view>{}(name);
    return static_cast<uint32_t>(h ^ (h >> 32));
  }

  // Position recorded for `name`, or kNone. `nameAt(pos)` must return the
  // name of the item at `pos`.
  template <typename NameAt>
  size_t Find(std::string_view name, uint32_t hash, NameAt&& nameAt) const {
    if (slots_.empty()) return kNone;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.posPlusOne == 0) return kNone;
      if (slot.hash == hash && nameAt(slot.posPlusOne - 1) == name) return slot.posPlusOne - 1;
    }
  }

  // Records `pos` for a name that Find() did not find.
  void Insert(uint32_t hash, size_t pos) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    Place(Slot{hash, static_cast<uint32_t>(pos + 1)});
    ++count_;
  }

  void Clear() {
    slots_.clear();
    count_ = 0;
  }
  size_t Size() const { return count_; }
  void Reserve(size_t names) {
    while (names * 2 > slots_.size()) Grow();
  }

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t posPlusOne = 0;  // 0: empty
  };

  void Place(Slot slot) {
    const size_t mask = slots_.size() - 1;
    size_t i = slot.hash & mask;
    while (slots_[i].posPlusOne != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }

  void Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
      if (slot.posPlusOne != 0) Place(slot);
    }
  }

  std::vector<Slot> slots_;  // size is a power of two, at most half full
  size_t count_ = 0;
};

}  // namespace qx
