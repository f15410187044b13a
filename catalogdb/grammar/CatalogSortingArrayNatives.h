#pragma once

#include "fsk/FskMachine.h"

// The natives of xdbBtree.sortingArray: slots indexed by record ID, each
// the rank of the ID's key or -1 when the ID has no key. The host data is a
// slot block (CatalogSlotBlock.h); close and the destructor are the shared
// ones of host buffers. Every method of an array without data raises
// EINVAL.

// SortingArray(n): n slots of -1, length = n, index = 0. Quiet: on failure
// the array is left without data.
void CatalogSortingArrayConstructor(FskMachine* the);
// compare(a, b) -> rank of a minus rank of b, computed in 64 bits; an ID
// outside the slots ranks -1.
void CatalogSortingArrayCompare(FskMachine* the);
// setValue(id, rank): grows by 1024 slots (the new ones 0) until id is a
// slot, then stores rank. EINVAL for a negative id or one past the limit.
void CatalogSortingArraySetValue(FskMachine* the);
