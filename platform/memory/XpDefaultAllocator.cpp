#include "platform/memory/XpDefaultAllocator.h"

#include <cstdlib>

void* XpDefaultAllocator::AllocateBlock(size_t size) {
  if (size == 0) {
    return nullptr;
  }
  return std::calloc(size, 1);
}

void XpDefaultAllocator::FreeBlock(void* block) { std::free(block); }
