#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixmap/XpPlane.h"
#include "platform/memory/XpBitmapInfoHeader.h"
#include "platform/result/XpResult.h"

// A picture held in one pixel block and described by up to four planes.
// The block pointer, block size, width and height are public fields; after
// construction and after Free they are all 0. Held through
// XpSharedPtr<XpPixmapBase> where several owners share one pixmap.
class XpPixmapBase {
 public:
  XpPixmapBase() = default;
  XpPixmapBase(const XpPixmapBase&) = delete;
  XpPixmapBase& operator=(const XpPixmapBase&) = delete;
  virtual ~XpPixmapBase() = default;

  // Replaces the contents by a new block of width x height. kXpErrGeneric
  // for a width or height below 1 and kXpErrOutOfMemory for a block beyond
  // 32 bits, both before anything changes; otherwise the old block is freed
  // first, and kXpErrOutOfMemory without a new one leaves the pixmap empty.
  [[nodiscard]] virtual XpResult Allocate(int32_t width, int32_t height) = 0;
  // Gives the block back, drops the planes, sets size, width and height to 0.
  virtual void Free() = 0;
  // A new pixmap of the same type and size with a copy of the block; null
  // when it cannot be made. The caller owns it.
  virtual XpPixmapBase* Clone() const = 0;

  // Planes that are not empty slots.
  virtual int32_t GetPlaneCount() const = 0;
  // The plane object at index 0-3; null before Allocate and after Free.
  virtual XpPlaneBase* GetPlane(int32_t index) = 0;
  virtual const XpPlaneBase* GetPlane(int32_t index) const = 0;

  // The pixel type of plane 0-3, whether allocated or not; 0 for another index.
  virtual int32_t GetBitsPerPixel(int32_t index) const = 0;
  virtual int32_t GetBitsPerChannel(int32_t index) const = 0;
  virtual int32_t GetChannelCount(int32_t index) const = 0;
  virtual uint32_t GetChannelSet(int32_t index) const = 0;

  // The allocator's bitmap handle and header; null where it has none.
  virtual XpBitmapHandle GetBitmapHandle() const = 0;
  virtual const XpBitmapInfoHeader* GetBitmapInfo() const = 0;

  bool IsAllocated() const { return block != nullptr; }

  uint8_t* block = nullptr;
  size_t blockSize = 0;
  int32_t width = 0;
  int32_t height = 0;
};
