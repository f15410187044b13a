#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/memory/XpBitmapInfoHeader.h"

// Ready-made memory for a pixmap: there is none, whatever the size. A pixmap
// over a bitmap allocator asks this first and then has the allocator create
// the image.
void* XpStubReturnZero(size_t size);

// Pixel memory for a top-down bitmap of 24 or 32 bits per pixel, together
// with the header that describes it. Rows are padded to 4 bytes. All pixels
// live on the heap and start zeroed; the "section" kinds also hand out a
// non-null bitmap handle, so the image can go to the drawing surface.
class XpBitmapAllocator {
 public:
  XpBitmapAllocator(uint16_t bitsPerPixel, bool useSection);
  XpBitmapAllocator(const XpBitmapAllocator&) = delete;
  XpBitmapAllocator& operator=(const XpBitmapAllocator&) = delete;
  virtual ~XpBitmapAllocator();

  // Releases earlier pixels, then allocates width x |height| pixels. Null
  // when width < 1, height is 0, the image does not fit the header's 32-bit
  // size field, or memory ran out.
  void* Allocate(int32_t width, int32_t height);
  void Free();

  // Null for the heap kinds and while nothing is allocated.
  XpBitmapHandle GetHandle() const { return section_; }
  const XpBitmapInfoHeader* GetBitmapInfo() const { return &header_; }
  void* GetPixels() const { return pixels_; }
  bool GetUseSection() const { return useSection_; }
  // Takes effect with the next Allocate.
  void SetUseSection(bool useSection) { useSection_ = useSection; }

  // Bytes of one padded row; 0 for a width below 1.
  static uint64_t RowBytes(uint16_t bitsPerPixel, int32_t width);

  // The pixmap allocator interface (see XpPixmap): no ready-made blocks, an
  // image only when its rows and size are exactly the ones the pixmap
  // computed.
  void* AllocateBlock(size_t size) { return XpStubReturnZero(size); }
  void* AllocateImage(int32_t width, int32_t height, size_t stride, size_t size);
  void FreeBlock(void* block);

  // Exchanges header, pixels, handle and kind with other.
  void Swap(XpBitmapAllocator& other) noexcept;

 private:
  void ClearImageFields();

  XpBitmapInfoHeader header_;
  void* pixels_ = nullptr;
  XpBitmapHandle section_ = nullptr;
  bool useSection_;
};

class XpBitmapAllocator24 : public XpBitmapAllocator {
 public:
  XpBitmapAllocator24() : XpBitmapAllocator(24, true) {}
};

class XpBitmapAllocator24NoHandle : public XpBitmapAllocator {
 public:
  XpBitmapAllocator24NoHandle() : XpBitmapAllocator(24, false) {}
};

class XpBitmapAllocator32 : public XpBitmapAllocator {
 public:
  XpBitmapAllocator32() : XpBitmapAllocator(32, true) {}
};

class XpBitmapAllocator32NoHandle : public XpBitmapAllocator {
 public:
  XpBitmapAllocator32NoHandle() : XpBitmapAllocator(32, false) {}
};
