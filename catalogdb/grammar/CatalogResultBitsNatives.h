#pragma once

#include "catalogdb/include/CatalogResultBits.h"
#include "fsk/FskScript.h"

// The bitmaps of result sets: xdb.result._result in memory and
// xdb.result._bitmap kept in a file. Both host data begin with
// CatalogResultBits, which the result natives work on. Every method of a
// bitmap without data raises EINVAL.

// The bits of a result's data: EINVAL unless data is a _result or a
// _bitmap with host data.
CatalogResultBits* CatalogResultBitsOf(FskMachine* the, const fsk::Value& data);

// The number of 32-bit words that cover IDs 0 to bits.maxID.
int64_t CatalogResultWordCount(const CatalogResultBits& bits);

// _result: the destructor frees the bits and the record.
void CatalogResultBitsDestructor(void* data);
// _Result(n): maxID n, bits all 0, capacity ((n / 32 * 4 + 4) / 32 + 1) *
// 32 bytes. Quiet: on failure the bitmap is left without data.
void CatalogResultBitsConstructor(FskMachine* the);
// adjust(n): grows the capacity (the new bytes 0) when it does not cover
// n, then maxID = n. EINVAL for a negative n.
void CatalogResultBitsAdjust(FskMachine* the);
// close(): frees the bits and the record.
void CatalogResultBitsClose(FskMachine* the);

// _bitmap: the destructor writes the bits to the file, frees them and
// closes the file (a failure is traced).
void CatalogResultBitmapDestructor(void* data);
// _Bitmap(database, path): this.database = database, maxID its integer
// value; opens (or makes) path, sizes the file to cover maxID in whole
// 4096-byte pages (a size already a multiple stays) and reads it whole.
// Quiet: on failure traces "# error <errno>: <text>" and leaves the
// bitmap without data.
void CatalogResultBitmapConstructor(FskMachine* the);
// adjust(n): when the buffer does not cover n, writes it, grows the file
// and reads it back; then maxID = n.
void CatalogResultBitmapAdjust(FskMachine* the);
// flush(): writes the buffer at offset 0.
void CatalogResultBitmapFlush(FskMachine* the);
// close(): writes the buffer, frees it and closes the file.
void CatalogResultBitmapClose(FskMachine* the);
