#pragma once

#include <cstddef>
#include <cstdint>

// Test seam: makes the n-th following pixmap allocation fail with
// kXpErrOutOfMemory, as if memory had run out (1 = the next one). 0 disarms.
// Process-wide.
void XpPixmapFailNthAllocation(int32_t n);

// Counts one pixmap allocation of bytes; true when the seam says it must
// fail.
bool XpPixmapAllocationMustFail(size_t bytes);

// Arms the seam for one scope and disarms it at the end.
class XpScopedPixmapAllocationFailure {
 public:
  explicit XpScopedPixmapAllocationFailure(int32_t n) { XpPixmapFailNthAllocation(n); }
  XpScopedPixmapAllocationFailure(const XpScopedPixmapAllocationFailure&) = delete;
  XpScopedPixmapAllocationFailure& operator=(const XpScopedPixmapAllocationFailure&) = delete;
  ~XpScopedPixmapAllocationFailure() { XpPixmapFailNthAllocation(0); }
};

// Test seam: while one lives, the pixmap allocations of every thread are
// counted, with the largest block asked for. One at a time.
class XpScopedPixmapAllocationCount {
 public:
  XpScopedPixmapAllocationCount();
  XpScopedPixmapAllocationCount(const XpScopedPixmapAllocationCount&) = delete;
  XpScopedPixmapAllocationCount& operator=(const XpScopedPixmapAllocationCount&) = delete;
  ~XpScopedPixmapAllocationCount();

  int32_t Count() const;
  size_t LargestBytes() const;
};
