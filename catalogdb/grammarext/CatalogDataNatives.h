#pragma once

#include "fsk/FskMachine.h"

// The natives of the data files and of the database object.
//
// Data values are count little-endian 32-bit values of a block, from a
// byte offset and stride bytes apart (both rounded down to multiples of 4);
// value i belongs to record ID base + i + 1. Spans that leave the block
// raise ILLEGAL_DB.

// data.bubbleSearch(target, block, offset, stride, count, base, low, high,
// thisArg, transform): target.addID(base + i + 1) for each value v (or
// transform.call(thisArg, v) when transform is given) equal to low when
// high is undefined, else with low <= v <= high (unsigned).
void CatalogDataBubbleSearch(FskMachine* the);
// data.copySortingArray(destination, block, offset, stride, count, thisArg,
// transform): value i (or its transform) into 32-bit slot i + 1 at
// destination; the caller sizes the destination.
void CatalogDataCopySortingArray(FskMachine* the);

// database.clone(prototype): a new object whose prototype is the argument.
void CatalogDatabaseClone(FskMachine* the);
// database._getData(bitmap): the address of a result bitmap's bits.
void CatalogDatabaseGetBits(FskMachine* the);
// database.addID(id): this.invalidate(), then sets bit id of this.data's
// bitmap when id is below its maxID.
void CatalogDatabaseAddID(FskMachine* the);
// database.close(): frees this object's memory.
void CatalogDatabaseClose(FskMachine* the);
