#pragma once

#include <cstdint>

// Test seam: makes the n-th following pixmap allocation fail with
// kXpErrOutOfMemory, as if memory had run out (1 = the next one). 0 disarms.
// Process-wide.
void XpPixmapFailNthAllocation(int32_t n);

// Counts one pixmap allocation; true when the seam says it must fail.
bool XpPixmapAllocationMustFail();

// Arms the seam for one scope and disarms it at the end.
class XpScopedPixmapAllocationFailure {
 public:
  explicit XpScopedPixmapAllocationFailure(int32_t n) { XpPixmapFailNthAllocation(n); }
  XpScopedPixmapAllocationFailure(const XpScopedPixmapAllocationFailure&) = delete;
  XpScopedPixmapAllocationFailure& operator=(const XpScopedPixmapAllocationFailure&) = delete;
  ~XpScopedPixmapAllocationFailure() { XpPixmapFailNthAllocation(0); }
};
