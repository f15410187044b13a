#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/memory/XpSharedPtr.h"

namespace XdbAccessor {

// The entries of a list of layer objects, in insertion order, each held by
// a shared pointer.
template <typename Entry>
class XdbObjectList {
 public:
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }

  // The entry without a new reference; std::out_of_range when index is not
  // below the count.
  Entry* At(int32_t index) const {
    if (index < 0 || index >= Count()) {
      throw std::out_of_range("invalid vector<T> subscript");
    }
    return entries_[static_cast<size_t>(index)].Get();
  }

  // Takes ownership of entry. False when it could not be held: the entry
  // is then deleted. May throw std::bad_alloc.
  bool Add(Entry* entry) {
    XpSharedPtr<Entry> held(entry);
    if (held.Get() == nullptr) {
      return false;
    }
    entries_.push_back(held);
    return true;
  }

 private:
  std::vector<XpSharedPtr<Entry>> entries_;
};

}  // namespace XdbAccessor
