#pragma once

#include <cstdint>

#include "fsk/FskScript.h"

// Calls of an atom file's methods from the natives that are handed a file
// (atoms, the database head, the free list and the index atoms). Whatever
// the method raises passes on.

// file.readData(address, count) and file.writeData(address, count).
void CatalogCallReadData(FskMachine* the, const fsk::Value& file, void* buffer, int64_t count);
void CatalogCallWriteData(FskMachine* the, const fsk::Value& file, const void* buffer, int64_t count);
// file.readAtom(address) and file.writeAtom(address).
void CatalogCallReadAtom(FskMachine* the, const fsk::Value& file, void* atom);
void CatalogCallWriteAtom(FskMachine* the, const fsk::Value& file, const void* atom);
// file.setOffset(offset).
void CatalogCallSetOffset(FskMachine* the, const fsk::Value& file, int64_t offset);
// The bytes from the file's position to its end, through file.getOffset and
// file.getSize; the position is then put back with file.setOffset.
int64_t CatalogCallRemainingBytes(FskMachine* the, const fsk::Value& file);
