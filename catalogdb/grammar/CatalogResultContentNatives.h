#pragma once

#include "fsk/FskMachine.h"

// The natives of xdb.result._content: an ordered list of record IDs. The
// host data is a slot block (CatalogSlotBlock.h); close and the destructor
// are the shared ones of host buffers. Every method of a content without
// data raises EINVAL.

// _Content(n): n slots of -1, length = n. Quiet: on failure the content is
// left without data.
void CatalogResultContentConstructor(FskMachine* the);
// getAt(i) -> slot i, or -1 when i is outside the slots.
void CatalogResultContentGetAt(FskMachine* the);
// reverse(): reverses the slots in place.
void CatalogResultContentReverse(FskMachine* the);
// sort(function): the content's quicksort, ordering by function(element,
// pivot) called with this undefined (negative: before the pivot). EINVAL
// when the function closes or replaces the content's slots meanwhile.
void CatalogResultContentSort(FskMachine* the);
