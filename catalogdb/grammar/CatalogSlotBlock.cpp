#include "catalogdb/grammar/CatalogSlotBlock.h"

#include <cerrno>
#include <cstddef>

#include "fsk/FskMemory.h"
#include "fsk/FskScript.h"

namespace {

// The header word before the slots.
constexpr size_t kHeaderSlots = 1;

size_t BlockBytes(int32_t length) { return (kHeaderSlots + static_cast<size_t>(length)) * sizeof(int32_t); }

}  // namespace

void* CatalogNewSlotBlock(int64_t length, int32_t fill) {
  if (length < 0 || length > kCatalogMaxSlots) {
    errno = EINVAL;
    return nullptr;
  }
  auto count = static_cast<int32_t>(length);
  auto* words = static_cast<int32_t*>(FskMemPtrAlloc(BlockBytes(count)));
  if (words == nullptr) {
    return nullptr;
  }
  words[0] = count;
  for (int32_t slot = 0; slot < count; ++slot) {
    words[kHeaderSlots + static_cast<size_t>(slot)] = fill;
  }
  return words;
}

void* CatalogGrowSlotBlock(void* block, int32_t length) {
  if (length < 0 || length > kCatalogMaxSlots) {
    errno = EINVAL;
    return nullptr;
  }
  auto* words = static_cast<int32_t*>(FskMemPtrReallocC(block, BlockBytes(length)));
  if (words == nullptr) {
    return nullptr;
  }
  words[0] = length;
  return words;
}

CatalogSlots CatalogSlotsOfBlock(void* block) {
  auto* words = static_cast<int32_t*>(block);
  return CatalogSlots{words + kHeaderSlots, words[0]};
}

CatalogSlots CatalogSlotsOf(FskMachine* the, const FskSlot* object) {
  void* block = fxGetHostData(the, object);
  if (block == nullptr) {
    fxError(the, EINVAL);
  }
  return CatalogSlotsOfBlock(block);
}

bool CatalogSetNewSlots(FskMachine* the, int64_t length, int32_t fill) {
  FskSlot* self = fxThis(the);
  void* old = fxGetHostData(the, self);
  fxSetHostData(the, self, nullptr);
  FskMemPtrDispose(old);
  void* block = CatalogNewSlotBlock(length, fill);
  if (block == nullptr) {
    return false;
  }
  fxSetHostData(the, self, block);
  fsk::Set(the, fsk::Value(*self), "length", fsk::Value::Integer(length));
  return true;
}
