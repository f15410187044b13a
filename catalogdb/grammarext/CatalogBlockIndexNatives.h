#pragma once

#include "fsk/FskMachine.h"

// The inner loops of the ID, bitmap and DCF indexes and of the ID
// allocation file. Blocks are objects with pointer and length whose 32-bit
// slots are little-endian; a corrupt block raises ILLEGAL_DB and is left
// unchanged.

// idsIndex.sector.subRemove(block, oldID, newID) -> found: the first of
// the sector's used slots holding oldID takes newID.
void CatalogSectorSubRemove(FskMachine* the);
// idsIndex.sector.addID(block, target): target.addID(id) for each used
// slot of the sector and of the sectors that follow it; a chain longer than
// this.index.blockCount sectors is a cycle.
void CatalogSectorAddID(FskMachine* the);

// bitmapIndex.eachCompareUp(old, new, target): this.onCallback(b, target,
// inserted) for each bit b that differs, lowest first.
void CatalogBitmapEachCompareUp(FskMachine* the);
// bitmapIndex.eachSearchUp(first, second, bits): this.onSearchCallback(b,
// first, second, isFirst) for each set bit b, lowest first.
void CatalogBitmapEachSearchUp(FskMachine* the);

// dcfIndex.files.subAddIDs(block, target, from, to, stored): over slots
// from to to; stored: target.addID(slot) of each used slot; else the IDs
// are numbered from target._fileCount, one per slot, used or not.
void CatalogDcfSubAddIDs(FskMachine* the);

// databaseID.getNextZero(block, limit) -> the lowest clear bit, now set
// (bit 0 of block 0 is never handed out); ID_LIMIT when it lies above
// limit; -1 when every bit is set.
void CatalogDatabaseIDGetNextZero(FskMachine* the);
