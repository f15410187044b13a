#pragma once

#include <cstdint>

#include "fsk/FskMachine.h"

// The natives of the database's own atoms: xdb.database (the head atom and
// record headers), xdb.freeAtom, xdb.freelist, xdb.secondaries (index
// atoms) and xdb.primary. Payload words are big-endian on disk and in the
// atom buffers handed to writeAtom; the atom file converts size and type.

// The byte-order code of this platform (the script's littleEndianOrdering).
inline constexpr int32_t kCatalogPlatformOrdering = 4;
// The head atom: size, type, flags, nextID.
inline constexpr int32_t kCatalogHeadAtomSize = 16;

// getPlatformOrdering of xdb.primary and xdb.database.
void CatalogGetPlatformOrdering(FskMachine* the);
void CatalogFreeAtomWrite(FskMachine* the);
void CatalogFreelistRead(FskMachine* the);
void CatalogFreelistWrite(FskMachine* the);
void CatalogSecondariesReadIndex(FskMachine* the);
void CatalogSecondariesWriteIndex(FskMachine* the);
void CatalogDatabaseReadDatabase(FskMachine* the);
void CatalogDatabaseReadHead(FskMachine* the);
void CatalogDatabaseWriteDatabase(FskMachine* the);
