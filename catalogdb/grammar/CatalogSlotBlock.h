#pragma once

#include <cstdint>

#include "fsk/FskMachine.h"

// The host data of sorting arrays and result contents: one block of the
// runtime's allocator holding the slot count, then the int32 slots. close
// and the destructor are the shared ones of host buffers.

// A view of a slot block, valid until the next call into the script.
struct CatalogSlots {
  int32_t* slots = nullptr;
  int32_t length = 0;

  // Slot index, or -1 when index is outside the slots.
  int32_t At(int64_t index) const {
    return index >= 0 && index < length ? slots[index] : -1;
  }
};

// The largest slot count of a block.
inline constexpr int32_t kCatalogMaxSlots = (INT32_MAX / 4) - 2;

// A new block of length slots, each fill; null when length is out of range
// or there is no memory (errno set).
void* CatalogNewSlotBlock(int64_t length, int32_t fill);
// Grows block to length slots, the new ones 0; null on failure (block
// unchanged, errno set).
void* CatalogGrowSlotBlock(void* block, int32_t length);
// The view of a block.
CatalogSlots CatalogSlotsOfBlock(void* block);

// The slots of a host object; EINVAL when it has none (closed, or its
// constructor failed).
CatalogSlots CatalogSlotsOf(FskMachine* the, const FskSlot* object);
// Gives this a new block of length slots, each fill, and sets its length
// property; false, with this left without data, on failure. The old block
// is freed.
bool CatalogSetNewSlots(FskMachine* the, int64_t length, int32_t fill);
