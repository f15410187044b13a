#pragma once

#include "fsk/FskMachine.h"

// The natives of block-file headers and cache lines.
//
// A cache line is a host object whose data is the memory of the span
// [offset, offset + length) of its file.
//
// The base header of every block file is 64 bytes of little-endian int32
// fields (dataSize, type, major, minor, offset, blockSize, blockCount,
// freeBlock, dirty, then 0). The index kinds and databaseID add 32 bytes,
// helper 64: their subPackHeader and subUnpackHeader move the further
// fields.

// cache.line: pointer(), getPointer() (also database.getData()): the
// address of the memory (0 when there is none).
void CatalogLinePointer(FskMachine* the);
// contains(start, length): 1 when the span lies inside the line, 0 when
// they do not meet, -1 when they overlap in part (unsigned 32-bit bounds).
void CatalogLineContains(FskMachine* the);
// read(), _write(): the memory from / to the file through readDataAt and
// writeDataAt.
void CatalogLineRead(FskMachine* the);
void CatalogLineWrite(FskMachine* the);

// blockTableFile.
void CatalogBlockFileHeaderSize(FskMachine* the);
// readHeader(line): this.unpackHeader and this.subUnpackHeader (when there
// is one) over the line's memory.
void CatalogBlockFileReadHeader(FskMachine* the);
// writeHeader(line, offset): this.packHeader and this.subPackHeader (when
// there is one); line.change() once when either changed anything.
void CatalogBlockFileWriteHeader(FskMachine* the);
// packHeader(pointer, offset) -> whether the 64 bytes changed.
void CatalogBlockFilePackHeader(FskMachine* the);
// unpackHeader(pointer): the nine properties.
void CatalogBlockFileUnpackHeader(FskMachine* the);

// index and databaseID: 96 bytes; index keeps topBlock at 64, databaseID
// maxID at 64 and counter (unsigned) at 68.
void CatalogIndexHeaderSize(FskMachine* the);
void CatalogIndexSubPackHeader(FskMachine* the);
void CatalogIndexSubUnpackHeader(FskMachine* the);
void CatalogDatabaseIDSubPackHeader(FskMachine* the);
void CatalogDatabaseIDSubUnpackHeader(FskMachine* the);

// helper: 128 bytes; flushing at 64, rolling at 68, version at 72 (written
// only over a stored 0), userData[0..7] (unsigned) at 76.
void CatalogHelperHeaderSize(FskMachine* the);
void CatalogHelperSubPackHeader(FskMachine* the);
void CatalogHelperSubUnpackHeader(FskMachine* the);
