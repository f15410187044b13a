#pragma once

#include <cstddef>
#include <cstdint>

// The runtime's memory and string services. Blocks from FskMemPtrNew,
// FskMemPtrAlloc, FskMemPtrAllocClear and FskMemPtrReallocC are released
// with FskMemPtrDispose and nothing else.

// 0 with *out set, or kXpErrOutOfMemory with *out null and errno ENOMEM.
int32_t FskMemPtrNew(size_t size, void** out);
// Null on failure (errno ENOMEM).
void* FskMemPtrAlloc(size_t size);
// As FskMemPtrAlloc, with every byte 0.
void* FskMemPtrAllocClear(size_t size);
// Resizes block (null allocates); bytes added are 0. Null on failure, and
// block is then unchanged.
void* FskMemPtrReallocC(void* block, size_t size);
// Null is accepted.
void FskMemPtrDispose(void* block);

void FskMemSet(void* destination, int value, size_t count);
void FskMemCopy(void* destination, const void* source, size_t count);
// The areas may overlap.
void FskMemMove(void* destination, const void* source, size_t count);

size_t FskStrLen(const char* text);
// Copies at most count bytes of source; when source ends sooner, the rest
// of the count bytes of destination become NUL (as strncpy).
void FskStrNCopy(char* destination, const char* source, size_t count);
// Compares at most count bytes as unsigned characters: negative, 0 or
// positive.
int FskStrCompareWithLength(const char* a, const char* b, size_t count);

// For tests: the next count allocations fail.
void FskMemFailNextAllocations(int32_t count);
// For tests: blocks allocated and not yet disposed.
int64_t FskMemLiveBlocks();
