#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/memory/XpBitmapInfoHeader.h"

// Plain zeroed heap blocks for pixmaps that are never drawn. Holds nothing;
// has no bitmap handle and no bitmap header.
class XpDefaultAllocator {
 public:
  // Null for size 0 or when memory ran out.
  void* AllocateBlock(size_t size);
  void* AllocateImage(int32_t /*width*/, int32_t /*height*/, size_t /*stride*/, size_t /*size*/) {
    return nullptr;
  }
  void FreeBlock(void* block);
  // Nothing to exchange: the blocks belong to the pixmaps.
  void Swap(XpDefaultAllocator& /*other*/) noexcept {}

  XpBitmapHandle GetHandle() const { return nullptr; }
  const XpBitmapInfoHeader* GetBitmapInfo() const { return nullptr; }
};
