#pragma once

#include <cstdint>
#include <memory>

#include "fsk/FskMachine.h"
#include "fsk/FskMemory.h"

// Small helpers of the natives: native errors, address arguments and
// blocks of the runtime's allocator.

// Raises a native error carrying error; a failure that left no error code
// carries fallback instead, so that no native error carries 0.
[[noreturn]] void CatalogRaise(FskMachine* the, int error, int fallback);
// Raises a native error carrying errno (EIO when errno is 0).
[[noreturn]] void CatalogRaiseErrno(FskMachine* the);

// The address that an integer argument carries.
unsigned char* CatalogPointerArg(FskMachine* the, int32_t index);
// An integer from an address, for the natives' integer arguments.
int64_t CatalogAddressOf(const void* pointer);

// A block of the runtime's allocator, freed when it goes (also when a
// native error passes).
struct CatalogBlockDisposer {
  void operator()(void* block) const { FskMemPtrDispose(block); }
};
using CatalogBlock = std::unique_ptr<unsigned char, CatalogBlockDisposer>;

// A new block of size bytes, all 0; raises ENOMEM when there is no memory.
CatalogBlock CatalogAllocateClear(FskMachine* the, int64_t size);
