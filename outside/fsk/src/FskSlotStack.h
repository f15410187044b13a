#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "fsk/FskSlot.h"

// The machine's stack of slots. Its storage is taken once, at its full
// capacity, so that slot addresses never move while the stack lives; the
// pages are touched only as the stack grows into them. Callers make sure of
// the room before they push.
class FskSlotStack {
 public:
  explicit FskSlotStack(size_t capacity)
      : slots_(std::allocator<FskSlot>().allocate(capacity)), capacity_(capacity) {}
  FskSlotStack(const FskSlotStack&) = delete;
  FskSlotStack& operator=(const FskSlotStack&) = delete;
  ~FskSlotStack() {
    while (size_ > 0) {
      pop_back();
    }
    std::allocator<FskSlot>().deallocate(slots_, capacity_);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  FskSlot& operator[](size_t index) { return slots_[index]; }
  FskSlot& back() { return slots_[size_ - 1]; }

  FskSlot& emplace_back() {
    FskSlot* slot = new (slots_ + size_) FskSlot();
    ++size_;
    return *slot;
  }

  // The value goes only once it is off the stack: letting go of it may run
  // code that pushes. A plain value has nothing to let go of.
  void pop_back() {
    FskSlot& top = slots_[size_ - 1];
    if (top.Type() < kFskStringType) {
      --size_;
      return;
    }
    FskSlot last(std::move(top));
    --size_;
    top.~FskSlot();
  }

 private:
  FskSlot* slots_;
  size_t capacity_;
  size_t size_ = 0;
};
