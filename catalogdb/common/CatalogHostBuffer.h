#pragma once

#include "fsk/FskMachine.h"

// Host objects whose data is one block from the runtime's allocator (atoms,
// pages, sorting arrays, result contents) share these bodies.

// The destructor: frees the block.
void CatalogHostBufferDestructor(void* data);

// close(): frees the block of this and leaves this without data.
void CatalogHostBufferClose(FskMachine* the);
