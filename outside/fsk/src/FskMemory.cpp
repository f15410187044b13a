#include "fsk/FskMemory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/result/XpResult.h"

namespace {

// Each block starts with its size, so that a resize can clear what it adds.
constexpr size_t kHeaderSize = 16;

int32_t gFailCount = 0;
int64_t gLiveBlocks = 0;

bool ShouldFail() {
  if (gFailCount <= 0) {
    return false;
  }
  --gFailCount;
  return true;
}

unsigned char* HeaderOf(void* block) { return static_cast<unsigned char*>(block) - kHeaderSize; }

size_t SizeOf(void* block) {
  size_t size = 0;
  std::memcpy(&size, HeaderOf(block), sizeof size);
  return size;
}

void* Finish(unsigned char* header, size_t size) {
  std::memcpy(header, &size, sizeof size);
  return header + kHeaderSize;
}

void* Allocate(size_t size, bool clear) {
  if (ShouldFail() || size > SIZE_MAX - kHeaderSize) {
    errno = ENOMEM;
    return nullptr;
  }
  void* header = clear ? std::calloc(1, size + kHeaderSize) : std::malloc(size + kHeaderSize);
  if (header == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  ++gLiveBlocks;
  return Finish(static_cast<unsigned char*>(header), size);
}

}  // namespace

int32_t FskMemPtrNew(size_t size, void** out) {
  *out = Allocate(size, false);
  return *out != nullptr ? static_cast<int32_t>(kXpOk) : static_cast<int32_t>(kXpErrOutOfMemory);
}

void* FskMemPtrAlloc(size_t size) { return Allocate(size, false); }

void* FskMemPtrAllocClear(size_t size) { return Allocate(size, true); }

void* FskMemPtrReallocC(void* block, size_t size) {
  if (block == nullptr) {
    return Allocate(size, true);
  }
  if (ShouldFail() || size > SIZE_MAX - kHeaderSize) {
    errno = ENOMEM;
    return nullptr;
  }
  size_t oldSize = SizeOf(block);
  void* header = std::realloc(HeaderOf(block), size + kHeaderSize);
  if (header == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  auto* bytes = static_cast<unsigned char*>(header);
  if (size > oldSize) {
    std::memset(bytes + kHeaderSize + oldSize, 0, size - oldSize);
  }
  return Finish(bytes, size);
}

void FskMemPtrDispose(void* block) {
  if (block == nullptr) {
    return;
  }
  --gLiveBlocks;
  std::free(HeaderOf(block));
}

void FskMemSet(void* destination, int value, size_t count) {
  if (count > 0) {
    std::memset(destination, value, count);
  }
}

void FskMemCopy(void* destination, const void* source, size_t count) {
  if (count > 0) {
    std::memcpy(destination, source, count);
  }
}

void FskMemMove(void* destination, const void* source, size_t count) {
  if (count > 0) {
    std::memmove(destination, source, count);
  }
}

size_t FskStrLen(const char* text) { return std::strlen(text); }

void FskStrNCopy(char* destination, const char* source, size_t count) {
  size_t i = 0;
  for (; i < count && source[i] != '\0'; ++i) {
    destination[i] = source[i];
  }
  for (; i < count; ++i) {
    destination[i] = '\0';
  }
}

int FskStrCompareWithLength(const char* a, const char* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    auto left = static_cast<unsigned char>(a[i]);
    auto right = static_cast<unsigned char>(b[i]);
    if (left != right) {
      return left < right ? -1 : 1;
    }
    if (left == '\0') {
      return 0;
    }
  }
  return 0;
}

void FskMemFailNextAllocations(int32_t count) { gFailCount = count; }

int64_t FskMemLiveBlocks() { return gLiveBlocks; }
