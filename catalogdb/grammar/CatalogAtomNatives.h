#pragma once

#include <cstdint>

#include "fsk/FskMachine.h"

// The natives of xdbAtom.atom and xdbAtom.AtomFromFile. An atom's host data
// is one block: {size, type, id, payload} with the words in the host's
// order; size counts the whole block. On disk size and type are big-endian.
// (The destructor and close are CatalogHostBuffer's.)

inline constexpr int32_t kCatalogAtomSizeOffset = 0;
inline constexpr int32_t kCatalogAtomTypeOffset = 4;
inline constexpr int32_t kCatalogAtomIDOffset = 8;
// The script's atomSize: the header with the id.
inline constexpr int32_t kCatalogAtomHeaderSize = 12;

void CatalogAtomGetID(FskMachine* the);
void CatalogAtomGetSize(FskMachine* the);
void CatalogAtomGetType(FskMachine* the);
void CatalogAtomRead(FskMachine* the);
void CatalogAtomSetID(FskMachine* the);
void CatalogAtomSetSize(FskMachine* the);
void CatalogAtomSetType(FskMachine* the);
void CatalogAtomSwap(FskMachine* the);
void CatalogAtomWrite(FskMachine* the);
void CatalogAtomFromFile(FskMachine* the);
