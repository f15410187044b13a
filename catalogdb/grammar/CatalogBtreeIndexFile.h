#pragma once

#include "fsk/FskMachine.h"

// The index's header atom and the size of its pages.
//
// Header atom, 48 bytes: size and type (converted by the atom file), then
// ten big-endian words: flags, keySize, cacheSize, pageEntries,
// overflowEntries, pageSize, defaultSize, root (the root page's offset, -1
// for none), free (the first free page), overflow (the overflow page in
// use).

// index.readFile(): reads the header atom at the file's position through
// this.readAtom (capacity 48, type this.type) and sets the ten properties;
// root is an offset then.
void CatalogBtreeReadFile(FskMachine* the);
// index.writeFileAux(): writes the header atom at the file's position
// through this.writeAtom. root and overflow may be pages or offsets.
void CatalogBtreeWriteFileAux(FskMachine* the);
// index.calculatePageSize() -> the page size of a new index: the smallest
// multiple S of defaultSize that gives degree d >= 2, then
// 12 + (2d + 1) x entrySize. overflowEntries is lowered, one ID at a time,
// until an overflow slot fits a page beside the page's header, and stored.
void CatalogBtreeCalculatePageSize(FskMachine* the);
