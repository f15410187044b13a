#include "imaging/pixmap/XpPixmapAllocationHook.h"

#include <atomic>

namespace {

// Allocations left until the one that fails; 0 when disarmed.
std::atomic<int32_t> allocationsUntilFailure{0};

}  // namespace

void XpPixmapFailNthAllocation(int32_t n) {
  allocationsUntilFailure.store(n > 0 ? n : 0, std::memory_order_release);
}

bool XpPixmapAllocationMustFail() {
  int32_t left = allocationsUntilFailure.load(std::memory_order_acquire);
  while (left > 0) {
    if (allocationsUntilFailure.compare_exchange_weak(left, left - 1, std::memory_order_acq_rel)) {
      return left == 1;
    }
  }
  return false;
}
