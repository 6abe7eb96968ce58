// Finds a folder's entries by the compared form of their names in O(1)
// without storing the forms: an open-addressing table of (hash, position)
// pairs that keeps a large folder in a few cache lines per lookup.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class NameIndex {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  // The position of the entry whose key equals `key`, where keyAt(position)
  // gives an entry's key; otherwise records `key` at `position` and returns npos.
  template <class KeyAt>
  size_t FindOrAdd(const std::wstring& key, size_t position, KeyAt keyAt) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const auto hash = static_cast<uint32_t>(std::hash<std::wstring>()(key));
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      const uint64_t slot = slots_[i];
      if (slot == 0) {
        slots_[i] = (uint64_t{hash} << 32) | (position + 1);
        ++used_;
        return npos;
      }
      const size_t existing = static_cast<uint32_t>(slot) - 1;
      if (static_cast<uint32_t>(slot >> 32) == hash && keyAt(existing) == key) return existing;
    }
  }

  void Clear() {
    slots_.clear();
    used_ = 0;
  }

 private:
  void Grow() {
    std::vector<uint64_t> old(slots_.empty() ? 16 : slots_.size() * 2, 0);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (uint64_t slot : old) {
      if (!slot) continue;
      size_t i = static_cast<uint32_t>(slot >> 32) & mask;
      while (slots_[i]) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  std::vector<uint64_t> slots_;  // 0 = empty; else hash << 32 | (position + 1)
  size_t used_ = 0;
};
