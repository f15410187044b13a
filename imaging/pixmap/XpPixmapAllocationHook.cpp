#include "imaging/pixmap/XpPixmapAllocationHook.h"

#include <atomic>

namespace {

// Allocations left until the one that fails; 0 when disarmed.
std::atomic<int32_t> allocationsUntilFailure{0};

std::atomic<bool> counting{false};
std::atomic<int32_t> allocationCount{0};
std::atomic<size_t> largestBytes{0};

void CountAllocation(size_t bytes) {
  if (!counting.load(std::memory_order_acquire)) {
    return;
  }
  allocationCount.fetch_add(1, std::memory_order_acq_rel);
  size_t largest = largestBytes.load(std::memory_order_acquire);
  while (bytes > largest &&
         !largestBytes.compare_exchange_weak(largest, bytes, std::memory_order_acq_rel)) {
  }
}

}  // namespace

void XpPixmapFailNthAllocation(int32_t n) {
  allocationsUntilFailure.store(n > 0 ? n : 0, std::memory_order_release);
}

bool XpPixmapAllocationMustFail(size_t bytes) {
  CountAllocation(bytes);
  int32_t left = allocationsUntilFailure.load(std::memory_order_acquire);
  while (left > 0) {
    if (allocationsUntilFailure.compare_exchange_weak(left, left - 1, std::memory_order_acq_rel)) {
      return left == 1;
    }
  }
  return false;
}

XpScopedPixmapAllocationCount::XpScopedPixmapAllocationCount() {
  allocationCount.store(0, std::memory_order_release);
  largestBytes.store(0, std::memory_order_release);
  counting.store(true, std::memory_order_release);
}

XpScopedPixmapAllocationCount::~XpScopedPixmapAllocationCount() {
  counting.store(false, std::memory_order_release);
}

int32_t XpScopedPixmapAllocationCount::Count() const {
  return allocationCount.load(std::memory_order_acquire);
}

size_t XpScopedPixmapAllocationCount::LargestBytes() const {
  return largestBytes.load(std::memory_order_acquire);
}
