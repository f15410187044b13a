#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

// The quicksort of result contents over slots lo..hi: the pivot is the
// first slot of a part; one forward pass gathers after it the elements that
// go before it (before(element, pivot)), then the pivot moves to the end of
// that run. The smaller side is sorted by recursion and the larger by the
// loop, so the depth stays logarithmic; each side sorts the same whichever
// goes first, so the order is that of recursing on the left side.
//
// slots() gives the slots afresh at each step (before may call into a
// script that moves them); before and slots may raise.
template <typename Before, typename Slots>
class CatalogContentQuicksort {
 public:
  CatalogContentQuicksort(Before before, Slots slots) : before_(std::move(before)), slots_(std::move(slots)) {}

  void Sort(int64_t lo, int64_t hi) { SortAt(lo, hi, 1); }

  // The deepest recursion reached, counting the first call as 1.
  int64_t Depth() const { return depth_; }

 private:
  void SortAt(int64_t lo, int64_t hi, int64_t depth) {
    depth_ = std::max(depth_, depth);
    while (lo < hi) {
      int64_t pivotAt = Partition(lo, hi);
      if (pivotAt - lo < hi - pivotAt) {
        SortAt(lo, pivotAt - 1, depth + 1);
        lo = pivotAt + 1;
      } else {
        SortAt(pivotAt + 1, hi, depth + 1);
        hi = pivotAt - 1;
      }
    }
  }

  int64_t Partition(int64_t lo, int64_t hi) {
    int32_t pivot = slots_()[lo];
    int64_t j = lo;
    for (int64_t i = lo + 1; i <= hi; ++i) {
      int32_t element = slots_()[i];
      if (before_(element, pivot)) {
        ++j;
        int32_t* slots = slots_();
        std::swap(slots[j], slots[i]);
      }
    }
    int32_t* slots = slots_();
    std::swap(slots[lo], slots[j]);
    return j;
  }

  Before before_;
  Slots slots_;
  int64_t depth_ = 0;
};
